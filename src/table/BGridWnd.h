#pragma once

#include <QAbstractScrollArea>
#include <memory>

#include "table/BGridData.h"

namespace kurvex {

// A spreadsheet-like grid over a CBGridData: header rows stay in view, the
// rest scroll a row at a time. It draws only the cells in view, so a source of
// millions of rows costs what a screenful does. With editing on, Enter, Space
// or a click on one cell opens the in-place editor.
class CBGridWnd : public QAbstractScrollArea {
    Q_OBJECT
public:
    // Pixels between two columns.
    static constexpr int kSeparator = 1;

    explicit CBGridWnd(QWidget* parent = nullptr);
    ~CBGridWnd() override;

    // Shows `data`, owned by the grid from now on; the selection goes to the
    // first cell below the headers.
    void SetData(std::unique_ptr<CBGridData> data);
    CBGridData* Data() const { return data_.get(); }

    // The selection, normalised; the current cell is the end that moves.
    GridRange Selection() const;
    void SetSelection(const GridRange& range);
    int CurrentRow() const { return currentRow_; }
    int CurrentColumn() const { return currentColumn_; }
    // Makes (row, column) the current cell and the selection; with `extend`
    // the selection runs from its anchor to it. Clamped into the table and
    // scrolled into view.
    void SetCurrentCell(int row, int column, bool extend = false);

    // The editing switch (off by default).
    void SetEditing(bool on) { editing_ = on; }
    bool Editing() const { return editing_; }
    // Opens the in-place editor on the current cell; false with editing off
    // or while busy.
    bool StartEdit();
    // While a worker reads the source, no edit may change it: new editors
    // are refused and an edit that ends meanwhile is dropped.
    void SetBusy(bool busy) { busy_ = busy; }

    // The cell's rectangle in viewport coordinates (it may lie outside the view).
    QRect CellRect(int row, int column) const;
    // The cell under a viewport point; false outside every cell.
    bool CellAt(QPoint p, int& row, int& column) const;
    // Whole rows below the headers that fit in the view.
    int VisibleRows() const;
    // Scrolls so that the cell is in view.
    void EnsureVisible(int row, int column);

signals:
    // Clicks the source did not handle: the cell, the keyboard modifiers and
    // the point in global coordinates.
    void rightClicked(int row, int column, Qt::KeyboardModifiers keys, QPoint global);
    void doubleClicked(int row, int column, Qt::KeyboardModifiers keys, QPoint global);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    int HeaderHeight() const;
    int DataRowHeight() const;
    int ColumnLeft(int column) const;
    int TotalWidth() const;
    // The row at a viewport height, the rows past the table's end counted on.
    qint64 RowAt(int y) const;
    // The column at a viewport x; the column count past the last one.
    int ColumnAt(int x) const;
    void UpdateScrollBars();
    void Describe();
    void EditEnded(int row, int column, bool cancelled, const QString& text);
    void MoveEditing(int row, int column, int rowStep, int columnStep);

    std::unique_ptr<CBGridData> data_;
    int anchorRow_ = 0, anchorColumn_ = 0;
    int currentRow_ = 0, currentColumn_ = 0;
    bool dragging_ = false;
    bool editing_ = false;
    bool busy_ = false;
};

}  // namespace kurvex
