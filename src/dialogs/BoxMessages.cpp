#include "dialogs/BoxMessages.h"

#include <QMessageBox>

namespace kurvex {

void BoxMessages::Show(const std::string& text, MessageIcon icon) {
    QMessageBox::Icon shown = QMessageBox::NoIcon;
    switch (icon) {
        case MessageIcon::Information:
            shown = QMessageBox::Information;
            break;
        case MessageIcon::Exclamation:
            shown = QMessageBox::Warning;
            break;
        case MessageIcon::Stop:
            shown = QMessageBox::Critical;
            break;
        case MessageIcon::Question:
            shown = QMessageBox::Question;
            break;
        case MessageIcon::None:
            break;
    }
    QMessageBox box(shown, QStringLiteral("Kurvex"), QString::fromStdString(text), QMessageBox::Ok,
                    parent_.data());
    box.exec();
}

}  // namespace kurvex
