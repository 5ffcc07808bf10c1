#include "table/BGridWnd.h"

#include <QAccessible>
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>

#include "controls/GridEditCell.h"
#include "table/GridCells.h"

namespace kurvex {

namespace {

const QColor kSeparatorColour(192, 192, 192);
const QColor kRowLineColour(224, 224, 224);

}  // namespace

CBGridWnd::CBGridWnd(QWidget* parent) : QAbstractScrollArea(parent) {
    InstallGridAccessible();
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setAccessibleName(tr("Data points"));
    horizontalScrollBar()->setSingleStep(20);
}

CBGridWnd::~CBGridWnd() = default;

void CBGridWnd::SetData(std::unique_ptr<CBGridData> data) {
    data_ = std::move(data);
    const int first = data_ ? std::min(data_->HeaderRows(), data_->RowCount() - 1) : 0;
    anchorRow_ = currentRow_ = std::max(0, first);
    anchorColumn_ = currentColumn_ = 0;
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    UpdateScrollBars();
    QAccessibleTableModelChangeEvent reset(this, QAccessibleTableModelChangeEvent::ModelReset);
    QAccessible::updateAccessibility(&reset);
    Describe();
    viewport()->update();
}

GridRange CBGridWnd::Selection() const {
    return {std::min(anchorRow_, currentRow_), std::min(anchorColumn_, currentColumn_),
            std::max(anchorRow_, currentRow_), std::max(anchorColumn_, currentColumn_)};
}

void CBGridWnd::SetSelection(const GridRange& range) {
    if (!data_) return;
    const std::optional<GridRange> r =
        NormaliseRange(range, data_->RowCount(), data_->ColumnCount());
    if (!r) return;
    anchorRow_ = r->firstRow;
    anchorColumn_ = r->firstColumn;
    currentRow_ = r->lastRow;
    currentColumn_ = r->lastColumn;
    Describe();
    viewport()->update();
}

void CBGridWnd::SetCurrentCell(int row, int column, bool extend) {
    if (!data_ || data_->RowCount() < 1 || data_->ColumnCount() < 1) return;
    currentRow_ = std::clamp(row, 0, data_->RowCount() - 1);
    currentColumn_ = std::clamp(column, 0, data_->ColumnCount() - 1);
    if (!extend) {
        anchorRow_ = currentRow_;
        anchorColumn_ = currentColumn_;
    }
    EnsureVisible(currentRow_, currentColumn_);
    Describe();
    viewport()->update();
}

int CBGridWnd::HeaderHeight() const {
    int h = 0;
    if (data_)
        for (int r = 0; r < std::min(data_->HeaderRows(), data_->RowCount()); ++r)
            h += data_->RowHeight(r);
    return h;
}

int CBGridWnd::DataRowHeight() const {
    return data_ ? std::max(1, data_->RowHeight(data_->HeaderRows())) : 1;
}

int CBGridWnd::ColumnLeft(int column) const {
    int x = 0;
    for (int c = 0; c < column; ++c) x += data_->ColumnWidth(c) + kSeparator;
    return x;
}

int CBGridWnd::TotalWidth() const {
    return data_ ? ColumnLeft(data_->ColumnCount()) : 0;
}

int CBGridWnd::VisibleRows() const {
    return std::max(1, (viewport()->height() - HeaderHeight()) / DataRowHeight());
}

QRect CBGridWnd::CellRect(int row, int column) const {
    if (!data_) return {};
    const int x = ColumnLeft(column) - horizontalScrollBar()->value();
    const int headers = data_->HeaderRows();
    if (row < headers) {
        int y = 0;
        for (int r = 0; r < row; ++r) y += data_->RowHeight(r);
        return {x, y, data_->ColumnWidth(column), data_->RowHeight(row)};
    }
    const int h = DataRowHeight();
    const qint64 y =
        HeaderHeight() + (qint64{row} - headers - verticalScrollBar()->value()) * qint64{h};
    // Rows far from the view are placed just beyond it; nobody draws them.
    const int clamped = static_cast<int>(std::clamp<qint64>(y, -h - 1, viewport()->height() + 1));
    return {x, clamped, data_->ColumnWidth(column), h};
}

qint64 CBGridWnd::RowAt(int y) const {
    const int headers = std::min(data_->HeaderRows(), data_->RowCount());
    int top = 0;
    for (int r = 0; r < headers; ++r) {
        top += data_->RowHeight(r);
        if (y < top) return r;
    }
    return qint64{data_->HeaderRows()} + verticalScrollBar()->value() +
           (y - HeaderHeight()) / DataRowHeight();
}

int CBGridWnd::ColumnAt(int x) const {
    x += horizontalScrollBar()->value();
    int right = 0;
    for (int c = 0; c < data_->ColumnCount(); ++c) {
        right += data_->ColumnWidth(c) + kSeparator;
        if (x < right) return c;
    }
    return data_->ColumnCount();
}

bool CBGridWnd::CellAt(QPoint p, int& row, int& column) const {
    if (!data_ || p.x() < 0 || p.y() < 0) return false;
    const qint64 r = RowAt(p.y());
    const int c = ColumnAt(p.x());
    if (r >= data_->RowCount() || c >= data_->ColumnCount()) return false;
    row = static_cast<int>(r);
    column = c;
    return true;
}

void CBGridWnd::EnsureVisible(int row, int column) {
    if (!data_) return;
    if (row >= data_->HeaderRows()) {
        const int index = row - data_->HeaderRows();
        const int top = verticalScrollBar()->value(), visible = VisibleRows();
        if (index < top)
            verticalScrollBar()->setValue(index);
        else if (index >= top + visible)
            verticalScrollBar()->setValue(index - visible + 1);
    }
    if (column >= 0 && column < data_->ColumnCount()) {
        const int left = ColumnLeft(column), right = left + data_->ColumnWidth(column);
        const int at = horizontalScrollBar()->value(), width = viewport()->width();
        if (left < at)
            horizontalScrollBar()->setValue(left);
        else if (right > at + width)
            horizontalScrollBar()->setValue(std::min(left, right - width));
    }
}

void CBGridWnd::UpdateScrollBars() {
    const int rows = data_ ? std::max(0, data_->RowCount() - data_->HeaderRows()) : 0;
    const int visible = VisibleRows();
    verticalScrollBar()->setRange(0, std::max(0, rows - visible));
    verticalScrollBar()->setPageStep(visible);
    verticalScrollBar()->setSingleStep(1);
    horizontalScrollBar()->setRange(0, std::max(0, TotalWidth() - viewport()->width()));
    horizontalScrollBar()->setPageStep(std::max(1, viewport()->width()));
}

void CBGridWnd::scrollContentsBy(int, int) {
    // The grid scrolls by whole rows: everything in view is drawn afresh.
    viewport()->update();
}

void CBGridWnd::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBars();
}

void CBGridWnd::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    painter.fillRect(viewport()->rect(), palette().window());
    if (!data_ || data_->RowCount() < 1 || data_->ColumnCount() < 1) return;
    const int rows = data_->RowCount(), headers = std::min(data_->HeaderRows(), rows);
    const int headerHeight = HeaderHeight(), h = DataRowHeight();
    const int firstData = headers + verticalScrollBar()->value();
    const int shown = (viewport()->height() - headerHeight) / h + 1;
    const int lastData = static_cast<int>(std::min<qint64>(rows - 1, qint64{firstData} + shown));
    const GridRange sel = Selection();
    const int scrollX = horizontalScrollBar()->value(), width = viewport()->width();

    auto drawRow = [&](int row) {
        int x = -scrollX;
        for (int c = 0; c < data_->ColumnCount() && x < width; ++c) {
            const int w = data_->ColumnWidth(c);
            if (x + w + kSeparator > 0) {
                const QRect r = CellRect(row, c);
                const bool selected = row >= sel.firstRow && row <= sel.lastRow &&
                                      c >= sel.firstColumn && c <= sel.lastColumn;
                const bool header = row < headers;
                data_->DrawCell(painter, r, row, c, selected,
                                header ? Qt::AlignHCenter : Qt::AlignRight);
                if (!header) {
                    painter.setPen(kRowLineColour);
                    painter.drawLine(r.bottomLeft(), r.bottomRight());
                }
                painter.fillRect(QRect(r.right() + 1, r.top(), kSeparator, r.height()),
                                 kSeparatorColour);
            }
            x += w + kSeparator;
        }
    };
    painter.save();
    painter.setClipRect(QRect(0, headerHeight, width, viewport()->height() - headerHeight));
    for (int row = firstData; row <= lastData; ++row) drawRow(row);
    painter.restore();
    for (int row = 0; row < headers; ++row) drawRow(row);

    if (hasFocus()) {
        const QRect r = CellRect(currentRow_, currentColumn_).adjusted(0, 0, -1, -1);
        if (currentRow_ < headers || r.top() >= headerHeight) {
            QPen pen(Qt::black);
            pen.setStyle(Qt::DotLine);
            painter.setPen(pen);
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(r);
        }
    }
}

void CBGridWnd::mousePressEvent(QMouseEvent* event) {
    int row = 0, column = 0;
    const bool hit = CellAt(event->position().toPoint(), row, column);
    if (event->button() == Qt::LeftButton) {
        setFocus(Qt::MouseFocusReason);
        if (!hit) return;
        SetCurrentCell(row, column, (event->modifiers() & Qt::ShiftModifier) != 0);
        dragging_ = true;
    } else if (event->button() == Qt::RightButton && hit) {
        const QPoint global = event->globalPosition().toPoint();
        if (!data_->RightClick(*this, row, column, global))
            emit rightClicked(row, column, event->modifiers(), global);
    }
}

void CBGridWnd::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_ || !data_ || !(event->buttons() & Qt::LeftButton)) return;
    const QPoint p = event->position().toPoint();
    // Beyond an edge the selection reaches one cell past the view, which scrolls.
    const QPoint inside(std::clamp(p.x(), 0, std::max(0, viewport()->width() - 1)),
                        std::clamp(p.y(), HeaderHeight(), std::max(0, viewport()->height() - 1)));
    if (data_->RowCount() < 1 || data_->ColumnCount() < 1) return;
    // Past the last row or column the pointer's other coordinate still counts.
    int row = static_cast<int>(std::min<qint64>(RowAt(inside.y()), data_->RowCount() - 1));
    int column = std::min(ColumnAt(inside.x()), data_->ColumnCount() - 1);
    if (p.y() < HeaderHeight() && row > data_->HeaderRows()) --row;
    if (p.y() >= viewport()->height()) ++row;
    if (p.x() >= viewport()->width()) ++column;
    if (p.x() < 0) --column;
    if (row != currentRow_ || column != currentColumn_) SetCurrentCell(row, column, true);
}

void CBGridWnd::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !dragging_) return;
    dragging_ = false;
    if (editing_ && anchorRow_ == currentRow_ && anchorColumn_ == currentColumn_) StartEdit();
}

void CBGridWnd::mouseDoubleClickEvent(QMouseEvent* event) {
    int row = 0, column = 0;
    if (!CellAt(event->position().toPoint(), row, column)) return;
    const QPoint global = event->globalPosition().toPoint();
    if (!data_->DoubleClick(*this, row, column, global))
        emit doubleClicked(row, column, event->modifiers(), global);
}

void CBGridWnd::keyPressEvent(QKeyEvent* event) {
    if (!data_ || data_->Key(*this, *event)) return;
    const bool extend = (event->modifiers() & Qt::ShiftModifier) != 0;
    const bool control = (event->modifiers() & Qt::ControlModifier) != 0;
    const int page = std::max(1, VisibleRows() - 1);
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Space:
            if (!StartEdit()) QAbstractScrollArea::keyPressEvent(event);
            return;
        case Qt::Key_Up:
            SetCurrentCell(currentRow_ - 1, currentColumn_, extend);
            return;
        case Qt::Key_Down:
            SetCurrentCell(currentRow_ + 1, currentColumn_, extend);
            return;
        case Qt::Key_Left:
            SetCurrentCell(currentRow_, currentColumn_ - 1, extend);
            return;
        case Qt::Key_Right:
            SetCurrentCell(currentRow_, currentColumn_ + 1, extend);
            return;
        case Qt::Key_PageUp:
            SetCurrentCell(currentRow_ - page, currentColumn_, extend);
            return;
        case Qt::Key_PageDown:
            SetCurrentCell(currentRow_ + page, currentColumn_, extend);
            return;
        case Qt::Key_Home:
            SetCurrentCell(control ? 0 : currentRow_, 0, extend);
            return;
        case Qt::Key_End:
            SetCurrentCell(control ? data_->RowCount() - 1 : currentRow_, data_->ColumnCount() - 1,
                           extend);
            return;
        default:
            QAbstractScrollArea::keyPressEvent(event);
    }
}

bool CBGridWnd::StartEdit() {
    if (!editing_ || busy_ || !data_ || data_->RowCount() < 1 || data_->ColumnCount() < 1)
        return false;
    const int row = currentRow_, column = currentColumn_;
    EnsureVisible(row, column);
    const QRect cell = CellRect(row, column).translated(viewport()->pos());
    const std::string text = data_->CellText(row, column);
    auto* editor =
        new CGridEditCell(this, cell, row, column,
                          QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                          data_->EditMask(row, column));
    connect(editor, &CGridEditCell::editEnded, this, &CBGridWnd::EditEnded);
    connect(editor, &CGridEditCell::moveEditing, this, &CBGridWnd::MoveEditing);
    return true;
}

void CBGridWnd::EditEnded(int row, int column, bool cancelled, const QString& text) {
    if (!cancelled && data_) {
        if (busy_)
            QApplication::beep();
        else
            data_->EditCell(row, column, text.toStdString());
    }
    Describe();
    viewport()->update();
}

void CBGridWnd::MoveEditing(int row, int column, int rowStep, int columnStep) {
    SetCurrentCell(row + rowStep, column + columnStep);
    // The old editor is still on its way out.
    QTimer::singleShot(0, this, [this] { StartEdit(); });
}

void CBGridWnd::Describe() {
    if (!data_ || data_->RowCount() < 1) {
        setAccessibleDescription(tr("No data points"));
        return;
    }
    if (QAccessible::isActive()) {
        // Readers follow the current cell and the selection.
        QAccessibleEvent selection(this, QAccessible::SelectionWithin);
        QAccessible::updateAccessibility(&selection);
        auto* table = QAccessible::queryAccessibleInterface(this);
        if (auto* cells = dynamic_cast<GridCells*>(table); cells && hasFocus())
            if (QAccessibleInterface* cell = cells->SourceCell(currentRow_, currentColumn_)) {
                QAccessibleEvent focus(cell, QAccessible::Focus);
                QAccessible::updateAccessibility(&focus);
            }
    }
    const std::string text = data_->CellText(currentRow_, currentColumn_);
    setAccessibleDescription(
        tr("Row %1, column %2: %3")
            .arg(currentRow_)
            .arg(currentColumn_ + 1)
            .arg(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()))));
}

}  // namespace kurvex
