#include "data/platform/ReloadWatch.h"

#include <sys/stat.h>

#include <algorithm>

namespace kurvex {

namespace {

// A reader's message as one status-bar line.
std::string OneLine(const std::string& text) {
    std::string line;
    for (char c : text) {
        const bool blank = c == '\r' || c == '\n' || c == '\t';
        if (blank && (line.empty() || line.back() == ' ')) continue;
        line += blank ? ' ' : c;
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return line.empty() ? "it could not be read" : line;
}

}  // namespace

FileStamp StampOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
    FileStamp s;
    s.exists = true;
    s.size = static_cast<std::int64_t>(st.st_size);
    s.modified = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    s.identity = (static_cast<std::uint64_t>(st.st_dev) << 40) ^ st.st_ino;
    return s;
}

std::vector<FileStamp> StampsOf(const std::vector<std::string>& paths) {
    std::vector<FileStamp> stamps;
    stamps.reserve(paths.size());
    for (const std::string& p : paths) stamps.push_back(StampOf(p));
    return stamps;
}

ReloadWatch::ReloadWatch(std::string name, WatchTiming timing)
    : name_(std::move(name)), timing_(timing) {}

ReloadWatch::Step ReloadWatch::Poll(std::int64_t now) const {
    Step s;
    s.wakeAt = now + timing_.poll;
    return s;
}

ReloadWatch::Step ReloadWatch::Loaded(std::int64_t now, const std::vector<FileStamp>& stamps) {
    loaded_ = stamps;
    seen_ = stamps;
    failures_ = 0;
    goneReported_ = false;
    if (phase_ == Phase::Off) return {};
    // A read of the watch still running is stale now: Finished ignores it.
    phase_ = Phase::Idle;
    return Poll(now);
}

ReloadWatch::Step ReloadWatch::Settle(std::int64_t now, const std::vector<FileStamp>& stamps) {
    phase_ = Phase::Settling;
    seen_ = stamps;
    since_ = now;
    Step s;
    s.wakeAt = now + timing_.settle;
    return s;
}

ReloadWatch::Step ReloadWatch::Due(std::int64_t now, const std::vector<FileStamp>& stamps) {
    if (stamps == loaded_) {
        // Another reload took this state of the files already.
        phase_ = Phase::Idle;
        return Poll(now);
    }
    Step s;
    if (blocked_) {
        s.wakeAt = now + timing_.settle;
        return s;
    }
    phase_ = Phase::Reading;
    reading_ = stamps;
    s.reload = true;
    return s;
}

ReloadWatch::Step ReloadWatch::Look(std::int64_t now, const std::vector<FileStamp>& stamps) {
    if (phase_ == Phase::Off || phase_ == Phase::Reading) return {};
    const bool gone =
        std::any_of(stamps.begin(), stamps.end(), [](const FileStamp& f) { return !f.exists; });
    if (gone) {
        // The data stays; the file coming back is a change like any other.
        phase_ = Phase::Idle;
        failures_ = 0;
        Step s = Poll(now);
        if (!goneReported_) {
            goneReported_ = true;
            s.status = name_ + " was deleted; the window keeps the data it shows.";
            s.keepStatus = true;
        }
        return s;
    }
    goneReported_ = false;
    switch (phase_) {
        case Phase::Idle:
            return stamps == loaded_ ? Poll(now) : Settle(now, stamps);
        case Phase::GaveUp:
            if (stamps == seen_) return Poll(now);
            failures_ = 0;
            return Settle(now, stamps);
        case Phase::Retrying: {
            if (stamps != seen_) return Settle(now, stamps);
            if (now >= retryAt_) return Due(now, stamps);
            Step s;
            s.wakeAt = retryAt_;
            return s;
        }
        case Phase::Settling: {
            if (stamps != seen_) return Settle(now, stamps);
            if (now - since_ >= timing_.settle) return Due(now, stamps);
            Step s;
            s.wakeAt = since_ + timing_.settle;
            return s;
        }
        default:
            return {};
    }
}

ReloadWatch::Step ReloadWatch::Finished(std::int64_t now, bool ok, const std::string& reason,
                                        const std::vector<FileStamp>& stamps) {
    if (phase_ == Phase::Off && ok) loaded_ = reading_;
    if (phase_ != Phase::Reading) return {};
    if (ok) {
        loaded_ = reading_;
        seen_ = reading_;
        failures_ = 0;
        phase_ = Phase::Idle;
        Step s = Look(now, stamps);
        if (s.status.empty()) s.status = name_ + " re-loaded.";
        return s;
    }
    ++failures_;
    seen_ = reading_;
    const std::string why = OneLine(reason);
    std::string status;
    if (failures_ >= timing_.attempts) {
        phase_ = Phase::GaveUp;
        status =
            name_ + " could not be read after " + std::to_string(failures_) + " attempts: " + why;
    } else {
        phase_ = Phase::Retrying;
        retryAt_ = now + timing_.retry;
        status = name_ + " could not be read yet (attempt " + std::to_string(failures_) + " of " +
                 std::to_string(timing_.attempts) + "); trying again: " + why;
    }
    Step s = Look(now, stamps);
    if (s.status.empty()) {
        s.status = status;
        s.keepStatus = true;
    }
    return s;
}

ReloadWatch::Step ReloadWatch::SetEnabled(bool on, std::int64_t now,
                                          const std::vector<FileStamp>& stamps) {
    if (!on) {
        phase_ = Phase::Off;
        return {};
    }
    if (phase_ == Phase::Off) {
        phase_ = Phase::Idle;
        failures_ = 0;
    }
    return Look(now, stamps);
}

}  // namespace kurvex
