#include "data/platform/SampleMemory.h"

#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>

#include "data/platform/Workers.h"

namespace kurvex {

namespace {

constexpr std::uintptr_t kPage = 4096;
constexpr std::uintptr_t kLargePage = std::uintptr_t{2} << 20;
// Below this the faults cost less than the calls.
constexpr size_t kWorthIt = size_t{1} << 20;
// Pieces the workers take in turn: whole large pages.
constexpr std::uintptr_t kPiece = 2 * kLargePage;

struct Piece {
    std::uintptr_t begin, end;
};

}  // namespace

void PrepareForWriting(const std::vector<MemoryRange>& ranges, int workers) {
#if defined(MADV_POPULATE_WRITE)
    std::vector<Piece> pieces;
    for (const MemoryRange& r : ranges) {
        if (!r.begin || r.bytes < kWorthIt) continue;
        const auto begin = reinterpret_cast<std::uintptr_t>(r.begin);
        const std::uintptr_t end = begin + r.bytes;
        // Only the large pages that lie wholly inside: a page that reaches
        // past the range would make rows resident that may never be written.
        const std::uintptr_t largeBegin = (begin + kLargePage - 1) & ~(kLargePage - 1);
        const std::uintptr_t largeEnd = end & ~(kLargePage - 1);
        if (largeEnd > largeBegin)
            madvise(reinterpret_cast<void*>(largeBegin), largeEnd - largeBegin, MADV_HUGEPAGE);
        // Whole pages inside the range, in pieces that end on large pages.
        std::uintptr_t at = (begin + kPage - 1) & ~(kPage - 1);
        const std::uintptr_t stop = end & ~(kPage - 1);
        while (at < stop) {
            const std::uintptr_t next = std::min(stop, (at + kPiece) & ~(kLargePage - 1));
            pieces.push_back({at, std::max(next, std::min(stop, at + kPage))});
            at = pieces.back().end;
        }
    }
    if (pieces.empty()) return;
    ItemCounter counter(static_cast<std::int64_t>(pieces.size()));
    RunWorkers(std::min<int>(workers, static_cast<int>(pieces.size())), [&](int) {
        for (std::int64_t i = counter.Next(); i >= 0; i = counter.Next()) {
            const Piece& p = pieces[static_cast<size_t>(i)];
            // An older kernel refuses; the pages are then faulted in as written.
            madvise(reinterpret_cast<void*>(p.begin), p.end - p.begin, MADV_POPULATE_WRITE);
        }
    });
#endif
}

namespace {

std::string FileText(const std::string& path) {
    std::string text;
    if (std::FILE* f = std::fopen(path.c_str(), "r")) {
        char buf[256];
        std::size_t n;
        while (text.size() < (1 << 16) && (n = std::fread(buf, 1, sizeof buf, f)) > 0)
            text.append(buf, n);
        std::fclose(f);
    }
    return text;
}

// A number file of the cgroup's ("max" or absent: none).
std::uint64_t CgroupNumber(const std::string& path) {
    unsigned long long n = 0;
    const std::string text = FileText(path);
    return std::sscanf(text.c_str(), "%llu", &n) == 1 ? n : UINT64_MAX;
}

std::uint64_t MemAvailable() {
    if (std::FILE* info = std::fopen("/proc/meminfo", "r")) {
        char line[256];
        unsigned long long kb = 0;
        bool found = false;
        while (!found && std::fgets(line, sizeof line, info))
            found = std::sscanf(line, "MemAvailable: %llu kB", &kb) == 1;
        std::fclose(info);
        if (found) return static_cast<std::uint64_t>(kb) * 1024;
    }
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long size = ::sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || size <= 0) return UINT64_MAX;
    return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(size);
}

}  // namespace

std::uint64_t Headroom(const MemoryBounds& b) {
    const std::uint64_t address = b.addressLimit == UINT64_MAX ? UINT64_MAX
                                  : b.addressUsed >= b.addressLimit
                                      ? 0
                                      : b.addressLimit - b.addressUsed;
    return std::min({b.available, address, b.cgroupHeadroom});
}

std::uint64_t CgroupHeadroom(const std::string& root, const std::string& selfCgroup) {
    // The unified hierarchy's line is "0::/path".
    std::string path;
    for (std::size_t at = 0; at < selfCgroup.size();) {
        std::size_t end = selfCgroup.find('\n', at);
        if (end == std::string::npos) end = selfCgroup.size();
        if (selfCgroup.compare(at, 3, "0::") == 0) path = selfCgroup.substr(at + 3, end - at - 3);
        at = end + 1;
    }
    std::uint64_t least = UINT64_MAX;
    if (path.empty() || path[0] != '/' || path.find("/..") != std::string::npos) return least;
    // A cgroup is held to every limit above it too.
    for (;;) {
        const std::string dir = root + path;
        const std::uint64_t max = CgroupNumber(dir + "/memory.max");
        if (max != UINT64_MAX) {
            std::uint64_t used = CgroupNumber(dir + "/memory.current");
            if (used == UINT64_MAX) used = 0;
            // Cached file pages are given back on demand, as MemAvailable counts them.
            const std::string stat = "\n" + FileText(dir + "/memory.stat");
            unsigned long long file = 0;
            if (const std::size_t at = stat.find("\nfile ");
                at != std::string::npos &&
                std::sscanf(stat.c_str() + at, "\nfile %llu", &file) == 1)
                used -= std::min<std::uint64_t>(used, file);
            least = std::min(least, used >= max ? 0 : max - used);
        }
        if (path == "/" || path.empty()) break;
        path.erase(path.rfind('/'));
        if (path.empty()) path = "/";
    }
    return least;
}

std::uint64_t AvailableMemory() {
    MemoryBounds b;
    b.available = MemAvailable();
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
        b.addressLimit = limit.rlim_cur;
        unsigned long long pages = 0;
        const std::string statm = FileText("/proc/self/statm");
        if (std::sscanf(statm.c_str(), "%llu", &pages) == 1)
            b.addressUsed = pages * static_cast<std::uint64_t>(::sysconf(_SC_PAGE_SIZE));
    }
    b.cgroupHeadroom = CgroupHeadroom("/sys/fs/cgroup", FileText("/proc/self/cgroup"));
    return Headroom(b);
}

}  // namespace kurvex
