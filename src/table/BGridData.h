#pragma once

#include <QPoint>
#include <QRect>
#include <cstdint>
#include <string>

#include "graph/PointTable.h"

class QKeyEvent;
class QPainter;

namespace kurvex {

class CBGridWnd;

// The source a grid asks for its cells: their texts, sizes and look, and what
// double clicks, right clicks, keys and edits do. The grid owns its source.
class CBGridData : public CellSource {
public:
    // Width of a column in pixels.
    virtual int ColumnWidth(int column) const = 0;
    // Height of a row in pixels; the rows after the header rows share one height.
    virtual int RowHeight(int row) const = 0;
    // Leading rows drawn as headers and kept in view while the rest scrolls.
    virtual int HeaderRows() const { return 0; }
    // Draws cell (row, column) into r: headers raised and grey, other cells
    // white or blue when selected, the text 2 pixels in, elided at its end.
    virtual void DrawCell(QPainter& painter, const QRect& r, int row, int column, bool selected,
                          Qt::Alignment alignment) const;
    // A double click on a cell; true when the source handled it.
    virtual bool DoubleClick(CBGridWnd& grid, int row, int column, QPoint global) { return false; }
    // A right click on a cell; true when the source handled it.
    virtual bool RightClick(CBGridWnd& grid, int row, int column, QPoint global) { return false; }
    // A key pressed in the grid; true when the source took it.
    virtual bool Key(CBGridWnd& grid, QKeyEvent& event) { return false; }
    // The filter mask of the in-place editor for a cell.
    virtual std::uint16_t EditMask(int row, int column) const { return 0x0007; }
    // Stores an edited text; false when the source refuses it (the cell stays).
    virtual bool EditCell(int row, int column, const std::string& text) { return false; }
};

}  // namespace kurvex
