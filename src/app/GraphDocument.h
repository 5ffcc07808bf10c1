#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "app/DocumentView.h"
#include "data/document/Document.h"
#include "dialogs/ShellMessages.h"

class QWidget;

namespace kurvex {

class COhmixGraphView;
class DocumentWatch;

// One opened result in the window: the core document, the messages it shows
// and the graph views that show it.
class CGraphDocument : public QObject {
    Q_OBJECT
public:
    explicit CGraphDocument(QObject* parent = nullptr);
    ~CGraphDocument() override;

    COhmixGraphDoc& Core() { return core_; }
    const COhmixGraphDoc& Core() const { return core_; }
    ShellMessages& Messages() { return messages_; }

    // Loads `path` on a worker behind a progress dialog; the reader's messages
    // are shown afterwards. False (and nothing kept) on failure or Cancel.
    bool Load(const QString& path, QWidget* dialogParent);
    // The same for several files opened as runs of one view, the first primary.
    bool Load(const QStringList& paths, QWidget* dialogParent);
    // The primary file as an absolute path with links resolved.
    const QString& Path() const { return path_; }
    // The file name the windows are captioned with.
    QString Title() const;
    // True when the data set holds variables.
    bool HasData() const;

    // How a reload went.
    enum class ReloadOutcome {
        Skipped,    // a property dialog is open
        Cancelled,  // the user cancelled the reading: nothing changed
        Closed,     // the primary file could not be read: the document closed
        Reloaded,   // the views show the new data (views that lost their X closed)
    };
    // Reads the files again and re-binds every view; rescaling is the caller's.
    ReloadOutcome Reload(QWidget* dialogParent);
    // Merges `path` into the data set and shows it in every view; false when
    // nothing changed.
    bool Merge(const QString& path, QWidget* dialogParent);
    // Adds each of `paths` as further runs and shows them in every view;
    // false when none was added.
    bool AddRuns(const QStringList& paths, QWidget* dialogParent);

    // Starts following the document's files (after it opened); with Auto
    // Reload on, a change read again is shown in place as a reload is.
    void StartWatching();
    // The watch of the files, or null before it started.
    DocumentWatch* Watch() const { return watch_; }
    // Auto Reload switched on or off.
    void SetAutoReload(bool on);
    // True while a watched reload reads the files.
    bool WatchedReadRunning() const { return reading_ != nullptr; }
    // A line for the status bar about the file just opened (the other plots of
    // a raw file), empty when there is nothing to say.
    const QString& OpenNote() const { return openNote_; }

    // Runs `work` (a save of what the views show) on a worker behind a
    // progress dialog without Cancel; its messages are shown afterwards.
    bool RunSave(QWidget* parent, const QString& label, const std::function<bool()>& work);

    // Shows `data`, the part of the file at `path` read so far, in every view,
    // fitted whole. Such a document stands in for one still loading: it reads
    // no file and asks nothing of the user.
    void ShowPartial(const QString& path, const CResultDataRef& data);
    bool Partial() const { return partial_; }

    // The number of the next point table of this document: 1, 2, ...
    int NextTableNumber() { return ++tables_; }

    // The views showing this document, in the order they were made.
    const std::vector<COhmixGraphView*>& Views() const { return views_; }
    // A view comes and goes; a template so that only the view's side, which
    // knows both its classes, makes the DocumentView of it.
    template <class View>
    void AddView(View* view) {
        views_.push_back(view);
        shown_.push_back(view);
    }
    void RemoveView(COhmixGraphView* view);
    // Closes every view (and with the last one the document).
    void CloseAllViews();

signals:
    // While Load converts a large file into the column cache: the part
    // converted so far, now and then.
    void partialData(const kurvex::CResultDataRef& data);
    // A line for the status bar; `keep`: until another replaces it.
    void statusMessage(const QString& text, bool keep);
    // The last view went away: the document is to be deleted.
    void lastViewClosed(CGraphDocument* document);
    // A view went away and others remain.
    void viewClosed(CGraphDocument* document);

private:
    struct WatchedRead;
    // Shows `fresh` in every view; views that lost their X variable close.
    // True when invalid points were met.
    bool HandOver(const CResultDataRef& fresh, std::vector<DocumentView*>* closing);
    // Reads the files on a worker of its own while the windows go on.
    void StartWatchedRead();
    // Takes the finished read over, or says why not.
    void FinishWatchedRead();
    // True while a watched reload must not change the document.
    bool MustWait() const;
    // Why the views cannot show `fresh`; empty when they can.
    QString RefusalOf(const CResultDataRef& fresh) const;
    // Runs `work` on the core document on a worker behind a progress dialog.
    bool RunOnWorker(QWidget* parent, const QString& label,
                     const std::function<bool(LoadOptions&)>& work, bool* cancelled);

    ShellMessages messages_;
    COhmixGraphDoc core_;
    QString path_;
    std::vector<COhmixGraphView*> views_;
    std::vector<DocumentView*> shown_;  // views_ as the document talks to them
    int tables_ = 0;
    bool partial_ = false;
    DocumentWatch* watch_ = nullptr;
    std::unique_ptr<WatchedRead> reading_;
    int generation_ = 0;  // raised by every reload, so a stale watched read is dropped
    QString openNote_;
};

}  // namespace kurvex
