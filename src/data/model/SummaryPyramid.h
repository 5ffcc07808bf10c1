#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace kurvex {

// Summaries of a column at every scale: level 1 holds one bucket per
// kPyramidFan samples, level k + 1 one per kPyramidFan buckets of level k, up
// to a level of one bucket. A bucket keeps the extremes and the count of its
// valid, non-NaN samples and the sum and sum of squares of all its samples,
// each summed in one fixed order, so that both builds agree bit for bit. Four
// doubles and one count per 64 samples: 36 bytes per 512, about 7.1 % of the
// samples' own size over all levels.
constexpr std::int32_t kPyramidFan = 64;

// Rows a pyramid's counts can hold.
constexpr std::int64_t kPyramidMaxRows = 0xffffffffll;

// Buckets of each level (level 1 first) for a column of `rows` samples; empty
// for no rows.
std::vector<std::int64_t> PyramidLayout(std::int64_t rows);

// One level: its arrays, all of one length.
struct PyramidLevel {
    std::span<const double> min;  // NaN where the bucket has no valid sample
    std::span<const double> max;
    std::span<const double> sum;
    std::span<const double> sumSquares;
    std::span<const std::uint32_t> valid;  // valid, non-NaN samples
};

// What a bucket holds while it is filled.
struct PyramidBucket {
    double min = 0.0, max = 0.0, sum = 0.0, sumSquares = 0.0;
    std::uint32_t valid = 0;
    std::int32_t parts = 0;  // samples or buckets taken in
};

// Sums over a row range; the figures of AveragesOver follow from them.
struct PyramidSums {
    std::int64_t count = 0;
    double sum = 0.0;
    double sumSquares = 0.0;
    double sumAbs = 0.0;
};

// The extremes of the valid, non-NaN samples of a row range.
struct PyramidExtents {
    double min = 0.0, max = 0.0;
    std::int64_t valid = 0;  // such samples; the range is clean when all are
};

// The raw samples of the summarised column: values and point flags, at
// least as many as the pyramid's rows (a mapped column works as well).
struct PyramidColumn {
    std::span<const double> values;
    std::span<const std::uint8_t> flags;
};

// The queries, over arrays it does not own: those of a SummaryPyramid or of a
// mapped file. Every answer is the one a pass over the samples gives.
class SummaryPyramidView {
public:
    SummaryPyramidView() = default;
    // A view over `doubles` (per level: min, max, sum, sumSquares, each one
    // entry per bucket) and `valid` (per level, one per bucket) as
    // PyramidLayout(rows) lays them out; none when the sizes do not match.
    static std::optional<SummaryPyramidView> Over(std::int64_t rows,
                                                  std::span<const double> doubles,
                                                  std::span<const std::uint32_t> valid);

    std::int64_t Rows() const { return rows_; }
    int Levels() const { return static_cast<int>(levels_.size()); }
    // Level 1 .. Levels().
    const PyramidLevel& Level(int level) const { return levels_[level - 1]; }
    // Samples in a bucket of `level` (level 0: a sample).
    static std::int64_t BucketRows(int level);

    // Queries over a column shorter than Rows() find nothing.

    // Extremes of the valid, non-NaN samples of rows [a, b).
    PyramidExtents Extents(const PyramidColumn& column, std::int64_t a, std::int64_t b) const;

    // Extents of each pixel column: column k holds rows starts[k] ..
    // starts[k + 1] - 1. Each takes buckets of the coarsest level narrower
    // than it, but of no level above `maxLevel`.
    std::vector<PyramidExtents> ColumnExtents(const PyramidColumn& column,
                                              std::span<const std::int32_t> starts,
                                              int maxLevel = 64) const;

    // Count, sum, sum of squares and (when `withAbs`) sum of |x| of all
    // samples of rows [a, b), whatever their flags.
    PyramidSums Sums(const PyramidColumn& column, std::int64_t a, std::int64_t b,
                     bool withAbs = true) const;

    // The first largest (smallest) valid, non-NaN sample of rows [a, b);
    // none when there is none.
    std::optional<std::int64_t> Extremum(const PyramidColumn& column, std::int64_t a,
                                         std::int64_t b, bool largest) const;

private:
    // A column too short for the summary gets no answer rather than a read
    // beyond its end.
    bool Fits(const PyramidColumn& c) const {
        return static_cast<std::int64_t>(c.values.size()) >= rows_ &&
               static_cast<std::int64_t>(c.flags.size()) >= rows_;
    }
    // Extents of rows [a, b) from buckets of levels up to `top` and the samples.
    PyramidExtents RangeExtents(const PyramidColumn& column, std::int64_t a, std::int64_t b,
                                int top) const;
    // Rows [a, b) as whole buckets of levels up to `top` and runs of raw
    // samples, left to right: bucket(level, k) and raw(from, to).
    template <class Bucket, class Raw>
    void Cover(std::int64_t a, std::int64_t b, int top, Bucket&& bucket, Raw&& raw) const;
    template <class Bucket, class Raw>
    void Node(int level, std::int64_t k, std::int64_t a, std::int64_t b, Bucket& bucket,
              Raw& raw) const;

    std::int64_t rows_ = 0;
    std::vector<PyramidLevel> levels_;
};

// A pyramid that owns its arrays, laid out as SummaryPyramidView::Over takes
// them, so that they can be written to a file as they are.
class SummaryPyramid {
public:
    SummaryPyramid() = default;
    SummaryPyramid(SummaryPyramid&&) = default;
    SummaryPyramid& operator=(SummaryPyramid&&) = default;

    // The pyramid of values[0..rows) with `flags`, built on up to `workers`
    // threads; none when rows is beyond kPyramidMaxRows or memory runs out.
    static std::optional<SummaryPyramid> Build(const PyramidColumn& column, int workers = 1);

    const SummaryPyramidView& View() const { return view_; }
    std::span<const double> Doubles() const { return doubles_; }
    std::span<const std::uint32_t> Valid() const { return valid_; }
    // Memory held, in bytes.
    std::size_t Bytes() const {
        return doubles_.size() * sizeof(double) + valid_.size() * sizeof(std::uint32_t);
    }

private:
    friend class SummaryPyramidAppender;
    // Lays out the arrays for `rows` and points the view at them.
    bool Allocate(std::int64_t rows);
    double* Field(int level, int field);
    std::uint32_t* ValidOf(int level);

    std::vector<double> doubles_;
    std::vector<std::uint32_t> valid_;
    std::vector<std::int64_t> doubleStart_, validStart_;  // per level
    SummaryPyramidView view_;
};

// Where a streaming build puts the pyramid: `count` bytes at `offset` of the
// bytes PyramidBytes would give; false stops the build.
using PyramidSink = std::function<bool(std::int64_t offset, const void* bytes, std::size_t count)>;

// Builds a pyramid from a column handed over in pieces of any length, as a
// converter reads it; the same pyramid, bit for bit, as SummaryPyramid::Build.
class SummaryPyramidAppender {
public:
    SummaryPyramidAppender() = default;
    // Builds the pyramid of exactly `rows` samples into `sink` as it goes,
    // holding only a few thousand buckets of the first level and the levels
    // above it: some 0.1 % of the samples' size instead of 7 %.
    SummaryPyramidAppender(std::int64_t rows, PyramidSink sink);

    // False (and nothing taken) when the rows would pass kPyramidMaxRows or
    // the lengths differ; false too when the sink refused.
    bool Append(std::span<const double> values, std::span<const std::uint8_t> flags);
    // The pyramid of everything appended; none when out of memory (or when
    // built into a sink).
    std::optional<SummaryPyramid> Finish();
    // Built into a sink: writes what it holds; false when the rows appended
    // are not those announced or the sink refused.
    bool FinishIntoSink();

private:
    void Close(std::size_t level);
    // Summarises the waiting samples, a whole bucket, and closes it.
    void TakeWaiting();
    // Closes the partly filled buckets that end each level.
    void CloseLast(std::size_t levels);
    // Writes buckets [first, first + n) of level `level` (from 0) into the sink.
    bool Put(std::size_t level, std::int64_t first, const PyramidBucket* buckets, std::size_t n);
    bool PutFirstLevel();

    PyramidSink sink_;
    std::vector<std::int64_t> layout_;  // buckets per level, of the rows announced
    std::int64_t expected_ = -1;
    std::int64_t firstPut_ = 0;  // buckets of the first level in the sink
    bool failed_ = false;

    std::int64_t rows_ = 0;
    // The samples of the bucket being filled: a bucket is summarised whole,
    // as the parallel build summarises it.
    double values_[kPyramidFan];
    std::uint8_t flags_[kPyramidFan];
    std::int32_t waiting_ = 0;
    std::vector<PyramidBucket> open_;               // per level, the bucket being filled
    std::vector<std::vector<PyramidBucket>> done_;  // per level, the finished buckets
};

}  // namespace kurvex
