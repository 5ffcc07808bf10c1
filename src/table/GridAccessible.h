#pragma once

#include <QAccessibleWidget>
#include <QPointer>
#include <map>
#include <utility>

#include "table/GridCells.h"

namespace kurvex {

class CBGridWnd;

// The data-point grid as screen readers know a table: rows below the header
// rows, columns named by the headers, the grid's selection. A cell's
// interface is made when a reader asks for it and computes its text then;
// only the few asked for are kept.
class GridAccessible : public QAccessibleWidget,
                       public QAccessibleTableInterface,
                       public GridCells {
public:
    explicit GridAccessible(CBGridWnd* grid);
    ~GridAccessible() override;

    void* interface_cast(QAccessible::InterfaceType type) override;
    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;
    QAccessibleInterface* focusChild() const override;

    QAccessibleInterface* caption() const override { return nullptr; }
    QAccessibleInterface* summary() const override { return nullptr; }
    QAccessibleInterface* cellAt(int row, int column) const override;
    int selectedCellCount() const override;
    QList<QAccessibleInterface*> selectedCells() const override;
    QString columnDescription(int column) const override;
    QString rowDescription(int) const override { return {}; }
    int selectedColumnCount() const override;
    int selectedRowCount() const override;
    int columnCount() const override;
    int rowCount() const override;
    QList<int> selectedColumns() const override;
    QList<int> selectedRows() const override;
    bool isColumnSelected(int column) const override;
    bool isRowSelected(int row) const override;
    bool selectRow(int row) override;
    bool selectColumn(int column) override;
    bool unselectRow(int) override { return false; }
    bool unselectColumn(int) override { return false; }
    void modelChange(QAccessibleTableModelChangeEvent* event) override;

    QAccessibleInterface* SourceCell(int row, int column) const override;
    // The grid's header rows.
    int HeaderRows() const;

private:
    CBGridWnd* Grid() const;
    // Forgets the cells handed out once they grow many.
    void Prune() const;
    void Forget() const;

    mutable std::map<std::pair<int, int>, QAccessible::Id> cells_;
};

}  // namespace kurvex
