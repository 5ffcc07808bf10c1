#include "app/GraphDocument.h"

#include <QFileInfo>
#include <QMdiSubWindow>
#include <algorithm>

#include "app/GraphView.h"
#include "app/WorkerTask.h"

namespace kurvex {

CGraphDocument::CGraphDocument(QObject* parent) : QObject(parent), core_(messages_) {}

CGraphDocument::~CGraphDocument() = default;

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
    const bool ok = RunWithProgress(
        parent, label,
        [&](WorkProgress& progress) {
            LoadOptions options;
            options.text.progress = [&progress](std::int64_t done, std::int64_t total) {
                progress.done.store(done);
                progress.total.store(total);
                return !progress.cancel.load();
            };
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
    const QFileInfo info(path);
    path_ = info.exists() ? info.canonicalFilePath() : info.absoluteFilePath();
    const std::string file = path_.toStdString();
    bool cancelled = false;
    const bool ok = RunOnWorker(
        dialogParent, QStringLiteral("Reading %1 ...").arg(info.fileName()),
        [&](LoadOptions& options) {
            if (!core_.Open(file, options)) return false;
            // Whether X may be bisected is worked out here once, not on the
            // interface thread at the first draw.
            if (const CResultData* d = core_.Data().Get(); d && d->VariableCount() > 0)
                core_.Data().IsSorted(0);
            return true;
        },
        &cancelled);
    return ok && !cancelled;
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
    bool invalid = false;
    std::vector<COhmixGraphView*> closing;
    const std::vector<COhmixGraphView*> views = views_;
    for (COhmixGraphView* v : views) v->ForgetCurveSelection();
    for (COhmixGraphView* v : views) {
        bool viewInvalid = false;
        if (!v->Rebind(fresh, &viewInvalid)) closing.push_back(v);
        invalid = invalid || viewInvalid;
    }
    for (COhmixGraphView* v : closing) v->CloseWindow();
    if (invalid && closing.size() < views.size()) ShowInvalidPointsWarning(messages_);
    return ReloadOutcome::Reloaded;
}

bool CGraphDocument::Merge(const QString& path, QWidget* dialogParent) {
    const std::string file = QFileInfo(path).absoluteFilePath().toStdString();
    bool cancelled = false;
    const bool ok = RunOnWorker(
        dialogParent, QStringLiteral("Reading %1 ...").arg(QFileInfo(path).fileName()),
        [&](LoadOptions& options) { return core_.MergeFile(file, options); }, &cancelled);
    if (!ok) return false;
    bool invalid = false;
    for (COhmixGraphView* v : views_) invalid = v->TakeMergedData(core_.Data()) || invalid;
    if (!views_.empty()) views_.front()->OfferCurvesAfterMerge();
    if (invalid) ShowInvalidPointsWarning(messages_);
    return true;
}

void CGraphDocument::AddView(COhmixGraphView* view) {
    views_.push_back(view);
}

void CGraphDocument::RemoveView(COhmixGraphView* view) {
    views_.erase(std::remove(views_.begin(), views_.end(), view), views_.end());
    if (views_.empty())
        emit lastViewClosed(this);
    else
        emit viewClosed(this);
}

void CGraphDocument::CloseAllViews() {
    const std::vector<COhmixGraphView*> views = views_;
    for (COhmixGraphView* v : views) v->CloseWindow();
}

}  // namespace kurvex
