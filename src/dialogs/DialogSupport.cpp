#include "dialogs/DialogSupport.h"

#include <QColorDialog>
#include <QLabel>
#include <QPushButton>

#include "data/platform/NameText.h"

namespace kurvex {

QStringList QtFilters(const std::vector<std::string>& filters) {
    QStringList list;
    for (const std::string& f : filters) list << QString::fromStdString(f);
    return list;
}

QString ShownText(const std::string& bytes) {
    const std::string text = DisplayName(bytes);
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string StoredText(const QString& text) {
    return text.toUtf8().toStdString();
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

QPushButton* BarButton(QWidget* parent, const QString& text, const QString& tip) {
    auto* b = new QPushButton(text, parent);
    b->setAccessibleName(QString(text).remove('&').remove(QStringLiteral("...")));
    b->setToolTip(tip);
    return b;
}

bool ChooseColour(QWidget* parent, Rgb& colour) {
    const QColor chosen = QColorDialog::getColor(ToQColor(colour), parent);
    if (!chosen.isValid()) return false;
    colour = ToRgb(chosen);
    return true;
}

}  // namespace kurvex
