#include "controls/ColorSwatch.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include "controls/QtColour.h"

namespace kurvex {

CColorSwatch::CColorSwatch(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    Described();
}

void CColorSwatch::SetColour(Rgb colour) {
    colour_ = colour & 0xFFFFFFu;
    Described();
    update();
}

void CColorSwatch::SetDisplayMode(SwatchMode mode) {
    mode_ = mode;
    Described();
    update();
}

void CColorSwatch::SetWords(const QString& transparent, const QString& automatic) {
    words_ = {transparent.toStdString(), automatic.toStdString()};
    Described();
    update();
}

QString CColorSwatch::Text() const {
    return QString::fromLatin1(ColourText(colour_).c_str());
}

void CColorSwatch::SetText(const QString& text) {
    if (const std::optional<Rgb> c = ColourFromText(text.toStdString())) SetColour(*c);
}

QSize CColorSwatch::sizeHint() const {
    const QFontMetrics fm = fontMetrics();
    // As wide as a short word: the dialogs are laid out for it.
    return QSize(fm.horizontalAdvance(QStringLiteral("Automatic")) + 16, fm.height() + 8);
}

void CColorSwatch::Described() {
    // Screen readers hear what the patch shows.
    const std::optional<std::string> word = SwatchWord(mode_, words_);
    setAccessibleDescription(word ? QString::fromStdString(*word) : Text());
}

void CColorSwatch::paintEvent(QPaintEvent* event) {
    {
        QPainter p(this);
        const QRect inside = contentsRect();
        if (const std::optional<std::string> word = SwatchWord(mode_, words_)) {
            p.fillRect(inside, Qt::white);
            p.setPen(Qt::black);
            p.drawText(inside, Qt::AlignCenter | Qt::TextSingleLine,
                       fontMetrics().elidedText(QString::fromStdString(*word), Qt::ElideRight,
                                                inside.width()));
        } else {
            p.fillRect(inside, ToQColor(colour_));
        }
        if (hasFocus()) {
            p.setPen(QPen(palette().color(QPalette::Highlight), 2));
            p.drawRect(inside.adjusted(1, 1, -1, -1));
        }
    }
    QFrame::paintEvent(event);
}

void CColorSwatch::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        emit doubleClicked();
        return;
    }
    QFrame::mouseDoubleClickEvent(event);
}

void CColorSwatch::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space) {
        emit doubleClicked();
        return;
    }
    QFrame::keyPressEvent(event);
}

}  // namespace kurvex
