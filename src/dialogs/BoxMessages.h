#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QWidget>
#include <string>

#include "data/platform/UserMessages.h"

namespace kurvex {

// The message box's icon for the core's.
QMessageBox::Icon BoxIcon(MessageIcon icon);
// A modal box with an OK button showing `text` as plain text: messages quote names and lines of
// files, which must never be taken for markup.
void ShowMessageBox(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                    const QString& text);

// Writes `text` to `path` through the safe save (the old file stays whole on
// failure); a failure is said in a box: "The WHAT was not saved: WHY".
bool SaveTextOrSay(QWidget* parent, const QString& path, const std::string& text,
                   const QString& what);

// Shows the core's messages in message boxes over a window.
class BoxMessages : public UserMessages {
public:
    explicit BoxMessages(QWidget* parent) : parent_(parent) {}
    // A modal box titled "Kurvex" with the icon asked for and an OK button.
    void Show(const std::string& text, MessageIcon icon) override;

private:
    QPointer<QWidget> parent_;
};

}  // namespace kurvex
