#include "controls/ColorSwatch.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include "controls/QtColour.h"
#include "graph/ControlRules.h"

namespace kurvex {

CColorSwatch::CColorSwatch(QWidget* parent)
    : QFrame(parent), transparent_(tr("Transparent")), automatic_(tr("Automatic")) {
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

void CColorSwatch::SetDisplayMode(Mode mode) {
    mode_ = mode;
    Described();
    update();
}

void CColorSwatch::SetWords(const QString& transparent, const QString& automatic) {
    transparent_ = transparent;
    automatic_ = automatic;
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
    return QSize(fm.horizontalAdvance(automatic_) + 16, fm.height() + 8);
}

void CColorSwatch::Described() {
    // Screen readers hear what the patch shows.
    setAccessibleDescription(mode_ == ShowColour        ? Text()
                             : mode_ == ShowTransparent ? transparent_
                                                        : automatic_);
}

void CColorSwatch::paintEvent(QPaintEvent* event) {
    {
        QPainter p(this);
        const QRect inside = contentsRect();
        if (mode_ == ShowColour) {
            p.fillRect(inside, ToQColor(colour_));
        } else {
            p.fillRect(inside, Qt::white);
            p.setPen(Qt::black);
            const QString word = mode_ == ShowTransparent ? transparent_ : automatic_;
            p.drawText(inside, Qt::AlignCenter | Qt::TextSingleLine,
                       fontMetrics().elidedText(word, Qt::ElideRight, inside.width()));
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
