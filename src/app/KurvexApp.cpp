#include "app/KurvexApp.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QSet>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "analysis/MeasureTables.h"
#include "analysis/FftSizeTable.h"
#include "app/ChildFrame.h"
#include "app/CommandRouter.h"
#include "app/GraphDocument.h"
#include "app/GraphView.h"
#include "app/MainFrame.h"
#include "app/NumericLocale.h"
#include "app/RequestChannel.h"
#include "app/ViewPrinting.h"
#include "app/WorkerTask.h"
#include "app/tools/MeasureWindow.h"
#include "app/tools/RunsWindow.h"
#include "data/formats/RequestText.h"
#include "dialogs/AboutDlg.h"
#include "dialogs/SettingsDlg.h"
#include "dialogs/ShellMessages.h"
#include "graph/Reload.h"
#include "graph/StoredOptions.h"
#include "interaction/CommandTable.h"
#include "interaction/MouseMode.h"
#include "table/BGridChildFrame.h"

#ifndef KURVEX_SOURCE_DIR
#define KURVEX_SOURCE_DIR ""
#endif

namespace kurvex {

namespace {

CKurvexApp* g_app = nullptr;

// The names of a request: one file, or with the runs flag every file of its pattern.
QStringList RequestNames(const QString& text, bool* runs) {
    std::string bytes = text.toStdString();
    *runs = TakeRunsFlag(bytes);
    QStringList names;
    for (const std::string& n : ExpandFileNamePattern(bytes)) names << QString::fromStdString(n);
    if (!*runs && names.size() > 1) names = QStringList{names.front()};
    return names;
}

// The open document built from exactly these files, in this order.
CGraphDocument* FindRunsDocument(const std::vector<CGraphDocument*>& documents,
                                 const QStringList& paths) {
    for (CGraphDocument* d : documents) {
        const std::vector<std::string>& files = d->Core().Files();
        if (d->Views().empty() || files.size() != static_cast<std::size_t>(paths.size())) continue;
        bool same = true;
        for (qsizetype i = 0; same && i < paths.size(); ++i)
            same =
                CanonicalDocumentPath(QString::fromStdString(files[static_cast<std::size_t>(i)])) ==
                CanonicalDocumentPath(paths[i]);
        if (same) return d;
    }
    return nullptr;
}

// The wait cursor of a request, put aside while a dialog or message box that the request opened
// waits for the user.
class RequestCursor : public QObject {
public:
    RequestCursor() {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        qApp->installEventFilter(this);
    }
    ~RequestCursor() override {
        qApp->removeEventFilter(this);
        QApplication::restoreOverrideCursor();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        const bool shown = event->type() == QEvent::Show;
        if (!shown && event->type() != QEvent::Hide) return false;
        auto* dialog = qobject_cast<QDialog*>(watched);
        if (!dialog || !dialog->isWindow()) return false;
        if (shown && !dialogs_.contains(dialog)) {
            dialogs_.insert(dialog);
            connect(dialog, &QObject::destroyed, this, [this, dialog] { Forget(dialog); });
            if (dialogs_.size() == 1) QApplication::changeOverrideCursor(Qt::ArrowCursor);
        } else if (!shown) {
            Forget(dialog);
        }
        return false;
    }

private:
    void Forget(QObject* dialog) {
        if (dialogs_.remove(dialog) && dialogs_.isEmpty())
            QApplication::changeOverrideCursor(Qt::WaitCursor);
    }

    QSet<QObject*> dialogs_;
};

// Where the manual may be: installed beside the program, or in the source
// tree of a build that has not been installed.
std::vector<std::string> InstalledManuals() {
    const QString bin = QCoreApplication::applicationDirPath();
    std::vector<std::string> paths = {
        QDir(bin)
            .absoluteFilePath(QStringLiteral("../share/doc/kurvex/manual/index.html"))
            .toStdString()};
    if (*KURVEX_SOURCE_DIR)
        paths.push_back(std::string(KURVEX_SOURCE_DIR) + "/doc/manual/index.html");
    return paths;
}

}  // namespace

CKurvexApp::CKurvexApp() : store_(std::make_unique<SettingsStore>()) {
    g_app = this;
}

CKurvexApp::~CKurvexApp() {
    SetMouseModeHook({});
    CMsuFrame::SetClosedHook({});
    if (CMsuFrame* m = CMsuFrame::Instance()) m->close();
    if (CRunsWindow* r = CRunsWindow::Instance()) r->close();
    delete frame_;
    frame_ = nullptr;
    for (CGraphDocument* d : documents_) delete d;
    documents_.clear();
    if (g_app == this) g_app = nullptr;
}

CKurvexApp* CKurvexApp::Instance() {
    return g_app;
}

bool CKurvexApp::InitInstance(const QStringList& files, bool show, bool asRuns) {
    // QApplication took the user's locale; numbers are written and read in C's.
    PinNumericLocale();
    LoadStoredOptions(*store_, Options(), ProgramTemplates().Text());
    for (const std::string& f : LoadRecentFiles(*store_, kRecentFileCount))
        recentFiles_ << QString::fromStdString(f);
    helpPath_ = QString::fromStdString(ChooseHelpPath(
        ConfiguredHelpPath(), InstalledManuals(),
        [](const std::string& p) { return QFileInfo(QString::fromStdString(p)).isFile(); }));
    FftSizeTable::Instance();

    frame_ = new CMainFrame();
    frame_->setWindowIcon(QIcon(QStringLiteral(":/icons/kurvex.svg")));
    frame_->SetRecentFiles(recentFiles_);
    InstallHooks();
    // Shown first, so that a file that takes long to open is seen while it does.
    if (show) frame_->showMaximized();
    frame_->RestoreBarState(store_->Settings());
    if (asRuns && !files.isEmpty()) {
        if (!OpenRuns(files)) std::fprintf(stderr, "kurvex: the runs were not opened\n");
    } else {
        for (const QString& f : files) {
            if (!OpenFile(f))
                std::fprintf(stderr, "kurvex: %s was not opened\n", f.toLocal8Bit().constData());
        }
    }
    return true;
}

int CKurvexApp::ExitInstance() {
    std::vector<std::string> recent;
    for (const QString& f : recentFiles_) recent.push_back(f.toStdString());
    SaveRecentFiles(*store_, recent, kRecentFileCount);
    SaveTextDefaults(*store_, ProgramTemplates().Text());
    store_->Settings().sync();
    return 0;
}

void CKurvexApp::InstallHooks() {
    SetMouseModeHook([this](std::int32_t oldMode, std::int32_t newMode) {
        if (oldMode == kModeMeasure && newMode != kModeMeasure) {
            // Cursors follow the mode: none stays on any window once measuring ends.
            for (CGraphDocument* d : documents_)
                for (COhmixGraphView* v : d->Views()) v->ShowMeasureCursors(false);
        }
        if (frame_) QTimer::singleShot(0, frame_, &CMainFrame::RefreshCommands);
        return true;
    });
    CMsuFrame::SetClosedHook([this] {
        if (!frame_) return;
        // Closing left measure mode, which hid the cursors; they come back only while measuring.
        if (MouseMode() != kModeMeasure) return;
        if (COhmixGraphView* v = frame_->ActiveView()) {
            const auto& views = v->Document()->Views();
            if (!views.empty()) views.front()->ShowMeasureCursors(true);
        }
    });
}

void CKurvexApp::RegisterCommands(CommandRouter& router) {
    router.Add(kCmdSettings, [this] {
        CSettingsDlg dialog(Options(), store_->Settings(), frame_);
        dialog.exec();
    });
    router.Add(kCmdPrintSetup, [this] { PrintSetup(frame_); });
    router.Add(kCmdAutoReload, [this] {
        Options().autoReload = Options().autoReload ? 0 : 1;
        SaveAutoReload(*store_, Options());
        for (CGraphDocument* d : documents_) d->SetAutoReload(Options().autoReload != 0);
    });
    router.Add(kCmdAbout, [this] {
        CAboutDlg dialog(frame_);
        dialog.exec();
    });
}

CGraphDocument* CKurvexApp::FindDocument(const QString& path) const {
    const QString wanted = CanonicalDocumentPath(path);
    for (CGraphDocument* d : documents_)
        if (d->Path() == wanted && !d->Views().empty()) return d;
    return nullptr;
}

CGraphDocument* CKurvexApp::OpenFile(const QString& path) {
    if (!frame_ || path.isEmpty()) return nullptr;
    if (CGraphDocument* open = FindDocument(path)) {
        if (QMdiSubWindow* w = open->Views().front()->Window())
            frame_->MdiArea()->setActiveSubWindow(w);
        return open;
    }
    if (!QFileInfo(path).isFile()) {
        frame_->ShowStatus(QStringLiteral("Cannot find the file %1.").arg(path));
        return nullptr;
    }
    return OpenDocument(QStringList{path});
}

CGraphDocument* CKurvexApp::OpenRuns(const QStringList& paths) {
    if (!frame_ || paths.isEmpty()) return nullptr;
    if (paths.size() == 1) return OpenFile(paths.front());
    for (const QString& p : paths) {
        if (!QFileInfo(p).isFile()) {
            frame_->ShowStatus(QStringLiteral("Cannot find the file %1.").arg(p));
            return nullptr;
        }
    }
    return OpenDocument(paths);
}

CGraphDocument* CKurvexApp::OpenDocument(const QStringList& paths) {
    auto* document = new CGraphDocument(this);
    // A file converted into the column cache shows what is converted while the rest is.
    QPointer<CGraphDocument> partial;
    const auto partialShown = connect(
        document, &CGraphDocument::partialData, this,
        [this, document, &partial](const CResultDataRef& data) {
            if (partial) {
                partial->ShowPartial(document->Path(), data);
                return;
            }
            partial = new CGraphDocument(this);
            partial->ShowPartial(document->Path(), data);
            connect(partial, &CGraphDocument::lastViewClosed, partial, &QObject::deleteLater,
                    Qt::QueuedConnection);
            if (QMdiSubWindow* w = NewWindow(partial)->Window())
                w->setWindowTitle(QStringLiteral("%1 (converting ...)").arg(partial->Title()));
        });
    const bool loaded = document->Load(paths, frame_);
    disconnect(partialShown);
    if (partial) partial->CloseAllViews();
    if (!loaded) {
        delete document;
        frame_->ShowStatus(QStringLiteral("The file %1 was not opened.").arg(paths.front()));
        return nullptr;
    }
    documents_.push_back(document);
    connect(document, &CGraphDocument::lastViewClosed, this, &CKurvexApp::RemoveDocument,
            Qt::QueuedConnection);
    connect(document, &CGraphDocument::viewClosed, this, &CKurvexApp::RetitleWindows,
            Qt::QueuedConnection);
    connect(document, &CGraphDocument::statusMessage, this, [this](const QString& text, bool keep) {
        if (frame_) frame_->ShowStatus(text, keep ? 0 : kStatusTimeout);
    });
    NewWindow(document);
    AddRecentFile(document->Path());
    // An empty note clears the one an earlier file left.
    frame_->ShowStatus(document->OpenNote(), 0);
    document->StartWatching();
    return document;
}

COhmixGraphView* CKurvexApp::NewWindow(CGraphDocument* document) {
    auto* view = new COhmixGraphView(document);
    ConnectView(view);
    frame_->AddViewWindow(view);
    RetitleWindows(document);
    view->FirstSetup();
    return view;
}

void CKurvexApp::ConnectView(COhmixGraphView* view) {
    view->SetOptionStore(store_.get());
    connect(view, &COhmixGraphView::cursorsMoved, this,
            [view](const std::vector<CGraphCurve*>& screens, double x1, double x2, int which) {
                CMsuFrame* m = CMsuFrame::Instance();
                if (!m) return;
                m->Follow(view);
                m->CursorUpdate(screens, x1, x2, which);
            });
    connect(view, &COhmixGraphView::measureWindowWanted, this, [this] {
        if (!CMsuFrame::Instance() && frame_) CMsuFrame::Open(frame_);
    });
    connect(view, &COhmixGraphView::averageMeasured, this, [](const MeasureResult& result) {
        CMsuFrame* m = CMsuFrame::Instance();
        if (!m) return;
        m->ShowResult(result.caption, result.label, result.value ? *result.value : std::nan(""),
                      result.colour);
        m->repaint();
    });
    connect(view, &COhmixGraphView::measureLineStyleChanged, this, [this, view] {
        for (CGraphDocument* d : documents_)
            for (COhmixGraphView* v : d->Views()) v->ApplyMeasureLineStyle(v == view);
    });
    connect(view, &COhmixGraphView::screenRemoved, this, [](const CGraphCurve* record) {
        CMsuFrame* m = CMsuFrame::Instance();
        if (!m) return;
        // The measure window must not keep listing a screen that is gone.
        const auto& listed = m->State().screens;
        if (std::find(listed.begin(), listed.end(), record) != listed.end()) m->ClearValues();
    });
    connect(view, &COhmixGraphView::screenMenuWanted, this, [this](QPoint global) {
        if (frame_) frame_->ShowScreenMenu(global);
    });
    connect(view, &COhmixGraphView::tableWindowMade, this, [this](CBGridChildFrame* table) {
        if (frame_) frame_->AddTableWindow(table);
    });
}

void CKurvexApp::RetitleWindows(CGraphDocument* document) {
    if (std::find(documents_.begin(), documents_.end(), document) == documents_.end()) return;
    const auto& views = document->Views();
    for (size_t i = 0; i < views.size(); ++i) {
        QMdiSubWindow* w = views[i]->Window();
        if (!w) continue;
        QString title = document->Title();
        if (views.size() > 1) title += QStringLiteral(":%1").arg(i + 1);
        w->setWindowTitle(title);
    }
    frame_->UpdateMenus();
}

void CKurvexApp::RemoveDocument(CGraphDocument* document) {
    if (!document->Views().empty()) return;
    const auto it = std::find(documents_.begin(), documents_.end(), document);
    if (it == documents_.end()) return;
    documents_.erase(it);
    document->deleteLater();
}

void CKurvexApp::AddRecentFile(const QString& path) {
    std::vector<std::string> files;
    for (const QString& f : recentFiles_) files.push_back(f.toStdString());
    files = WithRecentFile(files, path.toStdString(), kRecentFileCount);
    recentFiles_.clear();
    for (const std::string& f : files) recentFiles_ << QString::fromStdString(f);
    if (frame_) frame_->SetRecentFiles(recentFiles_);
}

void CKurvexApp::ServeRequests(RequestServer& server) {
    connect(&server, &RequestServer::request, this, [this](const QString& text, bool* accepted) {
        // The sender hears at once whether the request is taken; the work (which may open a
        // dialog) runs on the next turn of the event loop.
        QString refusal, name;
        *accepted = AcceptRequest(text, &name, &refusal);
        if (*accepted) {
            QTimer::singleShot(0, this, [this, name] { CarryOutRequest(name); });
        } else if (frame_) {
            frame_->ShowStatus(QStringLiteral("Request refused: %1").arg(refusal));
        }
    });
    connect(&server, &RequestServer::refused, this, [this](const QString& reason) {
        if (frame_) frame_->ShowStatus(QStringLiteral("Request refused: %1").arg(reason));
    });
}

bool CKurvexApp::AcceptRequest(const QString& text, QString* name, QString* refusal) const {
    const auto refuse = [refusal](const QString& why) {
        if (refusal) *refusal = why;
        return false;
    };
    if (const std::string why = RequestRefusal(text.toStdString()); !why.empty())
        return refuse(QString::fromStdString(why));
    bool runs = false;
    const QStringList names = RequestNames(text, &runs);
    if (names.empty()) return refuse(QStringLiteral("the request names no file"));
    for (const QString& n : names)
        if (!(runs ? FindRunsDocument(documents_, names) : FindDocument(n)) &&
            !QFileInfo(n).isFile())
            return refuse(QStringLiteral("there is no file %1").arg(n));
    // A runs request travels whole: its names are opened together.
    *name = runs ? text : names.front();
    if (!frame_) return refuse(QStringLiteral("the viewer is not ready"));
    return true;
}

bool CKurvexApp::CarryOutRequest(const QString& name, QString* refusal) {
    if (MustWait()) {
        // Long work or a dialog is under way (a reload could close the window the dialog
        // belongs to); the request runs as soon as it has ended.
        std::vector<std::string> waiting;
        for (const QString& n : queuedRequests_) waiting.push_back(n.toStdString());
        bool runs = false;
        RequestNames(name, &runs);
        QueueRequest(waiting,
                     runs ? name.toStdString() : CanonicalDocumentPath(name).toStdString());
        if (queuedRequests_.isEmpty()) QTimer::singleShot(50, this, &CKurvexApp::RunQueuedRequests);
        queuedRequests_.clear();
        for (const std::string& n : waiting) queuedRequests_ << QString::fromStdString(n);
        return true;
    }
    bool runs = false;
    const QStringList names = RequestNames(name, &runs);
    if (names.isEmpty()) return false;
    CGraphDocument* open = runs ? FindRunsDocument(documents_, names) : FindDocument(name);
    if (frame_->isMinimized())
        frame_->showNormal();
    else
        frame_->show();
    frame_->raise();
    frame_->activateWindow();
    frame_->update();
    const RequestCursor cursor;
    bool done = false;
    QString why;
    if (open) {
        COhmixGraphView* first = open->Views().front();
        if (QMdiSubWindow* w = first->Window()) {
            if (w->isMinimized()) w->showNormal();
            frame_->MdiArea()->setActiveSubWindow(w);
        }
        const CGraphDocument::ReloadOutcome outcome = open->Reload(frame_);
        done = outcome == CGraphDocument::ReloadOutcome::Reloaded;
        if (done) {
            for (COhmixGraphView* v : open->Views())
                v->RescaleAfterRequest(Options().redrawXOnReload != 0);
        } else {
            why = outcome == CGraphDocument::ReloadOutcome::Skipped
                      ? QStringLiteral("a Properties dialog of %1 is open").arg(name)
                      : QStringLiteral("%1 could not be read again").arg(name);
        }
    } else {
        done = (runs ? OpenRuns(names) : OpenFile(name)) != nullptr;
        if (!done) why = QStringLiteral("%1 could not be opened").arg(names.join(", "));
    }
    if (!done) {
        if (refusal) *refusal = why;
        if (frame_) frame_->ShowStatus(QStringLiteral("Request not carried out: %1").arg(why));
    }
    return done;
}

bool CKurvexApp::HandleRequest(const QString& text, QString* refusal) {
    QString name;
    return AcceptRequest(text, &name, refusal) && CarryOutRequest(name, refusal);
}

bool CKurvexApp::MustWait() {
    return BusyScope::Busy() || QApplication::activeModalWidget() != nullptr;
}

void CKurvexApp::RunQueuedRequests() {
    if (MustWait()) {
        QTimer::singleShot(50, this, &CKurvexApp::RunQueuedRequests);
        return;
    }
    const QStringList names = queuedRequests_;
    queuedRequests_.clear();
    for (const QString& name : names) CarryOutRequest(name);
}

void CKurvexApp::OpenHelp() {
    if (helpPath_.isEmpty()) {
        ShellMessages::Present("The user manual could not be found.", MessageIcon::Exclamation);
        return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(helpPath_));
}

void CKurvexApp::SaveFrameState() {
    if (frame_) frame_->SaveBarState(store_->Settings());
}

}  // namespace kurvex
