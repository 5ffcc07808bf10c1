#pragma once

#include <QColor>
#include <QString>
#include <QStringList>
#include <string>
#include <vector>

#include "controls/QtColour.h"
#include "graph/canvas/GraphTypes.h"

class QLabel;
class QPushButton;
class QWidget;

namespace kurvex {

// Text of the data (variable names, formulas, labels) as the dialogs show it:
// UTF-8, or else Windows-1252 as older files wrote it.
QString ShownText(const std::string& bytes);
// Name filters of a file dialog from the core's lists.
QStringList QtFilters(const std::vector<std::string>& filters);
// Text the user typed, as the core keeps it.
std::string StoredText(const QString& text);

// A label for `field` whose mnemonic moves the focus to it; the field takes
// the label's text as its name for screen readers (a drop-down list would
// otherwise be called by its current entry).
QLabel* FieldLabel(const QString& text, QWidget* field, QWidget* parent);
// A narrow "..." button that opens a chooser; `name` is what it is called
// for screen readers.
QPushButton* ChooserButton(QWidget* parent, const QString& name);
// A push button of a tool window's bar: its text without mnemonic and "..."
// is its name for screen readers, `tip` its tool tip.
QPushButton* BarButton(QWidget* parent, const QString& text, const QString& tip);
// Opens the colour chooser on `initial`; false when the user cancelled.
bool ChooseColour(QWidget* parent, Rgb& colour);

}  // namespace kurvex
