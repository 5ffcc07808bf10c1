#include "analysis/FigureTable.h"

#include <cmath>

#include "data/platform/NumberText.h"

namespace kurvex {

std::string FigureText(const std::optional<double>& value) {
    return value ? Format("%.10g", *value) : std::string();
}

std::string FigureTableText(const FigureTable& table) {
    std::string text;
    if (!table.title.empty()) text += table.title + "\n";
    if (!table.message.empty()) text += table.message + "\n";
    for (std::size_t c = 0; c < table.columns.size(); ++c)
        text += (c ? "\t" : "") + table.columns[c];
    if (!table.columns.empty()) text += "\n";
    for (const FigureRow& row : table.rows) {
        text += row.label;
        for (const auto& v : row.values) text += "\t" + FigureText(v);
        text += "\n";
    }
    return text;
}

std::optional<double> Finite(double value) {
    if (!std::isfinite(value)) return std::nullopt;
    return value;
}

}  // namespace kurvex
