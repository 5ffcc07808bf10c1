#pragma once

#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QStringList>

#include "app/CommandActions.h"
#include "app/CommandRouter.h"

class QComboBox;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QSettings;
class QToolBar;
class QUrl;

namespace kurvex {

// How long a passing status-bar line stays, in milliseconds.
inline constexpr int kStatusTimeout = 10000;

class CBGridChildFrame;
class CChildFrame;
class COhmixGraphView;

// The program's main window: menus, the Standard and Measure tool bars with
// the curve list, the status bar and the area the document windows live in.
class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    explicit CMainFrame(QWidget* parent = nullptr);
    ~CMainFrame() override;

    QMdiArea* MdiArea() const { return mdi_; }
    // The graph view of the active document window, or null.
    COhmixGraphView* ActiveView() const;
    // Every graph view, in window order.
    QList<COhmixGraphView*> Views() const;
    // Puts `view` into a new document window and shows it.
    CChildFrame* AddViewWindow(COhmixGraphView* view);
    // Puts a point table into a document window sized to show its columns.
    QMdiSubWindow* AddTableWindow(CBGridChildFrame* table);

    // Runs a command as its menu item, button or shortcut would.
    void Execute(int id);
    // True when the program has the code of command `id`.
    bool Handled(int id) const;
    // Where every command's handler is registered.
    const CommandRouter& Router() const { return router_; }
    // The menus of the empty frame or of a graph window.
    void UpdateMenus();
    // Sets every command's state from the rules.
    void RefreshCommands();
    CommandActions& Actions() { return *actions_; }

    QComboBox* CurveList() const { return curveList_; }
    // The view whose curves the curve list shows, or null.
    COhmixGraphView* CurveListView() const { return curveListView_; }
    // The right-click menu of a screen, at `global`.
    void ShowScreenMenu(QPoint global);
    // A line in the status bar for `timeout` milliseconds (0: until replaced).
    void ShowStatus(const QString& text, int timeout = kStatusTimeout);

    // The tool bars' places and visibility, saved and restored across runs.
    void SaveBarState(QSettings& settings) const;
    bool RestoreBarState(QSettings& settings);
    // Opens the local files among `urls`, one window each, as a drop does.
    void OpenDroppedFiles(const QList<QUrl>& urls);
    // Shows the recent files in the File menu.
    void SetRecentFiles(const QStringList& paths);

    QToolBar* StandardBar() const { return standard_; }
    QToolBar* MeasureBar() const { return measure_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void BuildHandlers();
    void CreateBars();
    void FillWindowList(QMenu* menu, QAction* before);
    void OnCurveSelection(COhmixGraphView* view, int param);
    void OnCurveListActivated(int index);
    void OpenFile();

    QMdiArea* mdi_ = nullptr;
    CommandActions* actions_ = nullptr;
    QList<QMenu*> frameMenus_;
    QList<QMenu*> graphMenus_;
    QList<QAction*> windowEntries_;
    QToolBar* standard_ = nullptr;
    QToolBar* measure_ = nullptr;
    QComboBox* curveList_ = nullptr;
    QLabel* ready_ = nullptr;
    QPointer<COhmixGraphView> curveListView_;
    QList<QMenu*> shownMenus_;
    QList<QAction*> lentActions_;  // the frame's entries of a table's menus
    CommandRouter router_;
};

}  // namespace kurvex
