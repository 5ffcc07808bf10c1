#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/model/RefPtr.h"
#include "data/model/ResultVariable.h"
#include "graph/GraphCurve.h"

namespace kurvex {

// Cells of a table by row and column; row 0 is the header when there is one.
class CellSource {
public:
    virtual ~CellSource() = default;
    virtual std::int32_t RowCount() const = 0;
    virtual std::int32_t ColumnCount() const = 0;
    // Appends the text of a cell: copying builds megabytes a cell at a time.
    virtual void AppendCellText(std::string& out, std::int32_t row, std::int32_t column) const = 0;
    // The text of a cell.
    std::string CellText(std::int32_t row, std::int32_t column) const;
};

// A block of cells, first to last inclusive; -1 as a first index means 0 and
// as a last index the last row or column.
struct GridRange {
    std::int32_t firstRow = -1;
    std::int32_t firstColumn = -1;
    std::int32_t lastRow = -1;
    std::int32_t lastColumn = -1;

    bool operator==(const GridRange&) const = default;
};
// The range inside a table of rows × columns, each index clamped and each
// pair in order; none for a table without cells.
std::optional<GridRange> NormaliseRange(const GridRange& range, std::int32_t rows,
                                        std::int32_t columns);

// How a range becomes clipboard text.
struct CopyFormat {
    const char* separator = "\t";
    std::size_t minWidth = 12;  // shorter cells are padded with blanks
    const char* lineEnd = "\r\n";
};
// Progress of long work and the user's wish to stop it; both may be null.
struct WorkControl {
    std::atomic<std::int64_t>* done = nullptr;  // rows finished
    const std::atomic<bool>* cancel = nullptr;
};
// The text of a range: cells padded to the minimum width, the separator
// between them, the line end after every row. False when cancelled (`out`
// then holds part of the text); an empty table gives no text.
bool RangeText(const CellSource& cells, const GridRange& range, const CopyFormat& format,
               std::string& out, const WorkControl& control = {});
// The same text handed to `write` a block of rows at a time, so that a large
// table never sits in memory whole. False when cancelled or when `write`
// returns false.
bool WriteRangeText(const CellSource& cells, const GridRange& range, const CopyFormat& format,
                    const std::function<bool(std::string_view piece)>& write,
                    const WorkControl& control = {});

// One column of the data-point table: the samples of a variable shared with
// the graph (never copied) and how many of them the snapshot shows.
struct PointColumn {
    std::string name;
    RefPtr<CResultVariable> values;
    std::int32_t count = 0;
};
// The columns of a view's table: the X variable of the bottom screen, then
// every curve of every screen, screen by screen, all of the bottom screen's
// measured run. Values are the data's own
// (never the log columns of a log axis); the frequency display gives the
// spectra. Curves without samples give empty columns.
std::vector<PointColumn> PointColumnsOf(const std::vector<const CGraphCurve*>& screens);
// The run the table of a view with bottom screen `bottom` shows: the measured
// run, run 1 (0) in the frequency display, whose spectra are run 1's.
std::int32_t PointTableRun(const CGraphCurve& bottom);

// The cells of the columns: names in row 0, then per point "%g" for a valid
// value, "NAN" for an invalid one, nothing for a missing point or past the
// column's end.
class PointCells : public CellSource {
public:
    explicit PointCells(std::vector<PointColumn> columns);
    std::int32_t RowCount() const override { return rows_; }
    std::int32_t ColumnCount() const override { return static_cast<std::int32_t>(columns_.size()); }
    void AppendCellText(std::string& out, std::int32_t row, std::int32_t column) const override;
    const std::vector<PointColumn>& Columns() const { return columns_; }

private:
    std::vector<PointColumn> columns_;
    std::int32_t rows_ = 0;
};

// Writes every row of the columns, header first, as delimited text: names as
// the delimited writers quote them, samples as the shortest text that reads
// back exactly, "NAN" and "MISSING" for invalid and missing points, nothing
// past a column's end. False on a write error or when cancelled.
bool WritePointsDelimited(std::FILE* file, const std::vector<PointColumn>& columns,
                          const char* separator, const WorkControl& control = {});
// Writes the columns as a fixed-width text result under their names, all
// points of all columns (a shorter column's missing rows as missing points).
// False on a write error, when memory for a renamed or padded column cannot be
// had, or when cancelled.
bool WritePointsTable(std::FILE* file, const std::vector<PointColumn>& columns,
                      const WorkControl& control = {});

// The caption of a table window: "%s : %i" of the document title and counter,
// followed by " (run K: NAME)" of the run it shows when the result has several.
std::string TableCaption(const std::string& title, std::int32_t counter, std::int32_t runs = 1,
                         std::int32_t run = 0, const std::string& runName = {});
// The width of a table frame that shows every column: each column and its
// separator, and twice a vertical scroll bar.
std::int32_t TableFrameWidth(const std::vector<std::int32_t>& columnWidths, std::int32_t separator,
                             std::int32_t scrollBarWidth);

}  // namespace kurvex
