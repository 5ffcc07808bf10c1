#pragma once

#include <QElapsedTimer>
#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

#include "data/platform/ReloadWatch.h"

namespace kurvex {

// Follows the files of one document: the file system's change notices (on
// the files and their folders, so that a file renamed over another is seen)
// and a timer feed the core watch, which says when to read them again.
class DocumentWatch : public QObject {
    Q_OBJECT
public:
    // `name` names the primary file in status lines; `blocked` tells whether
    // the document may change now.
    DocumentWatch(const QString& name, std::function<bool()> blocked, QObject* parent = nullptr);

    // The files to follow, the primary one first; the document shows them as
    // `stamps` describe (taken before they were read).
    void Follow(const std::vector<std::string>& files, const std::vector<FileStamp>& stamps);
    // The document shows its files as `stamps` describe (a reload from elsewhere).
    void Loaded(const std::vector<FileStamp>& stamps);
    // The watched reload asked for ended.
    void Finished(bool ok, const QString& reason);
    // Auto Reload switched on or off.
    void SetEnabled(bool on);

    // The watch's state, for tests.
    ReloadWatch::Phase State() const { return core_.State(); }
    // The milliseconds the watch waits for, for tests and benchmarks.
    void SetTiming(const WatchTiming& timing);

signals:
    // Read the files again now.
    void reloadWanted();
    // A line for the status bar; `keep`: until another replaces it.
    void status(const QString& text, bool keep);

private:
    void Look();
    void Apply(const ReloadWatch::Step& step);
    void WatchPaths();
    std::int64_t Now() const { return clock_.elapsed(); }

    ReloadWatch core_;
    QString name_;
    std::function<bool()> blocked_;
    std::vector<std::string> files_;
    std::vector<FileStamp> loaded_;  // what the document shows
    QFileSystemWatcher watcher_;
    QTimer timer_;
    QElapsedTimer clock_;
};

}  // namespace kurvex
