#include "data/SampleMemory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "data/Workers.h"

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

std::uint64_t AvailableMemory() {
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

}  // namespace kurvex
