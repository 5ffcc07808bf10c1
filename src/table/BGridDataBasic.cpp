#include "table/BGridDataBasic.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "interaction/ControlRules.h"

namespace kurvex {

namespace {

// True when the text starts (after blanks) with a decimal number.
bool HoldsNumber(const std::string& text) {
    size_t i = text.find_first_not_of(" \t");
    if (i == std::string::npos) return false;
    if (text[i] == '+' || text[i] == '-') ++i;
    if (i < text.size() && text[i] == '.') ++i;
    return i < text.size() && text[i] >= '0' && text[i] <= '9';
}

}  // namespace

CBGridData_Basic::CBGridData_Basic(int rows, int columns, int headerRows, int columnWidth,
                                   int rowHeight)
    : rows_(std::max(0, rows)),
      columns_(std::max(0, columns)),
      headerRows_(std::clamp(headerRows, 0, std::max(0, rows))),
      columnWidth_(std::max(1, columnWidth)),
      rowHeight_(std::max(1, rowHeight)),
      cells_(static_cast<size_t>(rows_) * static_cast<size_t>(columns_)) {}

bool CBGridData_Basic::Inside(int row, int column) const {
    return row >= 0 && row < rows_ && column >= 0 && column < columns_;
}

void CBGridData_Basic::SetCell(int row, int column, const std::string& text) {
    if (Inside(row, column)) cells_[static_cast<size_t>(row) * columns_ + column] = text;
}

void CBGridData_Basic::AppendCellText(std::string& out, std::int32_t row,
                                      std::int32_t column) const {
    if (Inside(row, column)) out += cells_[static_cast<size_t>(row) * columns_ + column];
}

std::uint16_t CBGridData_Basic::EditMask(int row, int column) const {
    return row < headerRows_ ? kEditDigits | kEditLetters | kEditOther | kEditBlanks
                             : kEditNumberMask;
}

bool CBGridData_Basic::EditCell(int row, int column, const std::string& text) {
    if (!Inside(row, column)) return false;
    if (row < headerRows_) {
        SetCell(row, column, text);
        return true;
    }
    if (!HoldsNumber(text)) return false;
    const double v = ReadSuffixedNumber(text);
    if (!std::isfinite(v)) return false;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", v);
    SetCell(row, column, buf);
    return true;
}

}  // namespace kurvex
