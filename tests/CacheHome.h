#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "TestSupport.h"
#include "data/cache/CacheConvert.h"
#include "data/cache/CachedResult.h"
#include "data/cache/ColumnCache.h"
#include "data/formats/RawFile.h"

namespace kurvex::test {

// The column cache in a fresh folder of the test's own (DIR/cache) for as
// long as this lives.
struct CacheHome {
    explicit CacheHome(const std::string& name) : dir(FreshDir(name)) {
        ::setenv("XDG_CACHE_HOME", (dir / "cache").c_str(), 1);
    }
    ~CacheHome() { ::unsetenv("XDG_CACHE_HOME"); }
    // Entries and leftovers in the cache folder.
    std::size_t Entries() const {
        std::size_t n = 0;
        std::error_code ec;
        for (std::filesystem::directory_iterator e(dir / "cache/kurvex", ec), end; !ec && e != end;
             e.increment(ec))
            ++n;
        return n;
    }
    const std::filesystem::path dir;
};

// A progress callback for a conversion of `path` that, as a simulator writing
// its result again, puts a new copy of `bytes` in its place early in each of
// the first `rewrites` tries.
inline std::function<bool(std::int64_t, std::int64_t)> RewritingAtEachStart(
    const std::string& path, const std::string& bytes, int rewrites) {
    auto state = std::make_shared<std::pair<int, std::int64_t>>(0, -1);
    return [=](std::int64_t done, std::int64_t) {
        auto& [rewritten, last] = *state;
        const bool fresh = done <= last || last < 0;
        last = done;
        if (fresh && rewritten++ < rewrites) {
            Spit(path + ".new", bytes);
            std::filesystem::rename(path + ".new", path);
        }
        return true;
    };
}

// Writes `bytes` over the start of `path` in place and puts its times back, as cp -p or
// rsync -t --inplace do: only the change time tells (under ASSERT_NO_FATAL_FAILURE).
inline void RewriteKeepingTimes(const std::filesystem::path& path, const std::string& bytes) {
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    // The change time moves with the kernel's coarse clock: it must tick first.
    timespec now{};
    do {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
    } while (now.tv_sec < st.st_ctim.tv_sec ||
             (now.tv_sec == st.st_ctim.tv_sec && now.tv_nsec <= st.st_ctim.tv_nsec));
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    const bool written = ::pwrite(fd, bytes.data(), bytes.size(), 0) == ssize_t(bytes.size());
    ::close(fd);
    ASSERT_TRUE(written);
    const timespec times[2] = {st.st_atim, st.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

// A raw file written into a cache home and converted, opened from its entry and
// read the old way.
struct CachedAndPlain {
    std::shared_ptr<const CacheEntry> entry;
    std::filesystem::path entryDir;
    CResultDataRef cached, plain;
};

// Fills `out` from the raw bytes `raw` (under ASSERT_NO_FATAL_FAILURE).
inline void ConvertAndRead(const CacheHome& home, const std::string& raw, CachedAndPlain& out) {
    const std::string path = (home.dir / "result.raw").string();
    Spit(path, raw);
    const CacheConversion made = ConvertToCache(path, {});
    ASSERT_EQ(made.status, CacheConversion::Status::Converted) << made.error;
    std::string error;
    ASSERT_TRUE(OpenCachedResult(made.entry, out.cached, error)) << error;
    std::vector<RawPlot> plots;
    RecordingMessages messages;
    ASSERT_EQ(ReadRawFile(path, out.plain, plots, messages), RawReadResult::Read);
    out.entry = made.entry;
    out.entryDir = home.dir / "cache/kurvex" / made.entry->Key().Hash();
}

}  // namespace kurvex::test
