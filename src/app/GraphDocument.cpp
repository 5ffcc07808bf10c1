#include "app/GraphDocument.h"

#include <unistd.h>

#include <QApplication>
#include <QFileInfo>
#include <QMdiSubWindow>
#include <QTimer>
#include <algorithm>
#include <mutex>

#include "app/DocumentWatch.h"
#include "app/FormulaBuildRun.h"
#include "app/WorkerTask.h"
#include "graph/AppOptions.h"
#include "graph/GraphCurve.h"

namespace kurvex {

namespace {

// Keeps what the readers say during a watched reload: its first message is
// the reason a failed read gives in the status bar, never a message box.
class KeptMessages : public UserMessages {
public:
    void Show(const std::string& text, MessageIcon) override {
        std::lock_guard<std::mutex> hold(lock_);
        if (first_.empty()) first_ = text;
    }
    std::string First() {
        std::lock_guard<std::mutex> hold(lock_);
        return first_;
    }

private:
    std::mutex lock_;
    std::string first_;
};

// A previous run larger than this is not kept: a quarter of the machine's memory.
std::uint64_t PreviousRunLimit() {
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long size = ::sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || size <= 0) return UINT64_MAX;
    return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(size) / 4;
}

}  // namespace

// One watched reload: the files read on a thread of its own into a new data
// set, handed to the interface thread in one step when done.
struct CGraphDocument::WatchedRead {
    std::thread thread;
    std::atomic<bool> cancel{false};
    std::atomic<bool> done{false};
    KeptMessages messages;
    CResultDataRef fresh;
    std::vector<FileStamp> stamps;  // of the files before they were read
    bool ok = false;
    int generation = 0;
};

CGraphDocument::CGraphDocument(QObject* parent) : QObject(parent), core_(messages_) {
    core_.SetPreviousLimit(PreviousRunLimit());
}

CGraphDocument::~CGraphDocument() {
    if (reading_) {
        reading_->cancel.store(true);
        reading_->thread.join();
    }
}

QString CGraphDocument::Title() const {
    return QFileInfo(path_).fileName();
}

bool CGraphDocument::HasData() const {
    const CResultData* d = core_.Data().Get();
    return d && d->VariableCount() > 0;
}

bool CGraphDocument::RunOnWorker(QWidget* parent, const QString& label,
                                 const std::function<bool(LoadOptions&)>& work, bool* cancelled) {
    // The worker alone touches the core document until it is done; what the
    // readers say waits for the interface thread.
    messages_.SetDeferred(true);
    const bool unwrap = Options().unwrapPhase != 0;
    const std::int32_t cacheAbove = Options().cacheAboveMB, cacheLimit = Options().cacheLimitMB;
    const bool ok = RunWithProgress(
        parent, label,
        [&](WorkProgress& progress) {
            LoadOptions options;
            options.unwrapPhase = unwrap;
            options.cacheAboveBytes = std::uint64_t(std::max(cacheAbove, 0)) << 20;
            options.cacheLimitBytes = std::uint64_t(std::max(cacheLimit, 0)) << 20;
            options.text.progress = [&progress](std::int64_t done, std::int64_t total) {
                progress.done.store(done);
                progress.total.store(total);
                return !progress.cancel.load();
            };
            options.status = [&progress](const std::string& line) { progress.SetNote(line); };
            return work(options);
        },
        cancelled);
    messages_.SetDeferred(false);
    if (cancelled && *cancelled)
        messages_.Discard();  // a read the user stopped has nothing to report
    else
        messages_.Flush();
    return ok;
}

bool CGraphDocument::RunSave(QWidget* parent, const QString& label,
                             const std::function<bool()>& work) {
    messages_.SetDeferred(true);
    const bool ok = RunWithProgress(
        parent, label, [&](WorkProgress&) { return work(); }, nullptr, false);
    messages_.SetDeferred(false);
    messages_.Flush();
    return ok;
}

bool CGraphDocument::Load(const QString& path, QWidget* dialogParent) {
    return Load(QStringList{path}, dialogParent);
}

bool CGraphDocument::Load(const QStringList& paths, QWidget* dialogParent) {
    if (paths.isEmpty()) return false;
    const QFileInfo info(paths.front());
    path_ = info.exists() ? info.canonicalFilePath() : info.absoluteFilePath();
    std::vector<std::string> files = {path_.toStdString()};
    for (qsizetype i = 1; i < paths.size(); ++i)
        files.push_back(QFileInfo(paths[i]).absoluteFilePath().toStdString());
    bool cancelled = false;
    std::vector<RawPlot> plots;
    std::vector<std::string> notes;
    const bool ok = RunOnWorker(
        dialogParent, QStringLiteral("Reading %1 ...").arg(info.fileName()),
        [&](LoadOptions& options) {
            options.plots = &plots;
            options.notes = &notes;
            options.preview = [this](const CResultDataRef& partial) {
                QMetaObject::invokeMethod(
                    this, [this, partial] { emit partialData(partial); }, Qt::QueuedConnection);
            };
            if (!core_.OpenRuns(files, options)) return false;
            // Whether X may be bisected is worked out here once, not on the
            // interface thread at the first draw.
            if (const CResultData* d = core_.Data().Get(); d && d->VariableCount() > 0)
                core_.Data().IsSorted(0);
            return true;
        },
        &cancelled);
    std::string note = OtherPlotsNote(plots, 0);
    for (const std::string& line : notes) note += (note.empty() ? "" : " ") + line;
    openNote_ = QString::fromStdString(note);
    return ok && !cancelled;
}

void CGraphDocument::ShowPartial(const QString& path, const CResultDataRef& data) {
    partial_ = true;
    path_ = path;
    core_.Adopt(data);
    for (DocumentView* v : shown_) {
        v->Rebind(data, nullptr);
        v->RescaleAfterRequest(true);
    }
}

CGraphDocument::ReloadOutcome CGraphDocument::Reload(QWidget* dialogParent) {
    if (core_.propertyDialogOpen) return ReloadOutcome::Skipped;
    CResultDataRef fresh;
    COhmixGraphDoc::ReloadResult result = COhmixGraphDoc::ReloadResult::Failed;
    bool cancelled = false;
    RunOnWorker(
        dialogParent, QStringLiteral("Reading %1 again ...").arg(Title()),
        [&](LoadOptions& options) {
            result = core_.Reload(fresh, options);
            return result == COhmixGraphDoc::ReloadResult::Loaded;
        },
        &cancelled);
    if (result == COhmixGraphDoc::ReloadResult::Skipped) return ReloadOutcome::Skipped;
    if (cancelled && result != COhmixGraphDoc::ReloadResult::Loaded)
        return ReloadOutcome::Cancelled;
    if (result != COhmixGraphDoc::ReloadResult::Loaded) {
        CloseAllViews();
        return ReloadOutcome::Closed;
    }
    ++generation_;  // a watched read still running is overtaken
    std::vector<DocumentView*> closing;
    const std::size_t shown = shown_.size();
    const bool invalid = HandOver(fresh, &closing);
    for (DocumentView* v : closing) v->CloseWindow();
    if (watch_) watch_->Loaded(core_.Stamps());
    if (invalid && closing.size() < shown) ShowInvalidPointsWarning(messages_);
    return ReloadOutcome::Reloaded;
}

bool CGraphDocument::HandOver(const CResultDataRef& fresh, std::vector<DocumentView*>* closing) {
    bool invalid = false;
    const std::vector<DocumentView*> views = shown_;
    for (DocumentView* v : views) v->ForgetCurveSelection();
    for (DocumentView* v : views) {
        bool viewInvalid = false;
        FormulaBuildScope building(v->DialogParent());
        if (!v->Rebind(fresh, &viewInvalid) && closing) closing->push_back(v);
        invalid = invalid || viewInvalid;
    }
    if (core_.PreviousDropped())
        emit statusMessage(
            QStringLiteral("The previous run was not kept: it would take more than a quarter "
                           "of the memory."),
            false);
    return invalid;
}

bool CGraphDocument::MustWait() const {
    // The data changes only while nothing else works on the windows: no
    // Properties or other dialog open, no long work under way.
    return core_.propertyDialogOpen || BusyScope::Busy() ||
           QApplication::activeModalWidget() != nullptr;
}

void CGraphDocument::StartWatching() {
    if (watch_) return;
    watch_ = new DocumentWatch(
        Title(), [this] { return MustWait(); }, this);
    connect(watch_, &DocumentWatch::reloadWanted, this, &CGraphDocument::StartWatchedRead);
    connect(watch_, &DocumentWatch::status, this, &CGraphDocument::statusMessage);
    watch_->Follow(core_.Files(), core_.Stamps());
    watch_->SetEnabled(Options().autoReload != 0);
}

void CGraphDocument::SetAutoReload(bool on) {
    if (watch_) watch_->SetEnabled(on);
}

void CGraphDocument::StartWatchedRead() {
    if (reading_) return;
    auto read = std::make_unique<WatchedRead>();
    read->generation = generation_;
    WatchedRead* r = read.get();
    const std::vector<std::string> files = core_.Files();
    const std::vector<bool> runFiles = core_.RunFiles();
    read->stamps = StampsOf(files);
    const bool unwrap = Options().unwrapPhase != 0;
    const std::int32_t cacheAbove = Options().cacheAboveMB, cacheLimit = Options().cacheLimitMB;
    read->thread = std::thread([this, r, files, runFiles, unwrap, cacheAbove, cacheLimit] {
        LoadOptions options;
        options.showWarnings = false;
        options.unwrapPhase = unwrap;
        options.cacheAboveBytes = std::uint64_t(std::max(cacheAbove, 0)) << 20;
        options.cacheLimitBytes = std::uint64_t(std::max(cacheLimit, 0)) << 20;
        options.text.progress = [r](std::int64_t, std::int64_t) { return !r->cancel.load(); };
        CResultDataRef fresh;
        r->ok = COhmixGraphDoc::ReadFiles(files, fresh, r->messages, options, runFiles);
        // Worked out here, not at the first draw on the interface thread.
        if (r->ok && fresh->VariableCount() > 0) fresh.IsSorted(0);
        r->fresh = fresh;
        r->done.store(true);
        QMetaObject::invokeMethod(
            this, [this] { FinishWatchedRead(); }, Qt::QueuedConnection);
    });
    reading_ = std::move(read);
}

QString CGraphDocument::RefusalOf(const CResultDataRef& fresh) const {
    if (!fresh.Get() || fresh->VariableCount() == 0) return QStringLiteral("it holds no data");
    for (const DocumentView* v : shown_) {
        const std::vector<const CGraphCurve*> screens = v->ConstRecords();
        if (screens.empty()) continue;
        const std::string x = screens.back()->XVariableName();
        if (!x.empty() && fresh.FindVariable(x.c_str()) < 0)
            return QStringLiteral("it no longer holds the variable %1")
                .arg(QString::fromStdString(x));
    }
    return {};
}

void CGraphDocument::FinishWatchedRead() {
    if (!reading_ || !reading_->done.load()) return;
    if (MustWait()) {
        QTimer::singleShot(100, this, &CGraphDocument::FinishWatchedRead);
        return;
    }
    reading_->thread.join();
    const std::unique_ptr<WatchedRead> read = std::move(reading_);
    if (read->generation != generation_) return;  // a reload from elsewhere came first
    if (!read->ok) {
        watch_->Finished(false, QString::fromStdString(read->messages.First()));
        return;
    }
    if (const QString refusal = RefusalOf(read->fresh); !refusal.isEmpty()) {
        watch_->Finished(false, refusal);
        return;
    }
    ++generation_;
    core_.Settings().Reset();
    core_.Adopt(read->fresh, read->stamps);
    const bool invalid = HandOver(read->fresh, nullptr);
    for (DocumentView* v : shown_) v->RescaleAfterRequest(Options().redrawXOnReload != 0);
    watch_->Finished(true, {});
    if (invalid)
        emit statusMessage(
            QStringLiteral("Some points cannot be shown (an invalid point, or a value below 0 on "
                           "a log axis)."),
            false);
}

bool CGraphDocument::Merge(const QString& path, QWidget* dialogParent) {
    const std::string file = QFileInfo(path).absoluteFilePath().toStdString();
    bool cancelled = false;
    const bool ok = RunOnWorker(
        dialogParent, QStringLiteral("Reading %1 ...").arg(QFileInfo(path).fileName()),
        [&](LoadOptions& options) { return core_.MergeFile(file, options); }, &cancelled);
    if (!ok) return false;
    ++generation_;
    if (watch_) watch_->Follow(core_.Files(), core_.Stamps());
    bool invalid = false;
    for (DocumentView* v : shown_) invalid = v->TakeMergedData(core_.Data()) || invalid;
    if (!shown_.empty()) shown_.front()->OfferCurvesAfterMerge();
    if (invalid) ShowInvalidPointsWarning(messages_);
    return true;
}

bool CGraphDocument::AddRuns(const QStringList& paths, QWidget* dialogParent) {
    if (paths.isEmpty()) return false;
    bool cancelled = false, added = false;
    const bool ok = RunOnWorker(
        dialogParent, QStringLiteral("Reading %1 ...").arg(QFileInfo(paths.front()).fileName()),
        [&](LoadOptions& options) {
            for (const QString& p : paths)
                added = core_.AddRunFile(QFileInfo(p).absoluteFilePath().toStdString(), options) ||
                        added;
            return added;
        },
        &cancelled);
    if (!ok && !added) return false;
    ++generation_;
    if (watch_) watch_->Follow(core_.Files(), core_.Stamps());
    bool invalid = false;
    for (DocumentView* v : shown_) invalid = v->TakeMergedData(core_.Data()) || invalid;
    if (invalid) ShowInvalidPointsWarning(messages_);
    return true;
}

void CGraphDocument::RemoveView(COhmixGraphView* view) {
    for (std::size_t i = views_.size(); i-- > 0;) {
        if (views_[i] != view) continue;
        views_.erase(views_.begin() + static_cast<std::ptrdiff_t>(i));
        shown_.erase(shown_.begin() + static_cast<std::ptrdiff_t>(i));
    }
    if (views_.empty())
        emit lastViewClosed(this);
    else
        emit viewClosed(this);
}

void CGraphDocument::CloseAllViews() {
    const std::vector<DocumentView*> views = shown_;
    for (DocumentView* v : views) v->CloseWindow();
}

}  // namespace kurvex
