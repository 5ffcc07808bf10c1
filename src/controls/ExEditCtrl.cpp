#include "controls/ExEditCtrl.h"

#include <QApplication>
#include <QKeyEvent>
#include <QValidator>

#include "interaction/ControlRules.h"

namespace kurvex {

namespace {

// Cleans every change that does not come from a typed key (paste, drop,
// middle-click insert): what the mask refuses is removed.
class MaskValidator : public QValidator {
public:
    explicit MaskValidator(CExEditCtrl* edit) : QValidator(edit), edit_(*edit) {}

    State validate(QString& input, int& pos) const override {
        const FilteredText f = FilterText(input.toStdU16String(), pos, edit_.Mask());
        const QString cleaned = QString::fromStdU16String(f.text);
        if (cleaned != input) {
            input = cleaned;
            pos = f.caret;
        }
        return Acceptable;
    }

private:
    const CExEditCtrl& edit_;
};

}  // namespace

CExEditCtrl::CExEditCtrl(std::uint16_t mask, QWidget* parent) : QLineEdit(parent), mask_(mask) {
    setValidator(new MaskValidator(this));
}

std::int32_t CExEditCtrl::WholeNumber() const {
    return ReadWholeNumber(text().toUtf8().toStdString());
}

double CExEditCtrl::Number() const {
    return ReadSuffixedNumber(text().toUtf8().toStdString());
}

bool CExEditCtrl::TypeOne(QChar c) {
    const TypedChar t =
        TypeChar(text().toStdU16String(), cursorPosition(), c.unicode(), mask_, isReadOnly());
    switch (t.action) {
        case TypedChar::Refuse:
            return false;
        case TypedChar::Insert:
            insert(QString(c));
            return true;
        case TypedChar::Replace: {
            const QString replaced = QString::fromStdU16String(t.text);
            if (replaced != text()) {
                // Through the undo history, as typing would be.
                selectAll();
                insert(replaced);
            }
            setCursorPosition(t.caret);
            return true;
        }
    }
    return false;
}

void CExEditCtrl::keyPressEvent(QKeyEvent* event) {
    const QString typed = event->text();
    const bool printable = !typed.isEmpty() && typed[0].unicode() >= 0x20 &&
                           typed[0].unicode() != 0x7F &&
                           !(event->modifiers() & (Qt::ControlModifier | Qt::MetaModifier));
    if (!printable || event->matches(QKeySequence::Paste)) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    event->accept();
    bool refused = false;
    for (const QChar c : typed) refused = !TypeOne(c) || refused;
    if (refused) QApplication::beep();
}

}  // namespace kurvex
