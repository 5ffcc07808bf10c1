#include "table/GridAccessible.h"

#include <QWindow>
#include <algorithm>
#include <climits>

#include "table/BGridWnd.h"

namespace kurvex {

namespace {

// Readers walk a screenful; beyond this many kept cells they all go.
constexpr std::size_t kKeptCells = 4096;
// Lists of selected cells or rows stop here: a Copy All selects millions.
constexpr int kListed = 1024;

int Clamped(qint64 n) {
    return static_cast<int>(std::clamp<qint64>(n, 0, INT_MAX));
}

QString Utf8(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// One cell of the grid, by the source's row; its text is read when asked.
class GridCellAccessible : public QAccessibleInterface, public QAccessibleTableCellInterface {
public:
    GridCellAccessible(CBGridWnd* grid, int row, int column)
        : grid_(grid), row_(row), column_(column) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        return type == QAccessible::TableCellInterface && !Header()
                   ? static_cast<QAccessibleTableCellInterface*>(this)
                   : nullptr;
    }
    bool isValid() const override {
        const CBGridData* d = grid_ ? grid_->Data() : nullptr;
        return d && row_ < d->RowCount() && column_ < d->ColumnCount();
    }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return grid_ ? grid_->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override {
        return QAccessible::queryAccessibleInterface(grid_.data());
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }

    QString text(QAccessible::Text t) const override {
        if (!isValid() || (t != QAccessible::Name && t != QAccessible::Value)) return {};
        return Utf8(grid_->Data()->CellText(row_, column_));
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override {
        if (!isValid()) return {};
        const QRect r = grid_->CellRect(row_, column_);
        return QRect(grid_->viewport()->mapToGlobal(r.topLeft()), r.size());
    }
    QAccessible::Role role() const override {
        return Header() ? QAccessible::ColumnHeader : QAccessible::Cell;
    }
    QAccessible::State state() const override {
        QAccessible::State s;
        if (!isValid()) {
            s.invalid = true;
            return s;
        }
        const QRect r = grid_->CellRect(row_, column_);
        s.offscreen = !grid_->viewport()->rect().intersects(r);
        if (Header()) return s;
        s.selectable = true;
        s.focusable = true;
        s.selected = isSelected();
        s.focused =
            grid_->hasFocus() && grid_->CurrentRow() == row_ && grid_->CurrentColumn() == column_;
        return s;
    }

    bool isSelected() const override {
        const GridRange sel = grid_ ? grid_->Selection() : GridRange{};
        return grid_ && row_ >= sel.firstRow && row_ <= sel.lastRow && column_ >= sel.firstColumn &&
               column_ <= sel.lastColumn;
    }
    QList<QAccessibleInterface*> columnHeaderCells() const override {
        QList<QAccessibleInterface*> headers;
        if (auto* table = Table())
            for (int r = 0; r < table->HeaderRows(); ++r)
                if (auto* cell = table->SourceCell(r, column_)) headers << cell;
        return headers;
    }
    QList<QAccessibleInterface*> rowHeaderCells() const override { return {}; }
    int columnIndex() const override { return column_; }
    int rowIndex() const override {
        const GridAccessible* t = Table();
        return row_ - (t ? t->HeaderRows() : 0);
    }
    int columnExtent() const override { return 1; }
    int rowExtent() const override { return 1; }
    QAccessibleInterface* table() const override { return parent(); }

    int Row() const { return row_; }
    int Column() const { return column_; }

private:
    GridAccessible* Table() const { return dynamic_cast<GridAccessible*>(parent()); }
    bool Header() const { return grid_ && grid_->Data() && row_ < grid_->Data()->HeaderRows(); }

    QPointer<CBGridWnd> grid_;
    int row_;
    int column_;
};

QAccessibleInterface* GridFactory(const QString& key, QObject* object) {
    if (key == QLatin1String(CBGridWnd::staticMetaObject.className()))
        if (auto* grid = qobject_cast<CBGridWnd*>(object)) return new GridAccessible(grid);
    return nullptr;
}

}  // namespace

void InstallGridAccessible() {
    static const bool installed = (QAccessible::installFactory(GridFactory), true);
    (void)installed;
}

GridAccessible::GridAccessible(CBGridWnd* grid) : QAccessibleWidget(grid, QAccessible::Table) {}

GridAccessible::~GridAccessible() {
    Forget();
}

CBGridWnd* GridAccessible::Grid() const {
    return static_cast<CBGridWnd*>(widget());
}

void* GridAccessible::interface_cast(QAccessible::InterfaceType type) {
    if (type == QAccessible::TableInterface) return static_cast<QAccessibleTableInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
}

int GridAccessible::HeaderRows() const {
    const CBGridData* d = Grid()->Data();
    return d ? std::clamp(d->HeaderRows(), 0, d->RowCount()) : 0;
}

int GridAccessible::rowCount() const {
    const CBGridData* d = Grid()->Data();
    return d ? d->RowCount() - HeaderRows() : 0;
}

int GridAccessible::columnCount() const {
    const CBGridData* d = Grid()->Data();
    return d ? d->ColumnCount() : 0;
}

void GridAccessible::Forget() const {
    for (const auto& [cell, id] : cells_) QAccessible::deleteAccessibleInterface(id);
    cells_.clear();
}

void GridAccessible::Prune() const {
    if (cells_.size() >= kKeptCells) Forget();
}

QAccessibleInterface* GridAccessible::SourceCell(int row, int column) const {
    const CBGridData* d = Grid()->Data();
    if (!d || row < 0 || column < 0 || row >= d->RowCount() || column >= d->ColumnCount())
        return nullptr;
    const auto it = cells_.find({row, column});
    if (it != cells_.end()) return QAccessible::accessibleInterface(it->second);
    auto* cell = new GridCellAccessible(Grid(), row, column);
    cells_[{row, column}] = QAccessible::registerAccessibleInterface(cell);
    return cell;
}

QAccessibleInterface* GridAccessible::cellAt(int row, int column) const {
    Prune();
    return row < 0 ? nullptr : SourceCell(row + HeaderRows(), column);
}

int GridAccessible::childCount() const {
    const CBGridData* d = Grid()->Data();
    return d ? Clamped(qint64{d->RowCount()} * d->ColumnCount()) : 0;
}

QAccessibleInterface* GridAccessible::child(int index) const {
    const int columns = columnCount();
    if (index < 0 || columns < 1) return nullptr;
    Prune();
    return SourceCell(index / columns, index % columns);
}

int GridAccessible::indexOfChild(const QAccessibleInterface* child) const {
    const auto* cell = dynamic_cast<const GridCellAccessible*>(child);
    if (!cell || !cell->isValid() || cell->parent() != this) return -1;
    const qint64 index = qint64{cell->Row()} * columnCount() + cell->Column();
    return index > INT_MAX ? -1 : static_cast<int>(index);
}

QAccessibleInterface* GridAccessible::childAt(int x, int y) const {
    const QPoint p = Grid()->viewport()->mapFromGlobal(QPoint(x, y));
    int row = 0, column = 0;
    if (!Grid()->CellAt(p, row, column)) return nullptr;
    Prune();
    return SourceCell(row, column);
}

QAccessibleInterface* GridAccessible::focusChild() const {
    if (!Grid()->hasFocus()) return nullptr;
    Prune();
    return SourceCell(Grid()->CurrentRow(), Grid()->CurrentColumn());
}

QString GridAccessible::columnDescription(int column) const {
    const CBGridData* d = Grid()->Data();
    if (!d || column < 0 || column >= d->ColumnCount()) return {};
    QStringList lines;
    for (int r = 0; r < HeaderRows(); ++r) lines << Utf8(d->CellText(r, column));
    return lines.join(QLatin1Char(' '));
}

namespace {

// The selection in the table's own rows (below the headers), or none.
std::optional<GridRange> DataSelection(const GridAccessible& table, const CBGridWnd& grid) {
    if (table.rowCount() < 1 || table.columnCount() < 1) return std::nullopt;
    GridRange sel = grid.Selection();
    sel.firstRow = std::max(sel.firstRow - table.HeaderRows(), 0);
    sel.lastRow -= table.HeaderRows();
    if (sel.lastRow < sel.firstRow) return std::nullopt;
    return sel;
}

}  // namespace

int GridAccessible::selectedCellCount() const {
    const auto sel = DataSelection(*this, *Grid());
    return sel ? Clamped((qint64{sel->lastRow} - sel->firstRow + 1) *
                         (sel->lastColumn - sel->firstColumn + 1))
               : 0;
}

QList<QAccessibleInterface*> GridAccessible::selectedCells() const {
    QList<QAccessibleInterface*> cells;
    const auto sel = DataSelection(*this, *Grid());
    if (!sel) return cells;
    Prune();
    for (int r = sel->firstRow; r <= sel->lastRow && cells.size() < kListed; ++r)
        for (int c = sel->firstColumn; c <= sel->lastColumn && cells.size() < kListed; ++c)
            cells << SourceCell(r + HeaderRows(), c);
    return cells;
}

bool GridAccessible::isRowSelected(int row) const {
    const auto sel = DataSelection(*this, *Grid());
    return sel && row >= sel->firstRow && row <= sel->lastRow && sel->firstColumn == 0 &&
           sel->lastColumn == columnCount() - 1;
}

bool GridAccessible::isColumnSelected(int column) const {
    const auto sel = DataSelection(*this, *Grid());
    return sel && column >= sel->firstColumn && column <= sel->lastColumn && sel->firstRow == 0 &&
           sel->lastRow == rowCount() - 1;
}

int GridAccessible::selectedRowCount() const {
    const auto sel = DataSelection(*this, *Grid());
    return sel && isRowSelected(sel->firstRow) ? sel->lastRow - sel->firstRow + 1 : 0;
}

int GridAccessible::selectedColumnCount() const {
    const auto sel = DataSelection(*this, *Grid());
    return sel && isColumnSelected(sel->firstColumn) ? sel->lastColumn - sel->firstColumn + 1 : 0;
}

QList<int> GridAccessible::selectedRows() const {
    QList<int> rows;
    const auto sel = DataSelection(*this, *Grid());
    if (sel && isRowSelected(sel->firstRow))
        for (int r = sel->firstRow; r <= sel->lastRow && rows.size() < kListed; ++r) rows << r;
    return rows;
}

QList<int> GridAccessible::selectedColumns() const {
    QList<int> columns;
    const auto sel = DataSelection(*this, *Grid());
    if (sel && isColumnSelected(sel->firstColumn))
        for (int c = sel->firstColumn; c <= sel->lastColumn; ++c) columns << c;
    return columns;
}

bool GridAccessible::selectRow(int row) {
    if (row < 0 || row >= rowCount()) return false;
    Grid()->SetSelection({row + HeaderRows(), -1, row + HeaderRows(), -1});
    return true;
}

bool GridAccessible::selectColumn(int column) {
    if (column < 0 || column >= columnCount() || rowCount() < 1) return false;
    Grid()->SetSelection({HeaderRows(), column, -1, column});
    return true;
}

void GridAccessible::modelChange(QAccessibleTableModelChangeEvent*) {
    // The grid got another source: cells handed out may name rows it lacks.
    Forget();
}

}  // namespace kurvex
