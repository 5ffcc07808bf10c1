#pragma once

#include <QAbstractListModel>
#include <QList>
#include <QListView>
#include <QString>
#include <QStringList>
#include <vector>

namespace kurvex {

// The entries of a CWideListBox: texts with one number each.
class WideListModel : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    // Replaces every entry in one step.
    void Reset(QStringList texts, std::vector<qint64> values, int extent, QSize rowSize);
    // Appends one entry `extent` pixels wide; rows are `rowSize` from now on.
    void Append(const QString& text, qint64 value, int extent, QSize rowSize);

    const QStringList& Texts() const { return texts_; }
    const std::vector<qint64>& Values() const { return values_; }
    int Extent() const { return extent_; }

private:
    QStringList texts_;
    std::vector<qint64> values_;
    int extent_ = 0;
    QSize rowSize_;
};

// A list box whose horizontal scroll range grows to its widest entry, so
// that long names can be scrolled into view. Every entry carries a number
// (a variable index, a record's row). Filling it is one step however long
// the list, so ten thousand variables open at once.
class CWideListBox : public QListView {
    Q_OBJECT
public:
    explicit CWideListBox(QWidget* parent = nullptr);

    // Replaces all entries; `values` has one number per text.
    void SetEntries(const QStringList& texts, std::vector<qint64> values);
    // Appends an entry, widening the scroll range when it is the widest.
    void AddEntry(const QString& text, qint64 value);
    void Clear() { SetEntries({}, {}); }

    int Count() const;
    QString Text(int row) const;
    qint64 Value(int row) const;
    // The selected rows, top first.
    QList<int> SelectedRows() const;
    // Selects exactly `rows`.
    void SelectRows(const QList<int>& rows);
    // The row with the keyboard focus, or -1.
    int CurrentRow() const;
    // Width in pixels of the widest entry's text.
    int HorizontalExtent() const { return model_->Extent(); }

signals:
    // An entry was double-clicked.
    void entryDoubleClicked(int row);

protected:
    void changeEvent(QEvent* event) override;

private:
    int TextWidth(const QString& text) const;
    QSize RowSize(int extent) const;

    WideListModel* model_;
    mutable std::vector<int> advances_;  // of the ASCII characters in the list's font
};

}  // namespace kurvex
