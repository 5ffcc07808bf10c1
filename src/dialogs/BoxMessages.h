#pragma once

#include <QPointer>
#include <QWidget>

#include "data/UserMessages.h"

namespace kurvex {

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
