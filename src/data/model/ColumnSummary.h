#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace kurvex {

class SummaryPyramidView;

// True when every flag of f[a..b) is valid and no v[a..b) is NaN; then the
// smallest and largest of v[a..b) (b - a at least 1). The one pass a dense
// pixel column costs when its column has no summary.
bool CleanExtents(const double* v, const std::uint8_t* f, std::int32_t a, std::int32_t b,
                  double& mn, double& mx);

// The smallest and largest sample of each bucket of kBucket consecutive rows
// of a column, and of each kBucket buckets of that level and so on, so that
// the extremes of a long row range cost a few buckets of each level, not its
// samples. A bucket holding a sample that is not valid or is NaN is not
// clean, nor is any bucket above it, and a range that meets it is refused as
// CleanExtents refuses it.
class ColumnSummary {
public:
    static constexpr std::int32_t kBucket = 64;

    // The summary of the first `rows` samples of `values` / `flags`, built on
    // up to `workers` threads; null when out of memory.
    static std::shared_ptr<const ColumnSummary> Build(const double* values,
                                                      const std::uint8_t* flags, std::int32_t rows,
                                                      int workers = 1);
    // The same summary over the levels of a pyramid of kBucket-wide buckets
    // (a cached column's), borrowing its arrays: no pass over the samples and
    // no copy. `keepAlive` owns the pyramid's arrays and is held as long as
    // the summary. Null when the pyramid covers fewer than `rows` rows or
    // out of memory.
    static std::shared_ptr<const ColumnSummary> Over(const double* values,
                                                     const SummaryPyramidView& pyramid,
                                                     std::int32_t rows,
                                                     std::shared_ptr<const void> keepAlive);

    // CleanExtents over v[a..b) with whole buckets taken from the summary:
    // the same answer and the same extremes as the pass over every sample.
    // `v` and `f` must be the arrays the summary was built from.
    bool CleanExtents(const double* v, const std::uint8_t* f, std::int32_t a, std::int32_t b,
                      double& mn, double& mx) const {
        return CleanExtents(v, f, a, b, mn, mx, [](double lo, double hi, double mn, double mx) {
            return lo >= mn && hi <= mx;
        });
    }
    // The same for a caller that only tells some values apart: an end of the
    // range inside a clean bucket it shares with samples outside is not walked
    // when covered(bucket min, bucket max, mn, mx) says that the whole bucket
    // changes nothing the caller can tell from mn, mx of the buckets between.
    template <class Covered>
    bool CleanExtents(const double* v, const std::uint8_t* f, std::int32_t a, std::int32_t b,
                      double& mn, double& mx, Covered covered) const {
        const std::int32_t first = a / kBucket + (a % kBucket != 0);
        const std::int32_t end = std::min(b / kBucket, Buckets());
        // A short range is cheaper walked than pieced together.
        if (end - first < 2) return kurvex::CleanExtents(v, f, a, b, mn, mx);
        if (!Cover(first, end, mn, mx)) return false;
        const double innerMin = mn, innerMax = mx;
        auto piece = [&](std::int32_t from, std::int32_t to, std::int32_t bucket) {
            double lo, hi;
            if (Bucket(bucket, lo, hi) && covered(lo, hi, innerMin, innerMax)) return true;
            if (!kurvex::CleanExtents(v, f, from, to, lo, hi)) return false;
            mn = std::min(mn, lo);
            mx = std::max(mx, hi);
            return true;
        };
        if (a < first * kBucket && !piece(a, first * kBucket, first - 1)) return false;
        return end * kBucket >= b || piece(end * kBucket, b, end);
    }

    // The extremes of bucket k (rows k * kBucket onward); false when it is
    // not clean or not covered.
    bool Bucket(std::int32_t k, double& mn, double& mx) const {
        if (k < 0 || k >= Buckets() || !Clean(levels_[0], k)) return false;
        mn = levels_[0].min[k];
        mx = levels_[0].max[k];
        return true;
    }
    // The values array it was built from (to check that a caller's column is it).
    const double* Source() const { return source_; }
    // Rows covered by whole buckets.
    std::int32_t Rows() const { return Buckets() * kBucket; }
    // Memory held (not borrowed), in bytes.
    std::size_t Bytes() const;

private:
    // One level: bucket k covers kBucket buckets k * kBucket onward of the
    // level below (level 0: the samples).
    struct Level {
        const double* min = nullptr;
        const double* max = nullptr;
        // A pyramid's count of valid, non-NaN samples per bucket, clean when
        // `full`; without it a NaN min marks a bucket that is not clean.
        const std::uint32_t* valid = nullptr;
        std::uint32_t full = 0;
        std::int32_t count = 0;  // whole buckets
    };
    static bool Clean(const Level& l, std::int32_t k) {
        return l.valid ? l.valid[k] == l.full : l.min[k] == l.min[k];
    }

    ColumnSummary() = default;
    std::int32_t Buckets() const { return levels_.empty() ? 0 : levels_[0].count; }
    // Extremes of level-1 buckets [first, end) (at least one), taking whole
    // buckets of the coarsest level that fits; false when one is not clean.
    bool Cover(std::int32_t first, std::int32_t end, double& mn, double& mx) const;
    // Smallest of lo[0..n) and largest of hi[0..n) (n at least 1); false when
    // a lo is NaN, which marks a bucket that is not clean.
    static bool BucketExtents(const double* lo, const double* hi, std::int32_t n, double& mn,
                              double& mx);

    const double* source_ = nullptr;
    std::vector<Level> levels_;               // level 1 first
    std::vector<std::vector<double>> owned_;  // min and max of each level built here
    std::shared_ptr<const void> keepAlive_;   // what owns borrowed levels
};

}  // namespace kurvex
