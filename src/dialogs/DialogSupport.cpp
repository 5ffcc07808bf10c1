#include "dialogs/DialogSupport.h"

#include <QColorDialog>
#include <QLabel>
#include <QPushButton>

#include "data/NameText.h"

namespace kurvex {

QString ShownText(const std::string& bytes) {
    const std::string text = DisplayName(bytes);
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string StoredText(const QString& text) {
    return text.toUtf8().toStdString();
}

QColor ToQColor(Rgb c) {
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

Rgb ToRgb(const QColor& c) {
    return static_cast<Rgb>(c.red()) | (static_cast<Rgb>(c.green()) << 8) |
           (static_cast<Rgb>(c.blue()) << 16);
}

QLabel* FieldLabel(const QString& text, QWidget* field, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setBuddy(field);
    field->setAccessibleName(QString(text).remove(QLatin1Char('&')));
    return label;
}

QPushButton* ChooserButton(QWidget* parent, const QString& name) {
    auto* b = new QPushButton(QStringLiteral("..."), parent);
    b->setAccessibleName(name);
    b->setToolTip(name);
    b->setAutoDefault(false);
    b->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    b->setFixedWidth(b->fontMetrics().horizontalAdvance(QStringLiteral("...")) + 24);
    return b;
}

bool ChooseColour(QWidget* parent, Rgb& colour) {
    const QColor chosen = QColorDialog::getColor(ToQColor(colour), parent);
    if (!chosen.isValid()) return false;
    colour = ToRgb(chosen);
    return true;
}

}  // namespace kurvex
