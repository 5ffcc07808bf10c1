#include "data/ColumnSummary.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "data/MinMax.h"
#include "data/ResultVariable.h"
#include "data/Workers.h"

namespace kurvex {

namespace {

// Buckets handed to one worker at a time while a summary is built.
constexpr std::int64_t kBucketsPerItem = 1 << 14;

}  // namespace

bool CleanExtents(const double* y, const std::uint8_t* f, std::int32_t a, std::int32_t b,
                  double& mn, double& mx) {
    constexpr std::uint64_t kValid8 = 0x0101010101010101ull;
    std::uint64_t bad = 0;
    std::int32_t i = a;
    for (; i + 8 <= b; i += 8) {
        std::uint64_t eight;
        std::memcpy(&eight, f + i, 8);
        bad |= eight ^ kValid8;
    }
    for (; i < b; ++i) bad |= f[i] ^ kPointValid;
    if (bad) return false;
    return MinMax(y + a, b - a, mn, mx);
}

bool ColumnSummary::BucketExtents(const double* lo, const double* hi, std::int32_t n, double& mn,
                                  double& mx) {
    std::int32_t i = 0;
#if defined(__SSE2__)
    __m128d l = _mm_set1_pd(lo[0]), h = _mm_set1_pd(hi[0]), nan = _mm_setzero_pd();
    for (; i + 2 <= n; i += 2) {
        const __m128d a = _mm_loadu_pd(lo + i), b = _mm_loadu_pd(hi + i);
        l = _mm_min_pd(l, a);
        h = _mm_max_pd(h, b);
        nan = _mm_or_pd(nan, _mm_cmpunord_pd(a, a));
    }
    if (_mm_movemask_pd(nan)) return false;
    double ls[2], hs[2];
    _mm_storeu_pd(ls, l);
    _mm_storeu_pd(hs, h);
    mn = std::min(ls[0], ls[1]);
    mx = std::max(hs[0], hs[1]);
#else
    mn = lo[0];
    mx = hi[0];
#endif
    for (; i < n; ++i) {
        if (std::isnan(lo[i])) return false;
        mn = std::min(mn, lo[i]);
        mx = std::max(mx, hi[i]);
    }
    return true;
}

std::shared_ptr<const ColumnSummary> ColumnSummary::FromBuckets(
    const double* values, std::span<const double> min, std::span<const double> max,
    std::span<const std::uint32_t> valid, std::int32_t rows) {
    const auto buckets = static_cast<std::size_t>(std::max(rows, 0) / kBucket);
    if (min.size() < buckets || max.size() < buckets || valid.size() < buckets) return nullptr;
    std::shared_ptr<ColumnSummary> s(new (std::nothrow) ColumnSummary);
    if (!s) return nullptr;
    try {
        s->min_.resize(buckets);
        s->max_.resize(buckets);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    s->source_ = values;
    for (std::size_t k = 0; k < buckets; ++k) {
        const bool clean = valid[k] == static_cast<std::uint32_t>(kBucket);
        s->min_[k] = clean ? min[k] : std::numeric_limits<double>::quiet_NaN();
        s->max_[k] = clean ? max[k] : std::numeric_limits<double>::quiet_NaN();
    }
    return s;
}

std::shared_ptr<const ColumnSummary> ColumnSummary::Build(const double* values,
                                                          const std::uint8_t* flags,
                                                          std::int32_t rows, int workers) {
    std::shared_ptr<ColumnSummary> s(new (std::nothrow) ColumnSummary);
    if (!s) return nullptr;
    const std::int64_t buckets = std::max(rows, 0) / kBucket;
    try {
        s->min_.resize(static_cast<size_t>(buckets));
        s->max_.resize(static_cast<size_t>(buckets));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    s->source_ = values;
    double* lo = s->min_.data();
    double* hi = s->max_.data();
    const std::int64_t items = (buckets + kBucketsPerItem - 1) / kBucketsPerItem;
    ItemCounter counter(items);
    RunWorkers(
        static_cast<int>(std::clamp<std::int64_t>(workers, 1, std::max<std::int64_t>(items, 1))),
        [&](int) {
            for (std::int64_t item = counter.Next(); item >= 0; item = counter.Next()) {
                const std::int64_t end = std::min(buckets, (item + 1) * kBucketsPerItem);
                for (std::int64_t k = item * kBucketsPerItem; k < end; ++k) {
                    const auto a = static_cast<std::int32_t>(k * kBucket);
                    if (!kurvex::CleanExtents(values, flags, a, a + kBucket, lo[k], hi[k]))
                        lo[k] = hi[k] = std::numeric_limits<double>::quiet_NaN();
                }
            }
        });
    return s;
}

}  // namespace kurvex
