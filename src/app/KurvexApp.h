#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "app/SettingsStore.h"

namespace kurvex {

class CGraphDocument;
class CMainFrame;
class CommandRouter;
class COhmixGraphView;
class RequestServer;

// The one application object: options, documents, the main frame, the help
// and the requests of the simulator's schematic editor.
class CKurvexApp : public QObject {
    Q_OBJECT
public:
    CKurvexApp();
    ~CKurvexApp() override;
    // The application object, or null before it exists.
    static CKurvexApp* Instance();

    // Reads the options, makes the main frame, opens `files` (one window
    // each) and shows the frame unless `show` is false; false ends the program.
    // With `asRuns` the files open as runs of one view.
    bool InitInstance(const QStringList& files, bool show = true, bool asRuns = false);
    // Writes the recent files and the text-label defaults; the exit status.
    int ExitInstance();

    CMainFrame* Frame() const { return frame_; }
    SettingsStore& Store() { return *store_; }
    // Registers the commands the application answers.
    void RegisterCommands(CommandRouter& router);

    // The open documents, oldest first.
    const std::vector<CGraphDocument*>& Documents() const { return documents_; }
    // The open document whose primary file is `path` (resolved to its
    // canonical absolute form and compared exactly), or null.
    CGraphDocument* FindDocument(const QString& path) const;
    // Opens `path` in a new window, or activates the window of the document
    // that already shows it; null when it could not be read.
    CGraphDocument* OpenFile(const QString& path);
    // Opens `paths` as runs of one view, the first the primary one.
    CGraphDocument* OpenRuns(const QStringList& paths);
    // A further window on `document`.
    COhmixGraphView* NewWindow(CGraphDocument* document);

    // Answers the requests `server` receives (it must outlive this object).
    void ServeRequests(RequestServer& server);
    // Whether an open or reload request can be taken: the first name it asks for in *name,
    // else false with the reason in *refusal.
    bool AcceptRequest(const QString& text, QString* name, QString* refusal) const;
    // Reloads the open document of `name` or opens it; false (with the reason in *refusal
    // and on the status bar) when that failed.
    bool CarryOutRequest(const QString& name, QString* refusal = nullptr);
    // The files whose requests wait for a dialog or long work to end, each once, oldest first.
    const QStringList& QueuedRequests() const { return queuedRequests_; }
    // Accepts and carries out one request at once; false when it was refused or failed.
    bool HandleRequest(const QString& text, QString* refusal = nullptr);

    // The help file "&Index..." and F1 open; empty when there is none.
    const QString& HelpPath() const { return helpPath_; }
    // Opens the help file.
    void OpenHelp();

    // The recent files, newest first.
    const QStringList& RecentFiles() const { return recentFiles_; }
    // Saves the frame's tool-bar layout (when the frame closes).
    void SaveFrameState();

private:
    // Loads `paths` (runs after the first) into a new document with its window.
    CGraphDocument* OpenDocument(const QStringList& paths);
    void AddRecentFile(const QString& path);
    void RemoveDocument(CGraphDocument* document);
    void RetitleWindows(CGraphDocument* document);
    // Carries what a new view reports to the frame and the tool windows.
    void ConnectView(COhmixGraphView* view);
    void InstallHooks();
    void RunQueuedRequests();
    // True while requests must wait: long work under way or a dialog open.
    static bool MustWait();

    std::unique_ptr<SettingsStore> store_;
    CMainFrame* frame_ = nullptr;
    std::vector<CGraphDocument*> documents_;
    QStringList recentFiles_;
    QString helpPath_;
    QStringList queuedRequests_;
};

}  // namespace kurvex
