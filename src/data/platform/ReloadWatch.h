#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kurvex {

// What the file system says about one file at one moment.
struct FileStamp {
    bool exists = false;
    std::int64_t size = 0;
    std::int64_t modified = 0;   // nanoseconds since the epoch
    std::uint64_t identity = 0;  // device and inode: a file renamed over another differs

    bool operator==(const FileStamp&) const = default;
};

// The stamp of `path` now; a file that cannot be looked at does not exist.
FileStamp StampOf(const std::string& path);
// The stamps of `paths`, in order.
std::vector<FileStamp> StampsOf(const std::vector<std::string>& paths);

// How long the watch waits, in milliseconds, and how often it tries.
struct WatchTiming {
    std::int64_t settle = 300;  // size and time unchanged this long before a read
    std::int64_t retry = 1000;  // a failed read is tried again after this
    std::int64_t poll = 2000;   // stamps looked at when no change notice comes
    int attempts = 10;          // failed reads in a row before the watch waits for a change
};

// Decides when a document whose files a simulator rewrites is read again:
// after a change has settled, once per settled change, with failed reads of
// a file still being written retried a few times, and never while the
// document must not change. The shell feeds it the file system's notices, the
// timer it asked for and the stamps of the files; it holds no clock and
// touches no file.
class ReloadWatch {
public:
    // What the shell is to do after an event.
    struct Step {
        bool reload = false;       // start a watched reload now
        std::int64_t wakeAt = -1;  // call Look at this time; -1: no call wanted
        std::string status;        // a line for the status bar; empty: none
        bool keepStatus = false;   // the line stays until another replaces it
    };
    enum class Phase {
        Off,       // Auto Reload is off
        Idle,      // the files are what the document shows (or gone)
        Settling,  // a change was seen; waiting for it to stay unchanged
        Reading,   // a watched reload runs
        Retrying,  // the last read failed; trying again after a while
        GaveUp,    // every attempt failed; waiting for the next change
    };

    // `name` is how status lines name the document's file.
    explicit ReloadWatch(std::string name, WatchTiming timing = {});

    // The document shows what `stamps` describe: after it opened and after
    // every reload not started by the watch.
    Step Loaded(std::int64_t now, const std::vector<FileStamp>& stamps);
    // A change notice arrived, the timer came due or a poll is made: the files
    // are now as `stamps` say.
    Step Look(std::int64_t now, const std::vector<FileStamp>& stamps);
    // The watched reload ended: adopted, or refused with `reason` (the file
    // could not be read, or what it holds does not fit the windows).
    Step Finished(std::int64_t now, bool ok, const std::string& reason,
                  const std::vector<FileStamp>& stamps);
    // Auto Reload switched on or off; switched on, a change missed meanwhile is read.
    Step SetEnabled(bool on, std::int64_t now, const std::vector<FileStamp>& stamps);
    // While blocked (a Properties dialog is open, long work runs) a due read waits.
    void SetBlocked(bool blocked) { blocked_ = blocked; }

    Phase State() const { return phase_; }
    // Failed reads since the last good one.
    int Failures() const { return failures_; }

private:
    Step Settle(std::int64_t now, const std::vector<FileStamp>& stamps);
    Step Due(std::int64_t now, const std::vector<FileStamp>& stamps);
    Step Poll(std::int64_t now) const;

    std::string name_;
    WatchTiming timing_;
    Phase phase_ = Phase::Idle;
    std::vector<FileStamp> loaded_;   // what the document shows
    std::vector<FileStamp> seen_;     // last seen while settling; what failed to read
    std::vector<FileStamp> reading_;  // what the running read started from
    std::int64_t since_ = 0;          // seen_ unchanged since then
    std::int64_t retryAt_ = 0;
    int failures_ = 0;
    bool blocked_ = false;
    bool goneReported_ = false;
};

}  // namespace kurvex
