#include "data/cache/CachedFormula.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "data/cache/CacheMeta.h"
#include "data/cache/ColumnCache.h"
#include "data/model/ResultVariable.h"
#include "data/model/SummaryPyramid.h"
#include "data/platform/Workers.h"

namespace kurvex {

namespace {

constexpr char kDerivedMagic[8] = {'K', 'V', 'X', 'D', 'E', 'R', 'V', '1'};

// What the extents file holds; written last, so that its presence says the
// samples beside it are whole.
struct DerivedRecord {
    char magic[8];
    std::uint64_t rows;
    std::uint8_t found, anyInvalid, pad[6];
    double min, max;
};

// A descriptor closed when it goes.
struct Fd {
    int fd = -1;
    explicit Fd(int f) : fd(f) {}
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
};

// Closes the descriptors and removes the temporary files it still names; every
// name is taken in the entry's folder, opened once, never by a path again.
struct TempFile {
    int dir = -1;
    std::string name;
    int fd = -1;
    ~TempFile() {
        if (fd >= 0) ::close(fd);
        if (!name.empty()) ::unlinkat(dir, name.c_str(), 0);
    }
    bool Make(int folder, const std::string& final) {
        dir = folder;
        static std::atomic<std::uint64_t> serial{0};
        for (int attempt = 0; attempt < 100; ++attempt) {
            char suffix[48];
            std::snprintf(suffix, sizeof suffix, ".tmp-%d-%llu", int(::getpid()),
                          static_cast<unsigned long long>(serial.fetch_add(1)));
            name = final + suffix;
            fd = ::openat(dir, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                          0600);
            if (fd >= 0) return true;
            if (errno != EEXIST) break;
        }
        name.clear();
        return false;
    }
    // Writes `count` bytes at `offset`; false with errno set.
    bool WriteAt(std::int64_t offset, const void* bytes, std::size_t count) {
        const auto* p = static_cast<const char*>(bytes);
        while (count > 0) {
            const ssize_t n = ::pwrite(fd, p, count, off_t(offset));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                if (n == 0) errno = EIO;
                return false;
            }
            p += n;
            offset += n;
            count -= std::size_t(n);
        }
        return true;
    }
    // Flushes and moves the file into place; false with errno set.
    bool Commit(const std::string& final) {
        if (::fsync(fd) != 0 || ::close(fd) != 0) {
            fd = -1;
            return false;
        }
        fd = -1;
        if (::renameat(dir, name.c_str(), dir, final.c_str()) != 0) return false;
        name.clear();
        return true;
    }
};

struct Mapping {
    void* base = nullptr;
    std::size_t size = 0;
};

struct DerivedMaps {
    Mapping values, flags, pyramid;
    ~DerivedMaps() {
        for (const Mapping* m : {&values, &flags, &pyramid})
            if (m->base) ::munmap(m->base, m->size);
    }
};

// Maps `name` in `dir`, of exactly `size` bytes, writable and private: a write
// into the variable costs a private page and never reaches the file.
bool MapPrivate(int dir, const std::string& name, std::size_t size, Mapping& m) {
    const Fd file(::openat(dir, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    struct stat st {};
    if (file.fd < 0 || ::fstat(file.fd, &st) != 0 || std::uint64_t(st.st_size) != size || size == 0)
        return false;
    m.base = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_NORESERVE, file.fd, 0);
    if (m.base == MAP_FAILED) {
        m.base = nullptr;
        return false;
    }
    m.size = size;
    return true;
}

bool ReadRecord(int dir, const std::string& name, DerivedRecord& record) {
    const Fd file(::openat(dir, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (file.fd < 0) return false;
    ssize_t n;
    while ((n = ::read(file.fd, &record, sizeof record)) < 0 && errno == EINTR) {
    }
    return n == ssize_t(sizeof record) &&
           std::memcmp(record.magic, kDerivedMagic, sizeof kDerivedMagic) == 0;
}

// The complete derived column `base` in the entry's folder `dir`, mapped; none
// when any part is missing, of another length or cannot be mapped.
std::optional<DerivedColumn> OpenDerived(int dir, const std::string& base, std::int64_t rows) {
    DerivedRecord record{};
    if (!ReadRecord(dir, base + ".extents", record) || record.rows != std::uint64_t(rows))
        return std::nullopt;
    auto maps = std::make_shared<DerivedMaps>();
    if (!MapPrivate(dir, base + ".f64", std::size_t(rows) * sizeof(double), maps->values) ||
        !MapPrivate(dir, base + ".flags", std::size_t(rows), maps->flags))
        return std::nullopt;
    DerivedColumn column;
    column.values = static_cast<double*>(maps->values.base);
    column.flags = static_cast<std::uint8_t*>(maps->flags.base);
    column.rows = rows;
    column.found = record.found != 0;
    column.min = record.min;
    column.max = record.max;
    column.anyInvalid = record.anyInvalid != 0;
    // Without its pyramid the column still serves; it is only drawn the slow way.
    std::int64_t buckets = 0;
    for (const std::int64_t n : PyramidLayout(rows)) buckets += n;
    const auto pyramidBytes = std::size_t(buckets) * (4 * sizeof(double) + sizeof(std::uint32_t));
    if (pyramidBytes > 0 && MapPrivate(dir, base + ".pyramid", pyramidBytes, maps->pyramid))
        column.pyramid = PyramidFromBytes(
            rows, {static_cast<const std::uint8_t*>(maps->pyramid.base), pyramidBytes});
    column.keep = std::move(maps);
    return column;
}

std::string Failure(const std::string& what, int err) {
    std::string text = "Cannot write the formula's samples to the cache: " + what;
    if (err == ENOSPC || err == EDQUOT)
        text += ": the disk is full";
    else if (err)
        text += std::string(": ") + std::strerror(err);
    return text;
}

}  // namespace

std::string DerivedColumnName(const std::vector<std::string_view>& parts) {
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (const std::string_view part : parts) {
        for (const char c : part) h = (h ^ std::uint8_t(c)) * 0x100000001b3ull;
        h = h * 0x100000001b3ull;  // a separator, so that "ab","c" differs from "a","bc"
    }
    char text[32];
    std::snprintf(text, sizeof text, "formula-%016llx", static_cast<unsigned long long>(h));
    return text;
}

std::optional<DerivedColumn> MakeDerivedColumn(const CacheEntry& entry, const std::string& name,
                                               std::int64_t rows, std::int64_t block, int workers,
                                               const DerivedFill& fill, std::string& error,
                                               const std::function<void(double)>& progress,
                                               const std::function<bool()>& cancelled) {
    if (rows <= 0 || rows > kPyramidMaxRows || block <= 0 || name.empty() ||
        name.find('/') != std::string::npos) {
        error = Failure("no rows, too many, or a bad name", 0);
        return std::nullopt;
    }
    std::string folder;
    const Fd cache(OpenCacheFolderFd(folder, error));
    if (cache.fd < 0) return std::nullopt;
    const Fd dir(::openat(cache.fd, entry.Key().Hash().c_str(),
                          O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (dir.fd < 0) {
        error = Failure("cannot open " + folder + "/" + entry.Key().Hash(), errno);
        return std::nullopt;
    }
    const std::string& base = name;
    if (auto done = OpenDerived(dir.fd, base, rows)) {
        done->reused = true;
        return done;
    }
    // Each writer has temporary files of its own: two building the same formula
    // at once rename equal files over each other.
    TempFile values, flags, pyramid, record;
    if (!values.Make(dir.fd, base + ".f64") || !flags.Make(dir.fd, base + ".flags") ||
        !pyramid.Make(dir.fd, base + ".pyramid") || !record.Make(dir.fd, base + ".extents")) {
        error = Failure("cannot make a file in " + folder + "/" + entry.Key().Hash(), errno);
        return std::nullopt;
    }
    int err = 0;
    SummaryPyramidAppender summary(rows,
                                   [&](std::int64_t offset, const void* bytes, std::size_t count) {
                                       const bool ok = pyramid.WriteAt(offset, bytes, count);
                                       if (!ok) err = errno;
                                       return ok;
                                   });
    DerivedRecord r{};
    std::memcpy(r.magic, kDerivedMagic, sizeof kDerivedMagic);
    r.rows = std::uint64_t(rows);
    // Blocks are filled a wave at a time, one per worker, and written in order.
    const int lanes = std::max(workers, 1);
    const std::int64_t wave = block * lanes;
    std::vector<double> v;
    std::vector<std::uint8_t> f;
    try {
        v.resize(std::size_t(std::min(wave, rows)));
        f.resize(v.size());
    } catch (const std::bad_alloc&) {
        error = Failure("out of memory", 0);
        return std::nullopt;
    }
    for (std::int64_t first = 0; first < rows; first += wave) {
        if (cancelled && cancelled()) {
            error.clear();  // the temporary files go with their owners
            return std::nullopt;
        }
        const std::int64_t end = std::min(rows, first + wave);
        const auto n = std::size_t(end - first);
        ItemCounter blocks((end - first + block - 1) / block);
        std::atomic<bool> filled{true};
        const auto work = [&](int worker) {
            for (std::int64_t k; (k = blocks.Next()) >= 0;) {
                const std::int64_t a = first + k * block;
                const auto at = std::size_t(k * block);
                if (!fill(worker, a, std::min(end, a + block), v.data() + at, f.data() + at)) {
                    filled = false;
                    blocks.Stop();
                }
            }
        };
        if (lanes == 1)
            work(0);
        else
            RunWorkers(lanes, work);
        if (!filled) {
            error = Failure("the formula stopped", 0);
            return std::nullopt;
        }
        for (std::size_t i = 0; i < n; ++i) {
            if (f[i] != kPointValid) {
                if (f[i] == kPointInvalid) r.anyInvalid = 1;
            } else if (!r.found) {
                r.min = r.max = v[i];
                r.found = 1;
            } else {
                r.min = std::min(r.min, v[i]);
                r.max = std::max(r.max, v[i]);
            }
        }
        if (!values.WriteAt(first * std::int64_t(sizeof(double)), v.data(), n * sizeof(double)) ||
            !flags.WriteAt(first, f.data(), n)) {
            error = Failure("cannot write beside the cache entry", errno);
            return std::nullopt;
        }
        if (!summary.Append({v.data(), n}, {f.data(), n})) {
            error = Failure("cannot write the summary", err);
            return std::nullopt;
        }
        if (progress) progress(double(end) / double(rows));
    }
    if (!summary.FinishIntoSink() || !record.WriteAt(0, &r, sizeof r)) {
        error = Failure("cannot write the summary", err ? err : errno);
        return std::nullopt;
    }
    // The extents go last: a record without whole samples is never seen.
    if (!values.Commit(base + ".f64") || !flags.Commit(base + ".flags") ||
        !pyramid.Commit(base + ".pyramid") || !record.Commit(base + ".extents")) {
        error = Failure("cannot move the files into place", errno);
        return std::nullopt;
    }
    ::fsync(dir.fd);
    auto made = OpenDerived(dir.fd, base, rows);
    if (!made) error = Failure("cannot map the files written", errno);
    return made;
}

}  // namespace kurvex
