#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "data/model/ColumnSummary.h"
#include "data/model/ResultData.h"
#include "data/model/SummaryPyramid.h"

namespace kurvex {

class CacheEntry;

// Makes `data` the result held by `entry`: its variables, runs and rows, with
// the extents, equal spacing and bad points its meta file records, over the
// mapped columns themselves, so that opening costs no pass over the samples.
// Every variable keeps the entry mapped for as long as it lives. A write into
// a variable's arrays costs a private page and never reaches the cache. False
// with `error` set (and `data` untouched) when the entry's meta file or a
// pyramid is missing or damaged, or a run has more rows than a data set holds.
// `runNames`, when given (one a run), name the runs in place of the entry's own.
bool OpenCachedResult(std::shared_ptr<const CacheEntry> entry, CResultDataRef& data,
                      std::string& error, const std::vector<std::string>& runNames = {});

// The summary pyramid of variable `v` in run `run` of a data set that
// OpenCachedResult made, valid while that variable lives; none when the
// variable is not (or no longer) a mapped column with a pyramid.
std::optional<SummaryPyramidView> CachedPyramid(const CResultData& data, std::int32_t v,
                                                std::int32_t run);

// Windows shorter than this are walked: below it the pyramid's lookups gain
// little over reading the samples.
constexpr std::int32_t kPyramidWorthRows = 4096;

// A cached column's pyramid with the column's own arrays, as its queries
// take them; holds the entry and the flags while it lives.
struct PyramidColumnView {
    SummaryPyramidView pyramid;
    PyramidColumn column;
    std::shared_ptr<const void> entry, flags;
};

// The pyramid of the live cached column whose samples start at `values`;
// none for any other array. One locked lookup: cheap enough to ask before
// every pass over a column.
std::optional<PyramidColumnView> PyramidAt(const double* values);

// Sums of rows [a, b) of the cached column at `values`, from its pyramid;
// none for any other array or a window too short to gain. Without `withAbs`
// (no sum of |x|) the pyramid never reads a sample but the ends' few: |x|
// sends it to the samples of every bucket the column changes sign in.
std::optional<PyramidSums> CachedSums(const double* values, std::int64_t a, std::int64_t b,
                                      bool withAbs);

// Asks the system to read, without waiting, what drawing the cached column
// at `values` by pixel columns reads at the columns' ends `starts`: the
// samples on both sides of each end and, with `summary`, the pyramid's
// buckets beside it at every level. Pages asked for together arrive
// together, and a page already there costs no fault that reads megabytes
// around it. Nothing for any other array.
void PrefetchColumnEnds(const double* values, std::span<const std::int32_t> starts, bool summary);

// For the cached column at `values`, whose samples must never fall: for
// each test k of `count`, the first row of [first, end) whose sample
// `before(k, sample)` refuses (end when none), where `before` holds for the
// samples below some point only. Found through the pyramid, whose bucket
// maxima are the buckets' last samples: each test reads a few buckets of each
// level and one bucket of samples, and every test's pages of a level are
// asked for at once. None for any other array.
std::optional<std::vector<std::int32_t>> CachedPartitionPoints(
    const double* values, std::int32_t first, std::int32_t end, std::int32_t count,
    const std::function<bool(std::int32_t k, double sample)>& before);

// How the X of a cached run steps: from its first sample by `step`, every
// step matching `step` in its upper 48 bits (the equal-spacing test), X all
// valid and never falling.
struct EvenSteps {
    double first = 0.0;
    double step = 0.0;
    std::int64_t rows = 0;
};

// The steps of the cached column at `values` when it is its run's X and the
// entry's meta found it sorted and evenly spaced; none otherwise.
std::optional<EvenSteps> CachedEvenSteps(const double* values);

// Makes the column at `values` (with `flags`), worked out from `entry`'s
// columns and kept in files beside it, known as a cached column with
// `pyramid`, for as long as `keep` (which holds its mappings) lives.
void PlaceDerivedColumn(const std::shared_ptr<const CacheEntry>& entry, const double* values,
                        const std::uint8_t* flags, const SummaryPyramidView& pyramid,
                        const std::shared_ptr<const void>& keep);

// The per-pixel summary of variable `v` of `run` (a run's own data set)
// taken from its cached pyramid, with no pass over the samples; null when the
// variable is no cached column.
std::shared_ptr<const ColumnSummary> CachedSummary(const CResultData& run, std::int32_t v,
                                                   std::int32_t rows);

// `count` point flags, all kPointValid, that share one small block of memory
// however many there are; writable, a write costing a private page. Null when
// they cannot be mapped.
std::shared_ptr<std::uint8_t> SharedValidFlags(std::int64_t count);

}  // namespace kurvex
