#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "data/model/SummaryPyramid.h"

namespace kurvex {

// What a cache entry knows of its result beyond the samples: the extents and
// the equal-spacing test a reader works out while reading, kept so that a
// mapped result opens without a pass over its samples. Stored as the entry's
// extra file kCacheMetaFile; each column's summary pyramid as the extra file
// PyramidFileName(v, r), its doubles then its counts, as SummaryPyramid lays
// them out.
inline constexpr const char* kCacheMetaFile = "meta";

struct CachedColumnMeta {
    double min = 0.0;  // extremes of the valid samples; NaN when there is none
    double max = 0.0;
    // Every sample valid, not NaN and not below the one before: bisecting
    // over it needs no pass to learn so. False also for "not known".
    bool sorted = false;
};

struct CachedRunMeta {
    bool equalSpacing = false;  // X steps evenly
    double step = 0.0;
    std::vector<CachedColumnMeta> columns;  // one per variable
};

struct CacheMeta {
    std::vector<CachedRunMeta> runs;
};

// Little-endian bytes of `meta`, and back; none for bytes that do not hold
// `variables` columns per run of `runs` or are of another format (an older
// entry is then refused as damaged and read from its source).
std::vector<std::uint8_t> MetaBytes(const CacheMeta& meta);
std::optional<CacheMeta> MetaFromBytes(std::span<const std::uint8_t> bytes, std::size_t runs,
                                       std::size_t variables);

// Learns whether a column is sorted, as CachedColumnMeta::sorted means it,
// from its samples handed over in pieces of any length.
class SortedTracker {
public:
    void Append(const double* values, const bool* valid, std::size_t n);
    // False for no samples, as CResultDataRef::IsSorted says.
    bool Sorted() const { return sorted_ && any_; }

private:
    bool sorted_ = true;
    bool any_ = false;
    double last_ = 0.0;
};

// The entry's extra file naming its runs, where its source names them (an
// entry without it leaves them unnamed); one name a line.
inline constexpr const char* kCacheRunNamesFile = "run-names";

std::vector<std::uint8_t> RunNamesBytes(const std::vector<std::string>& names);
// None when the bytes do not name exactly `runs` runs.
std::optional<std::vector<std::string>> RunNamesFromBytes(std::span<const std::uint8_t> bytes,
                                                          std::size_t runs);

// The extra file of the pyramid of variable v in run r.
std::string PyramidFileName(std::int32_t v, std::int32_t r);

// The bytes of a pyramid as its file holds them, and a view over such bytes
// (which must outlive it and be 8-byte aligned); none when they do not fit
// PyramidLayout(rows).
std::vector<std::uint8_t> PyramidBytes(const SummaryPyramid& pyramid);
std::optional<SummaryPyramidView> PyramidFromBytes(std::int64_t rows,
                                                   std::span<const std::uint8_t> bytes);

}  // namespace kurvex
