#pragma once

#include <QList>
#include <QString>
#include <QWidget>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "data/platform/UserMessages.h"
#include "graph/GraphCurve.h"
#include "table/BGridWnd.h"

class QAction;
class QMenu;
class QMenuBar;

namespace kurvex {

class TableWork;

// The three forms "Save As..." writes, in the order of its filter list.
enum class TableSaveForm : int { Tab = 0, Comma = 1, Table = 2 };

// A document window listing the points of a graph view in a grid, with its
// own menu (File, Edit) and right-click menu to copy rows, the selection or
// everything as text and to save the table. It shows the points the view had
// when it was opened, whatever happens to the view later. Ready to be the
// widget of a QMdiSubWindow.
class CBGridChildFrame : public QWidget {
    Q_OBJECT
public:
    // The window's commands, with the ids of their menu entries.
    enum Command : int {
        kOpen = 57601,
        kSaveAs = 32831,
        kCopyRow = 32832,
        kCopyAll = 32833,
        kPopupCopyRow = 5601,
        kPopupCopySelected = 5602,
        kClose = 57602,
    };

    // The table of a view: its X variable, then every curve of every screen,
    // screen by screen; captioned "%s : %i" with the document's title and
    // table counter. `messages` hears file errors and must outlive the
    // window (a document's do not: a table may stay open after it); without
    // it the window shows its own message boxes.
    CBGridChildFrame(const std::vector<const CGraphCurve*>& screens, const std::string& title,
                     int counter, QWidget* parent = nullptr, UserMessages* messages = nullptr);
    // A window over any source.
    CBGridChildFrame(std::unique_ptr<CBGridData> data, const QString& caption,
                     QWidget* parent = nullptr, UserMessages* messages = nullptr);
    ~CBGridChildFrame() override;

    CBGridWnd& Grid() { return *grid_; }
    // The action of a command, or null.
    QAction* Action(int command) const;
    // The window's menus (File, Edit), for a main frame that shows them itself.
    QList<QMenu*> Menus() const;
    // The right-click menu.
    QMenu* PopupMenu() const { return popup_; }
    // The width that shows every column.
    int FittingWidth() const;

    // Copies every row and column, the header first.
    void CopyAll();
    // Copies the current cell's row.
    void CopyRow();
    // Copies a row, all columns (the right-clicked one from the pop-up).
    void CopyRowAt(int row);
    // Copies the selection.
    void CopySelected();
    // Copies a range as padded, tab-separated lines; the range becomes the
    // selection. False when it is empty or a copy or save is running.
    bool CopyRange(const GridRange& range);

    // Asks for a file and a form, then saves.
    void SaveAs();
    // Saves the table at `path` in `form` through a temporary file; a file
    // that cannot be written is reported and an old one stays whole. False
    // when nothing was started.
    bool SaveTo(const QString& path, TableSaveForm form);
    // True while a copy or save runs.
    bool Busy() const;
    // Asks the running copy or save to stop.
    void CancelWork();

    // The cell of the last right click.
    int ClickedRow() const { return clickedRow_; }
    int ClickedColumn() const { return clickedColumn_; }

signals:
    // Ctrl+O and "&Open...": the main frame opens a file.
    void openRequested();

private:
    void Build(std::unique_ptr<CBGridData> data, const QString& caption);
    QAction* AddCommand(int command, const QString& label, const QString& prompt);
    void ShowCellMenu(int row, int column, Qt::KeyboardModifiers keys, QPoint global);

    CBGridWnd* grid_ = nullptr;
    QMenuBar* menuBar_ = nullptr;
    QMenu* fileMenu_ = nullptr;
    QMenu* editMenu_ = nullptr;
    QMenu* popup_ = nullptr;
    std::map<int, QAction*> actions_;
    std::unique_ptr<UserMessages> ownMessages_;
    UserMessages* messages_ = nullptr;
    std::unique_ptr<TableWork> work_;
    int clickedRow_ = 0;
    int clickedColumn_ = 0;
};

}  // namespace kurvex
