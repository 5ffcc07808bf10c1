#pragma once

#include <QWidget>
#include <vector>

#include "analysis/RunTable.h"

class QTableWidget;

namespace kurvex {

class COhmixGraphView;
class ToolFollower;

// The floating "Run Table": one row per shown run of the view the main frame
// shows, one column per chosen measurement, recomputed as that view zooms,
// moves its cursors, shows other runs or reloads.
class CRunTableWindow : public QWidget {
    Q_OBJECT
public:
    ~CRunTableWindow() override;
    // The open window, or null.
    static CRunTableWindow* Instance();
    // Opens (or raises) the window on `view`, following the window in front of `frame`.
    static CRunTableWindow* Open(QWidget* frame, COhmixGraphView* view);

    // Follows `view` from now on (null: none); another view starts with no columns.
    void Follow(COhmixGraphView* view);
    COhmixGraphView* Followed() const;
    // Appends a column and shows it at once.
    void AddColumn(const RunTableColumn& column);
    // Removes the column of the current cell (or the last one).
    void RemoveColumn();
    const std::vector<RunTableColumn>& Columns() const { return columns_; }
    const std::vector<RunTableRow>& Rows() const { return rows_; }
    QTableWidget* Table() const { return table_; }
    // The table as tab-separated text, as Copy puts it on the clipboard.
    QString CopyText() const;
    // Writes the table as CSV to `path`; a failure is reported in a message box.
    bool SaveCsv(const QString& path);
    // Computes the table anew now.
    void Recompute();

private:
    explicit CRunTableWindow(QWidget* frame);
    void AskColumn();
    void AskSaveCsv();
    void Copy();
    std::vector<std::string> Headers() const;

    ToolFollower* follow_ = nullptr;
    std::vector<RunTableColumn> columns_;
    std::vector<RunTableRow> rows_;
    QTableWidget* table_ = nullptr;
};

}  // namespace kurvex
