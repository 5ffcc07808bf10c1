#pragma once

#include <QLineEdit>
#include <cstdint>

namespace kurvex {

// An edit box that lets through only what its filter mask allows (see
// ControlRules.h): refused keys beep, signs act on the whole number,
// engineering suffixes replace one another, pasted or dropped text is
// cleaned. Reads its text as a whole number or as a suffixed number.
class CExEditCtrl : public QLineEdit {
    Q_OBJECT
public:
    explicit CExEditCtrl(std::uint16_t mask = 0x0007, QWidget* parent = nullptr);

    std::uint16_t Mask() const { return mask_; }
    void SetMask(std::uint16_t mask) { mask_ = mask; }

    // The text as a whole number (0 without digits).
    std::int32_t WholeNumber() const;
    // The text as a number with an engineering suffix ("M" mega, "m" milli).
    double Number() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Lets one typed character through the mask; false when it was refused.
    bool TypeOne(QChar c);

    std::uint16_t mask_;
};

}  // namespace kurvex
