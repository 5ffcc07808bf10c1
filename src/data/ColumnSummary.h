#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace kurvex {

// True when every flag of f[a..b) is valid and no v[a..b) is NaN; then the
// smallest and largest of v[a..b) (b - a at least 1). The one pass a dense
// pixel column costs when its column has no summary.
bool CleanExtents(const double* v, const std::uint8_t* f, std::int32_t a, std::int32_t b,
                  double& mn, double& mx);

// The smallest and largest sample of each bucket of kBucket consecutive rows
// of a column, so that the extremes of a long row range cost its buckets, not
// its samples. A bucket holding a sample that is not valid or is NaN is
// marked, and a range that meets it is refused as CleanExtents refuses it.
class ColumnSummary {
public:
    static constexpr std::int32_t kBucket = 64;

    // The summary of the first `rows` samples of `values` / `flags`, built on
    // up to `workers` threads; null when out of memory.
    static std::shared_ptr<const ColumnSummary> Build(const double* values,
                                                      const std::uint8_t* flags, std::int32_t rows,
                                                      int workers = 1);
    // The same summary taken from buckets of kBucket rows summarised before
    // (a cached column's pyramid): their extremes and their counts of valid,
    // non-NaN samples; no pass over the samples. Null when fewer buckets are
    // given than `rows` holds whole, or out of memory.
    static std::shared_ptr<const ColumnSummary> FromBuckets(const double* values,
                                                            std::span<const double> min,
                                                            std::span<const double> max,
                                                            std::span<const std::uint32_t> valid,
                                                            std::int32_t rows);

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
        const std::int32_t buckets = static_cast<std::int32_t>(min_.size());
        const std::int32_t first = a / kBucket + (a % kBucket != 0);
        const std::int32_t end = std::min(b / kBucket, buckets);
        // A short range is cheaper walked than pieced together.
        if (end - first < 2) return kurvex::CleanExtents(v, f, a, b, mn, mx);
        if (!BucketExtents(min_.data() + first, max_.data() + first, end - first, mn, mx))
            return false;
        const double innerMin = mn, innerMax = mx;
        auto piece = [&](std::int32_t from, std::int32_t to, std::int32_t bucket) {
            if (bucket < buckets && min_[bucket] == min_[bucket] &&
                covered(min_[bucket], max_[bucket], innerMin, innerMax))
                return true;
            double lo, hi;
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
        if (k < 0 || k >= static_cast<std::int32_t>(min_.size()) || !(min_[k] == min_[k]))
            return false;
        mn = min_[k];
        mx = max_[k];
        return true;
    }
    // The values array it was built from (to check that a caller's column is it).
    const double* Source() const { return source_; }
    // Rows covered by whole buckets.
    std::int32_t Rows() const { return static_cast<std::int32_t>(min_.size()) * kBucket; }
    // Memory held, in bytes.
    std::size_t Bytes() const { return (min_.capacity() + max_.capacity()) * sizeof(double); }

private:
    ColumnSummary() = default;
    // Smallest of lo[0..n) and largest of hi[0..n) (n at least 1); false when
    // a lo is NaN, which marks a bucket that is not clean.
    static bool BucketExtents(const double* lo, const double* hi, std::int32_t n, double& mn,
                              double& mx);

    const double* source_ = nullptr;
    std::vector<double> min_;  // NaN for a bucket that is not clean
    std::vector<double> max_;
};

}  // namespace kurvex
