#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kurvex {

// A run of memory a reader is about to fill.
struct MemoryRange {
    void* begin = nullptr;
    size_t bytes = 0;
};

// Backs the ranges with memory now, in large pages where the system has them
// and on up to `workers` threads, so that a reader about to fill them does
// not take a page fault every 4 KB on one core. Contents are kept; memory
// outside the ranges (rows that may never be written) is left alone.
void PrepareForWriting(const std::vector<MemoryRange>& ranges, int workers);

// What bounds the memory a reader may take; UINT64_MAX for no bound.
struct MemoryBounds {
    std::uint64_t available = UINT64_MAX;     // MemAvailable, or all memory
    std::uint64_t addressLimit = UINT64_MAX;  // RLIMIT_AS (ulimit -v)
    std::uint64_t addressUsed = 0;            // the process's address space now
    // The least headroom under the memory.max of the process's cgroup and of those above it.
    std::uint64_t cgroupHeadroom = UINT64_MAX;
};

// The least of what the bounds leave.
std::uint64_t Headroom(const MemoryBounds& bounds);

// The headroom under memory.max of the cgroup v2 that `selfCgroup` (as /proc/self/cgroup
// reads) names and of those above it, found under `root`; UINT64_MAX where none sets one.
std::uint64_t CgroupHeadroom(const std::string& root, const std::string& selfCgroup);

// The bytes a reader may still fill: the least of what the system says is available
// (MemAvailable, or all of its memory where it does not say), what the address-space
// limit leaves and what the cgroup's memory.max leaves.
std::uint64_t AvailableMemory();

}  // namespace kurvex
