#pragma once

#include <QString>
#include <string>

namespace kurvex {

// Text of the data (variable names, formulas, labels) as the dialogs show it.
QString ShownText(const std::string& bytes);
// Text the user typed, as the core keeps it.
std::string StoredText(const QString& text);

}  // namespace kurvex
