#pragma once

#include <optional>
#include <string>
#include <vector>

#include "graph/canvas/GraphTypes.h"

namespace kurvex {

// One row of a figure table: what it is about and one value per column
// (none where the figure has no value).
struct FigureRow {
    std::string label;
    Rgb colour = kRgbBlack;
    std::vector<std::optional<double>> values;
};

// A table of figures as a tool window shows it: a title line, the column
// names (the first heads the labels) and the rows; `message` says in plain
// words why rows are missing or what was left out.
struct FigureTable {
    std::string title;
    std::string message;
    std::vector<std::string> columns;
    std::vector<FigureRow> rows;
};

// The text of a cell: "%.10g", or empty without a value.
std::string FigureText(const std::optional<double>& value);

// The table as tab-separated lines for the clipboard: title and message (when
// any), the column names, then one line per row.
std::string FigureTableText(const FigureTable& table);

// A value, or none for a NaN or an infinity.
std::optional<double> Finite(double value);

}  // namespace kurvex
