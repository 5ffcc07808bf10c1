#include "app/DocumentWatch.h"

#include <QFileInfo>

namespace kurvex {

DocumentWatch::DocumentWatch(const QString& name, std::function<bool()> blocked, QObject* parent)
    : QObject(parent), core_(name.toStdString()), name_(name), blocked_(std::move(blocked)) {
    clock_.start();
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &DocumentWatch::Look);
    // A notice may come in bursts while the simulator writes: each only looks.
    connect(&watcher_, &QFileSystemWatcher::fileChanged, this, &DocumentWatch::Look);
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, &DocumentWatch::Look);
}

void DocumentWatch::SetTiming(const WatchTiming& timing) {
    const bool on = core_.State() != ReloadWatch::Phase::Off;
    core_ = ReloadWatch(name_.toStdString(), timing);
    Loaded(loaded_);
    if (!on) SetEnabled(false);
}

void DocumentWatch::Follow(const std::vector<std::string>& files,
                           const std::vector<FileStamp>& stamps) {
    files_ = files;
    Loaded(stamps);
}

void DocumentWatch::WatchPaths() {
    // A file replaced by another (written elsewhere, renamed over it) drops
    // out of the watcher; its folder's notice brings it back in.
    QStringList paths;
    for (const std::string& f : files_) {
        const QString path = QString::fromStdString(f);
        paths << path << QFileInfo(path).absolutePath();
    }
    const QStringList watched = watcher_.files() + watcher_.directories();
    QStringList missing;
    for (const QString& p : paths)
        if (!watched.contains(p) && !missing.contains(p) && QFileInfo::exists(p)) missing << p;
    if (!missing.isEmpty()) watcher_.addPaths(missing);
}

void DocumentWatch::Loaded(const std::vector<FileStamp>& stamps) {
    loaded_ = stamps;
    WatchPaths();
    Apply(core_.Loaded(Now(), stamps));
}

void DocumentWatch::Finished(bool ok, const QString& reason) {
    Apply(core_.Finished(Now(), ok, reason.toStdString(), StampsOf(files_)));
}

void DocumentWatch::SetEnabled(bool on) {
    Apply(core_.SetEnabled(on, Now(), StampsOf(files_)));
}

void DocumentWatch::Look() {
    WatchPaths();
    core_.SetBlocked(blocked_ && blocked_());
    Apply(core_.Look(Now(), StampsOf(files_)));
}

void DocumentWatch::Apply(const ReloadWatch::Step& step) {
    if (step.wakeAt >= 0)
        timer_.start(static_cast<int>(std::max<std::int64_t>(0, step.wakeAt - Now())));
    else
        timer_.stop();
    if (!step.status.empty()) emit status(QString::fromStdString(step.status), step.keepStatus);
    if (step.reload) emit reloadWanted();
}

}  // namespace kurvex
