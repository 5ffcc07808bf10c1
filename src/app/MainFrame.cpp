#include "app/MainFrame.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QUrl>

#include "app/ChildFrame.h"
#include "app/GraphDocument.h"
#include "app/GraphView.h"
#include "app/KurvexApp.h"
#include "app/PowerCommands.h"
#include "app/WorkerTask.h"
#include "app/tools/LoopMarginsWindow.h"
#include "app/tools/NyquistWindow.h"
#include "app/tools/RunTableWindow.h"
#include "app/tools/RunsWindow.h"
#include "app/tools/ScriptWindow.h"
#include "app/tools/ToolFollower.h"
#include "dialogs/DialogSupport.h"
#include "graph/ViewCommands.h"
#include "interaction/FileFilters.h"
#include "interaction/MouseMode.h"
#include "table/BGridChildFrame.h"

namespace kurvex {

namespace {

// The saved tool-bar layout carries this version; another one is ignored.
constexpr int kBarStateVersion = 8;
const char* const kBarStateKey = "Toolbars_8/T";

}  // namespace

CMainFrame::CMainFrame(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("KurvexFrame8"));
    setWindowTitle(QStringLiteral("Kurvex"));
    setAcceptDrops(true);
    mdi_ = new QMdiArea(this);
    mdi_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdi_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(mdi_);

    actions_ = new CommandActions(this);
    connect(actions_, &CommandActions::triggered, this, &CMainFrame::Execute);
    connect(actions_, &CommandActions::recentFileChosen, this,
            [](const QString& path) { CKurvexApp::Instance()->OpenFile(path); });
    connect(actions_, &CommandActions::windowListWanted, this, &CMainFrame::FillWindowList);
    actions_->LoadIcons();
    BuildHandlers();
    frameMenus_ = actions_->BuildMenus(FrameMenu(), this);
    graphMenus_ = actions_->BuildMenus(GraphMenu(), this);
    for (QMenu* m : frameMenus_ + graphMenus_)
        connect(m, &QMenu::aboutToShow, this, &CMainFrame::RefreshCommands);
    CreateBars();
    UpdateMenus();
    connect(mdi_, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow*) {
        UpdateMenus();
        if (COhmixGraphView* v = ActiveView()) {
            // The curve list follows the active window.
            OnCurveSelection(v, FirstSelectionParam(v->ConstRecords()));
        }
        RefreshCommands();
    });
    RefreshCommands();
}

CMainFrame::~CMainFrame() {
    // The windows going with the frame, its own and the tool windows, must not call back into
    // it while it is half destroyed.
    disconnect(mdi_, nullptr, nullptr, nullptr);
    for (COhmixGraphView* v : Views()) disconnect(v, nullptr, this, nullptr);
}

void CMainFrame::BuildHandlers() {
    CKurvexApp* app = CKurvexApp::Instance();
    router_.SetViewSource([this] { return ActiveView(); });
    router_.Add(kCmdOpen, [this] { OpenFile(); });
    router_.Add(kCmdOpenAsRuns, [this] {
        const QStringList paths =
            QFileDialog::getOpenFileNames(this, QStringLiteral("Open as Runs"), QString(),
                                          QtFilters(OpenFileFilters()).join(QStringLiteral(";;")));
        if (!paths.isEmpty()) CKurvexApp::Instance()->OpenRuns(paths);
    });
    router_.Add(kCmdStandardToolbar, [this] { standard_->setVisible(!standard_->isVisible()); });
    router_.Add(kCmdMeasureToolbar, [this] { measure_->setVisible(!measure_->isVisible()); });
    router_.Add(kCmdStatusBar, [this] { statusBar()->setVisible(!statusBar()->isVisible()); });
    router_.Add(kCmdCascade, [this] { mdi_->cascadeSubWindows(); });
    router_.Add(kCmdTile, [this] { mdi_->tileSubWindows(); });
    router_.Add(kCmdArrangeIcons, [this] {
        // Minimised windows line up along the bottom of the area.
        int x = 0;
        for (QMdiSubWindow* w : mdi_->subWindowList()) {
            if (!w->isMinimized()) continue;
            w->move(x, mdi_->viewport()->height() - w->height());
            x += w->width();
        }
    });
    router_.Add(kCmdExit, [this] { close(); });
    router_.Add(kCmdHelpIndex, [app] { app->OpenHelp(); });
    router_.Add(kCmdNewWindow, [this, app] {
        if (COhmixGraphView* v = ActiveView()) app->NewWindow(v->Document());
    });
    COhmixGraphView::RegisterCommands(router_);
    app->RegisterCommands(router_);
    // The tool windows wait, as every view command does, while the view is busy.
    const auto tool = [this](int id, std::function<void(COhmixGraphView&)> body) {
        router_.AddViewCommand(
            id, [body = std::move(body)](COhmixGraphView& v) { v.RunCommand(body); });
    };
    tool(kCmdRunsWindow, [this](COhmixGraphView& v) {
        // A second press on the same window's runs puts the window away, as a bar's button does.
        CRunsWindow* open = CRunsWindow::Instance();
        if (open && open->isVisible() && open->Followed() == &v)
            open->close();
        else
            CRunsWindow::Open(this, &v);
    });
    tool(kCmdRunTable, [this](COhmixGraphView& v) { CRunTableWindow::Open(this, &v); });
    tool(kCmdMeasureScript, [this](COhmixGraphView& v) { CScriptWindow::Open(this, &v); });
    tool(kCmdNyquist, [app](COhmixGraphView& v) {
        NyquistWindow::Open(v, app, [app](CGraphDocument* d) { return app->NewWindow(d); });
    });
    tool(kCmdLoopMargins, [this](COhmixGraphView& v) { CLoopMarginsWindow::Open(this, &v); });
    for (auto& [id, body] : PowerCommandHandlers(this, app->Store(), app->Documents()))
        tool(id, std::move(body));
}

void CMainFrame::CreateBars() {
    standard_ = new QToolBar(QStringLiteral("Standard"), this);
    standard_->setObjectName(QStringLiteral("Standard"));
    standard_->setAllowedAreas(Qt::AllToolBarAreas);
    addToolBar(Qt::TopToolBarArea, standard_);
    actions_->FillToolBar(standard_, CommandBar::Standard, {});

    measure_ = new QToolBar(QStringLiteral("Measure"), this);
    measure_->setObjectName(QStringLiteral("Measure"));
    measure_->setAllowedAreas(Qt::TopToolBarArea | Qt::BottomToolBarArea);
    addToolBar(Qt::TopToolBarArea, measure_);
    actions_->FillToolBar(measure_, CommandBar::Measure, [this](int id) -> QWidget* {
        if (id != kCmdCurveList) return nullptr;
        const CommandInfo* cmd = FindCommand(kCmdCurveList);
        curveList_ = new QComboBox(measure_);
        curveList_->setObjectName(QStringLiteral("CurveList"));
        curveList_->setFixedWidth(120);
        curveList_->setAccessibleName(QString::fromUtf8(cmd->toolTip));
        curveList_->setToolTip(QString::fromUtf8(cmd->toolTip));
        curveList_->setStatusTip(QString::fromUtf8(cmd->prompt));
        curveList_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            const int rows = screen->availableGeometry().height() * 2 / 3 /
                             std::max(1, curveList_->fontMetrics().height() + 4);
            curveList_->setMaxVisibleItems(std::max(rows, 10));
        }
        connect(curveList_, &QComboBox::activated, this, &CMainFrame::OnCurveListActivated);
        return curveList_;
    });
    for (QToolBar* bar : {standard_, measure_})
        connect(bar, &QToolBar::visibilityChanged, this, &CMainFrame::RefreshCommands);

    ready_ = new QLabel(QStringLiteral("Ready"), this);
    statusBar()->addWidget(ready_, 1);
}

void CMainFrame::UpdateMenus() {
    // A table window brings its own menus; the Window and Help menus stay.
    QMdiSubWindow* active = mdi_->activeSubWindow();
    CBGridChildFrame* table = active ? qobject_cast<CBGridChildFrame*>(active->widget()) : nullptr;
    QList<QMenu*> menus = table                             ? table->Menus()
                          : mdi_->subWindowList().isEmpty() ? frameMenus_
                                                            : graphMenus_;
    if (table) menus << graphMenus_[graphMenus_.size() - 2] << graphMenus_.back();
    if (menus == shownMenus_) return;
    menuBar()->clear();
    qDeleteAll(lentActions_);
    lentActions_.clear();
    for (QMenu* m : menus) {
        if (!table || !table->Menus().contains(m)) {
            menuBar()->addMenu(m);
            continue;
        }
        // A lent menu's own entry sits in the table's hidden bar, and screen
        // readers would place it there: the frame's bar gets entries of its own.
        auto* entry = new QAction(m->title(), this);
        entry->setMenu(m);
        menuBar()->addAction(entry);
        lentActions_ << entry;
    }
    shownMenus_ = menus;
}

void CMainFrame::FillWindowList(QMenu* menu, QAction* before) {
    for (QAction* a : windowEntries_) {
        menu->removeAction(a);
        a->deleteLater();
    }
    windowEntries_.clear();
    const QList<QMdiSubWindow*> windows = mdi_->subWindowList();
    before->setVisible(!windows.isEmpty());
    for (int i = 0; i < windows.size(); ++i) {
        QMdiSubWindow* w = windows[i];
        auto* a = new QAction(QStringLiteral("&%1 %2").arg(i + 1).arg(w->windowTitle()), menu);
        a->setCheckable(true);
        a->setChecked(w == mdi_->activeSubWindow());
        a->setStatusTip(QStringLiteral("Activate this window"));
        connect(a, &QAction::triggered, this, [this, w] { mdi_->setActiveSubWindow(w); });
        menu->addAction(a);
        windowEntries_ << a;
    }
}

COhmixGraphView* CMainFrame::ActiveView() const {
    return FrontView(mdi_);
}

QList<COhmixGraphView*> CMainFrame::Views() const {
    QList<COhmixGraphView*> views;
    for (QMdiSubWindow* w : mdi_->subWindowList())
        if (auto* child = qobject_cast<CChildFrame*>(w)) views << child->View();
    return views;
}

CChildFrame* CMainFrame::AddViewWindow(COhmixGraphView* view) {
    auto* child = new CChildFrame(view);
    mdi_->addSubWindow(child);
    connect(view, &COhmixGraphView::curveSelection, this,
            [this, view](int param) { OnCurveSelection(view, param); });
    connect(view, &COhmixGraphView::stateChanged, this, &CMainFrame::RefreshCommands);
    connect(view, &COhmixGraphView::statusMessage, this,
            [this](const QString& text) { ShowStatus(text); });
    connect(child, &QObject::destroyed, this, [this] {
        QTimer::singleShot(0, this, [this] {
            UpdateMenus();
            RefreshCommands();
        });
    });
    child->showMaximized();
    UpdateMenus();
    RefreshCommands();
    return child;
}

QMdiSubWindow* CMainFrame::AddTableWindow(CBGridChildFrame* table) {
    auto* window = new QMdiSubWindow;
    window->setWidget(table);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowTitle(table->windowTitle());
    // The frame's menu bar shows the table's menus; its own would repeat them.
    if (auto* bar = table->findChild<QMenuBar*>()) bar->hide();
    connect(table, &CBGridChildFrame::openRequested, this, &CMainFrame::OpenFile);
    connect(window, &QObject::destroyed, this, [this] {
        QTimer::singleShot(0, this, [this] {
            UpdateMenus();
            RefreshCommands();
        });
    });
    mdi_->addSubWindow(window);
    window->resize(std::min(table->FittingWidth() + 40, mdi_->viewport()->width()),
                   std::max(200, mdi_->viewport()->height() * 2 / 3));
    window->showNormal();
    mdi_->setActiveSubWindow(window);
    UpdateMenus();
    RefreshCommands();
    return window;
}

bool CMainFrame::Handled(int id) const {
    return router_.Has(id);
}

void CMainFrame::Execute(int id) {
    if (BusyScope::Busy()) return;
    if (id >= kCmdRecentFile1 && id < kCmdRecentFile1 + kRecentFileCount) {
        const int i = id - kCmdRecentFile1;
        if (i < actions_->RecentFileActions().size()) actions_->RecentFileActions()[i]->trigger();
        return;
    }
    if (!router_.Has(id)) return;
    // A command its rules turn off does nothing, however it was reached.
    RefreshCommands();
    if (QAction* a = actions_->Action(id); a && !a->isEnabled()) return;
    router_.Run(id);
    RefreshCommands();
}

void CMainFrame::RefreshCommands() {
    CommandContext c;
    c.childWindows = !mdi_->subWindowList().isEmpty();
    if (COhmixGraphView* v = ActiveView()) v->FillContext(c);
    c.mouseMode = MouseMode();
    c.rightMouseAction = Options().rightMouseAction;
    c.measureLineStyle = MeasureLineStyleSetting();
    c.lineStyleFlag = LineStyleFlag();
    c.arrowFlag = ArrowFlag();
    c.fftWindow = Options().fftWindow;
    c.standardBarShown = standard_ && standard_->isVisible();
    c.measureBarShown = measure_ && measure_->isVisible();
    c.statusBarShown = statusBar()->isVisible();
    c.autoReload = Options().autoReload != 0;
    c.handled = [this](int id) { return Handled(id); };
    actions_->Refresh(c);
}

void CMainFrame::OnCurveSelection(COhmixGraphView* view, int param) {
    if (param == kNoCurveSelection) {
        if (view == curveListView_) {
            curveList_->clear();
            curveListView_ = nullptr;
        }
        return;
    }
    curveListView_ = view;
    const std::vector<CurveListEntry> entries = CurveListEntries(view->ConstRecords());
    curveList_->clear();
    for (const CurveListEntry& e : entries)
        curveList_->addItem(QString::fromStdString(e.text), static_cast<int>(e.data));
    curveList_->setCurrentIndex(CurveListIndex(entries, param));
}

void CMainFrame::OnCurveListActivated(int index) {
    if (index < 0 || !curveListView_) return;
    curveListView_->SelectCurveFromList(curveList_->itemData(index).toInt());
    RefreshCommands();
}

void CMainFrame::ShowScreenMenu(QPoint global) {
    RefreshCommands();
    QMenu* menu = actions_->BuildPopup(ScreenPopupMenu(), this);
    if (!menu) return;
    menu->exec(global);
    delete menu;
}

void CMainFrame::ShowStatus(const QString& text, int timeout) {
    statusBar()->showMessage(text, timeout);
}

void CMainFrame::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // Showing the frame shows "Ready" again, over a message given before.
    if (!statusBar()->currentMessage().isEmpty()) ready_->hide();
}

void CMainFrame::OpenFile() {
    QFileDialog dialog(this, QStringLiteral("Open"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters(QtFilters(OpenFileFilters()));
    dialog.setOption(QFileDialog::ReadOnly, false);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    CKurvexApp::Instance()->OpenFile(dialog.selectedFiles().front());
}

void CMainFrame::SaveBarState(QSettings& settings) const {
    settings.setValue(QString::fromLatin1(kBarStateKey), saveState(kBarStateVersion));
}

bool CMainFrame::RestoreBarState(QSettings& settings) {
    const QVariant state = settings.value(QString::fromLatin1(kBarStateKey));
    if (!state.canConvert<QByteArray>()) return false;
    const bool ok = restoreState(state.toByteArray(), kBarStateVersion);
    RefreshCommands();
    return ok;
}

void CMainFrame::SetRecentFiles(const QStringList& paths) {
    actions_->SetRecentFiles(paths);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (BusyScope::Busy()) {
        event->ignore();
        return;
    }
    CKurvexApp::Instance()->SaveFrameState();
    mdi_->closeAllSubWindows();
    if (!mdi_->subWindowList().isEmpty()) {
        // A window still finishing its work closes when it can; try again then.
        event->ignore();
        QTimer::singleShot(100, this, &QWidget::close);
        return;
    }
    event->accept();
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* event) {
    if (!event->mimeData()->hasUrls()) return;
    event->acceptProposedAction();
    // Opened after the drop has finished, so the file manager is not kept waiting.
    const QList<QUrl> urls = event->mimeData()->urls();
    QTimer::singleShot(0, this, [this, urls] { OpenDroppedFiles(urls); });
}

void CMainFrame::OpenDroppedFiles(const QList<QUrl>& urls) {
    for (const QUrl& url : urls)
        if (url.isLocalFile()) CKurvexApp::Instance()->OpenFile(url.toLocalFile());
}

}  // namespace kurvex
