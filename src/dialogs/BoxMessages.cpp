#include "dialogs/BoxMessages.h"

#include <cstdio>

#include "data/platform/SafeFile.h"

namespace kurvex {

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
        case MessageIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

void ShowMessageBox(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                    const QString& text) {
    QMessageBox box(icon, title, text, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void BoxMessages::Show(const std::string& text, MessageIcon icon) {
    ShowMessageBox(parent_.data(), BoxIcon(icon), QStringLiteral("Kurvex"),
                   QString::fromStdString(text));
}

bool SaveTextOrSay(QWidget* parent, const QString& path, const std::string& text,
                   const QString& what) {
    SafeFile file;
    bool ok = file.Open(path.toStdString());
    if (ok && std::fwrite(text.data(), 1, text.size(), file.Stream()) != text.size()) ok = false;
    if (ok) ok = file.Commit();
    if (!ok) {
        const std::string why =
            file.Error().empty() ? "The file could not be written." : file.Error();
        ShowMessageBox(
            parent, QMessageBox::Warning, QStringLiteral("Kurvex"),
            QStringLiteral("The %1 was not saved: %2").arg(what, QString::fromStdString(why)));
    }
    return ok;
}

}  // namespace kurvex
