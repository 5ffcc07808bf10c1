#pragma once

#include <QFontMetrics>
#include <vector>

#include "table/BGridData.h"

namespace kurvex {

// The points of a graph view as a table: row 0 names the columns, then one
// row per point. It holds the graph's sample columns by reference, never a
// copy per cell, and shows the points they had when it was made.
class CBGridData_GraphPoints : public CBGridData {
public:
    explicit CBGridData_GraphPoints(std::vector<PointColumn> columns);

    // The text every column must hold, measured once in the window's font.
    static constexpr const char* kWidestCell = " 8.888888888 E-88  ";
    // Column width and row height from that text; the header row is 10 higher.
    void MeasureLayout(const QFontMetrics& metrics);

    std::int32_t RowCount() const override { return cells_.RowCount(); }
    std::int32_t ColumnCount() const override { return cells_.ColumnCount(); }
    void AppendCellText(std::string& out, std::int32_t row, std::int32_t column) const override {
        cells_.AppendCellText(out, row, column);
    }
    int ColumnWidth(int column) const override { return columnWidth_; }
    int RowHeight(int row) const override { return row == 0 ? rowHeight_ + 10 : rowHeight_; }
    int HeaderRows() const override { return 1; }

    // The columns, for saving.
    const std::vector<PointColumn>& Columns() const { return cells_.Columns(); }

private:
    PointCells cells_;
    int columnWidth_ = 120;
    int rowHeight_ = 16;
};

}  // namespace kurvex
