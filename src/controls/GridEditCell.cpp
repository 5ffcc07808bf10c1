#include "controls/GridEditCell.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <algorithm>

namespace kurvex {

CGridEditCell::CGridEditCell(QWidget* grid, const QRect& cell, int row, int column,
                             const QString& text, std::uint16_t mask)
    : CExEditCtrl(mask, grid),
      grid_(grid),
      row_(row),
      column_(column),
      startText_(text),
      startWidth_(cell.width()) {
    setFont(grid->font());
    setGeometry(cell);
    setText(text);
    connect(this, &QLineEdit::textChanged, this, &CGridEditCell::Widen);
    Widen();
    show();
    setFocus(Qt::OtherFocusReason);
    selectAll();
}

void CGridEditCell::Widen() {
    const QMargins m = textMargins() + contentsMargins();
    const int wanted = fontMetrics().horizontalAdvance(text()) + 5 + m.left() + m.right() + 4;
    const int room = grid_->width() - x();
    resize(std::max(1, std::min(std::max(startWidth_, wanted), room)), height());
}

bool CGridEditCell::event(QEvent* event) {
    // Tab moves the editing, not the focus through the window.
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Backtab ||
            (key->key() == Qt::Key_Tab && (key->modifiers() & Qt::ShiftModifier))) {
            Leave(0, -1);
            return true;
        }
        if (key->key() == Qt::Key_Tab) {
            Leave(0, 1);
            return true;
        }
    }
    return CExEditCtrl::event(event);
}

void CGridEditCell::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_PageUp:
            Leave(-1, 0);
            return;
        case Qt::Key_PageDown:
            Leave(1, 0);
            return;
        case Qt::Key_Escape:
            cancelled_ = true;
            Leave(0, 0);
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            Leave(0, 0);
            return;
        default:
            CExEditCtrl::keyPressEvent(event);
    }
}

void CGridEditCell::Leave(int rowStep, int columnStep) {
    rowStep_ = rowStep;
    columnStep_ = columnStep;
    grid_->setFocus(Qt::OtherFocusReason);
    // A grid that cannot take the focus still ends the edit.
    End();
}

void CGridEditCell::focusOutEvent(QFocusEvent* event) {
    CExEditCtrl::focusOutEvent(event);
    // A pop-up (the edit menu) takes the focus only for a moment.
    if (event->reason() != Qt::PopupFocusReason) End();
}

void CGridEditCell::End() {
    if (ended_) return;
    ended_ = true;
    hide();
    emit editEnded(row_, column_, cancelled_, text());
    if (rowStep_ != 0 || columnStep_ != 0) emit moveEditing(row_, column_, rowStep_, columnStep_);
    deleteLater();
}

}  // namespace kurvex
