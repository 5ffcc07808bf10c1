#pragma once

#include <string>
#include <vector>

#include "table/BGridData.h"

namespace kurvex {

// A table held in memory as texts, with optional header rows. Edited header
// cells keep the text typed; other cells take the number typed (engineering
// suffixes allowed) written with "%g", and refuse a text without one.
class CBGridData_Basic : public CBGridData {
public:
    CBGridData_Basic(int rows, int columns, int headerRows = 1, int columnWidth = 100,
                     int rowHeight = 18);

    void SetCell(int row, int column, const std::string& text);

    std::int32_t RowCount() const override { return rows_; }
    std::int32_t ColumnCount() const override { return columns_; }
    void AppendCellText(std::string& out, std::int32_t row, std::int32_t column) const override;
    int ColumnWidth(int column) const override { return columnWidth_; }
    int RowHeight(int row) const override { return rowHeight_; }
    int HeaderRows() const override { return headerRows_; }
    std::uint16_t EditMask(int row, int column) const override;
    bool EditCell(int row, int column, const std::string& text) override;

private:
    bool Inside(int row, int column) const;

    int rows_;
    int columns_;
    int headerRows_;
    int columnWidth_;
    int rowHeight_;
    std::vector<std::string> cells_;
};

}  // namespace kurvex
