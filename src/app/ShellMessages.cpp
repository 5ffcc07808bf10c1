#include "app/ShellMessages.h"

#include <QApplication>
#include <QMessageBox>

namespace kurvex {

namespace {

std::function<void(const std::string&, MessageIcon)>& Presenter() {
    static std::function<void(const std::string&, MessageIcon)> presenter;
    return presenter;
}

QMessageBox::Icon BoxIcon(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Information:
            return QMessageBox::Information;
        case MessageIcon::Exclamation:
            return QMessageBox::Warning;
        case MessageIcon::Stop:
            return QMessageBox::Critical;
        case MessageIcon::Question:
            return QMessageBox::Question;
        default:
            return QMessageBox::NoIcon;
    }
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
    QMessageBox box(BoxIcon(icon), QStringLiteral("Kurvex"), QString::fromStdString(text),
                    QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
}

void ShellMessages::SetPresenter(std::function<void(const std::string&, MessageIcon)> presenter) {
    Presenter() = std::move(presenter);
}

ShellMessages& ProgramMessages() {
    static ShellMessages messages;
    return messages;
}

}  // namespace kurvex
