#pragma once

#include <cstddef>
#include <cstdint>
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

// The bytes a reader may still fill: what the system says is available
// (MemAvailable), or all of its memory where it does not say.
std::uint64_t AvailableMemory();

}  // namespace kurvex
