#pragma once

#include <QFrame>
#include <QString>

#include "graph/canvas/GraphTypes.h"
#include "interaction/ControlRules.h"

namespace kurvex {

// A sunken patch that shows a colour, or one of two words instead. Its text
// is the colour as six hexadecimal digits, red first. A double click (or
// Space while it has the focus) asks its page to open the colour chooser.
class CColorSwatch : public QFrame {
    Q_OBJECT
public:
    explicit CColorSwatch(QWidget* parent = nullptr);

    Rgb Colour() const { return colour_; }
    void SetColour(Rgb colour);
    SwatchMode DisplayMode() const { return mode_; }
    void SetDisplayMode(SwatchMode mode);
    // The words of the two word modes ("Transparent", "Automatic").
    void SetWords(const QString& transparent, const QString& automatic);

    // Six upper-case hexadecimal digits, red first.
    QString Text() const;
    // Takes the first six characters as hexadecimal pairs, red first; a
    // shorter or non-hexadecimal text is ignored.
    void SetText(const QString& text);

    QSize sizeHint() const override;

signals:
    // The user double-clicked the patch.
    void doubleClicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Described();

    Rgb colour_ = kRgbWhite;
    SwatchMode mode_ = kSwatchColour;
    SwatchWords words_;
};

}  // namespace kurvex
