#pragma once

class QAccessibleInterface;

namespace kurvex {

// What the grid asks of its face to screen readers (GridAccessible, which
// knows the grid, so the grid knows it only through this).
class GridCells {
public:
    virtual ~GridCells() = default;
    // The interface of a cell by the source's row (header rows included), or null.
    virtual QAccessibleInterface* SourceCell(int row, int column) const = 0;
};

// Makes every grid a table to screen readers; once is enough.
void InstallGridAccessible();

}  // namespace kurvex
