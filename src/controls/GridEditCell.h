#pragma once

#include <QRect>
#include <QString>

#include "controls/ExEditCtrl.h"

namespace kurvex {

// The in-place editor of one table cell. It filters like CExEditCtrl, widens
// with its text up to the grid's right edge, and ends when it loses the
// focus: it reports the cell, whether Esc cancelled the edit and the text,
// then deletes itself. Tab, Shift+Tab, Page Up and Page Down end the edit
// and ask the grid to go on editing the neighbouring cell.
class CGridEditCell : public CExEditCtrl {
    Q_OBJECT
public:
    // Edits cell (row, column) of `grid`, placed over `cell` (grid coordinates).
    CGridEditCell(QWidget* grid, const QRect& cell, int row, int column, const QString& text,
                  std::uint16_t mask);

    int Row() const { return row_; }
    int Column() const { return column_; }
    bool Cancelled() const { return cancelled_; }
    const QString& StartText() const { return startText_; }

signals:
    // The edit is over; the grid stores `text` into the cell unless `cancelled`.
    void editEnded(int row, int column, bool cancelled, const QString& text);
    // After editEnded: go on editing the cell rowStep rows and columnStep columns away.
    void moveEditing(int row, int column, int rowStep, int columnStep);

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    // Hands the focus back to the grid, which ends the edit.
    void Leave(int rowStep, int columnStep);
    void End();
    void Widen();

    QWidget* grid_;
    int row_;
    int column_;
    QString startText_;
    int startWidth_;
    bool cancelled_ = false;
    bool ended_ = false;
    int rowStep_ = 0;
    int columnStep_ = 0;
};

}  // namespace kurvex
