#include "dialogs/ShellMessages.h"

#include <QApplication>

#include "dialogs/BoxMessages.h"

namespace kurvex {

namespace {

std::function<void(const std::string&, MessageIcon)>& Presenter() {
    static std::function<void(const std::string&, MessageIcon)> presenter;
    return presenter;
}

}  // namespace

void ShellMessages::Show(const std::string& text, MessageIcon icon) {
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (deferred_) {
            kept_.emplace_back(text, icon);
            return;
        }
    }
    Present(text, icon);
}

void ShellMessages::SetDeferred(bool on) {
    std::lock_guard<std::mutex> hold(lock_);
    deferred_ = on;
}

void ShellMessages::Flush() {
    std::vector<std::pair<std::string, MessageIcon>> kept;
    {
        std::lock_guard<std::mutex> hold(lock_);
        kept.swap(kept_);
    }
    for (const auto& [text, icon] : kept) Present(text, icon);
}

void ShellMessages::Discard() {
    std::lock_guard<std::mutex> hold(lock_);
    kept_.clear();
}

void ShellMessages::Present(const std::string& text, MessageIcon icon) {
    if (Presenter()) {
        Presenter()(text, icon);
        return;
    }
    ShowMessageBox(QApplication::activeWindow(), BoxIcon(icon), QStringLiteral("Kurvex"),
                   QString::fromStdString(text));
}

void ShellMessages::SetPresenter(std::function<void(const std::string&, MessageIcon)> presenter) {
    Presenter() = std::move(presenter);
}

ShellMessages& ProgramMessages() {
    static ShellMessages messages;
    return messages;
}

}  // namespace kurvex
