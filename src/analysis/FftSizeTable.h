#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace kurvex {

// The admissible odd factors of FFT lengths: every odd number from 3 to below
// 2,000,000 whose prime factors are at most 41, sorted. Generated at build time
// and embedded as little-endian 32-bit integers.
class FftSizeTable {
public:
    // A table read from little-endian 32-bit integers; a trailing partial
    // integer is ignored (the count is the size divided by 4).
    static FftSizeTable FromBytes(std::span<const std::uint8_t> bytes);
    // The embedded table, decoded on first use and shared afterwards.
    static const FftSizeTable& Instance();

    // The sorted entries.
    std::span<const std::int32_t> Entries() const { return entries_; }
    // Number of entries.
    std::size_t Count() const { return entries_.size(); }

    // The length a transform of n points is moved to: the nearer of the first
    // entry above n and the one before it (the lower on a tie); n itself when
    // no entry is above it or none lies below that entry.
    std::int32_t Snap(std::int32_t n) const;

private:
    std::vector<std::int32_t> entries_;
};

}  // namespace kurvex
