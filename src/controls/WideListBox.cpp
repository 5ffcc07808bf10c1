#include "controls/WideListBox.h"

#include <QEvent>
#include <QFontMetrics>
#include <QItemSelectionModel>
#include <QStyle>
#include <algorithm>

namespace kurvex {

int WideListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(texts_.size());
}

QVariant WideListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= texts_.size()) return {};
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole || role == Qt::ToolTipRole)
        return texts_[index.row()];
    // One size for every row: the view measures nothing itself.
    if (role == Qt::SizeHintRole) return rowSize_;
    return {};
}

void WideListModel::Reset(QStringList texts, std::vector<qint64> values, int extent,
                          QSize rowSize) {
    beginResetModel();
    texts_ = std::move(texts);
    values_ = std::move(values);
    values_.resize(static_cast<std::size_t>(texts_.size()), 0);
    extent_ = extent;
    rowSize_ = rowSize;
    endResetModel();
}

void WideListModel::Append(const QString& text, qint64 value, int extent, QSize rowSize) {
    const int row = static_cast<int>(texts_.size());
    beginInsertRows(QModelIndex(), row, row);
    texts_.append(text);
    values_.push_back(value);
    endInsertRows();
    if (extent <= extent_ && rowSize == rowSize_) return;
    extent_ = std::max(extent_, extent);
    rowSize_ = rowSize;
    // Every row takes the new width: the view lays itself out again.
    emit layoutAboutToBeChanged();
    emit layoutChanged();
}

CWideListBox::CWideListBox(QWidget* parent) : QListView(parent), model_(new WideListModel(this)) {
    setModel(model_);
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    connect(this, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex& index) { emit entryDoubleClicked(index.row()); });
}

int CWideListBox::TextWidth(const QString& text) const {
    const QFontMetrics fm = fontMetrics();
    // Short texts exactly; long ones (names of a thousand characters, ten
    // thousand of them) by the sum of their characters' advances, which is
    // what laying them out would cost a hundred times over.
    if (text.size() <= 64) return fm.horizontalAdvance(text);
    if (advances_.empty()) {
        advances_.resize(128);
        for (int c = 0; c < 128; ++c)
            advances_[static_cast<std::size_t>(c)] = fm.horizontalAdvance(QChar(c));
    }
    qint64 width = 0;
    for (const QChar c : text)
        width += c.unicode() < 128 ? advances_[c.unicode()] : fm.horizontalAdvance(c);
    return static_cast<int>(std::min<qint64>(width, 1 << 24));
}

QSize CWideListBox::RowSize(int extent) const {
    const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
    return QSize(extent + 2 * margin, fontMetrics().height() + 2);
}

void CWideListBox::SetEntries(const QStringList& texts, std::vector<qint64> values) {
    int extent = 0;
    for (const QString& t : texts) extent = std::max(extent, TextWidth(t));
    model_->Reset(texts, std::move(values), extent, RowSize(extent));
}

void CWideListBox::AddEntry(const QString& text, qint64 value) {
    const int width = TextWidth(text);
    model_->Append(text, value, width, RowSize(std::max(width, model_->Extent())));
}

int CWideListBox::Count() const {
    return model_->rowCount();
}

QString CWideListBox::Text(int row) const {
    return row >= 0 && row < Count() ? model_->Texts()[row] : QString();
}

qint64 CWideListBox::Value(int row) const {
    return row >= 0 && row < Count() ? model_->Values()[static_cast<std::size_t>(row)] : 0;
}

QList<int> CWideListBox::SelectedRows() const {
    QList<int> rows;
    for (const QModelIndex& i : selectionModel()->selectedIndexes()) rows.append(i.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void CWideListBox::SelectRows(const QList<int>& rows) {
    QItemSelection selection;
    for (const int r : rows)
        if (r >= 0 && r < Count()) selection.select(model_->index(r), model_->index(r));
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
}

int CWideListBox::CurrentRow() const {
    const QModelIndex i = currentIndex();
    return i.isValid() ? i.row() : -1;
}

void CWideListBox::changeEvent(QEvent* event) {
    QListView::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
        // Measured in the old font: measure again.
        advances_.clear();
        const std::vector<qint64> values = model_->Values();
        SetEntries(model_->Texts(), values);
    }
}

}  // namespace kurvex
