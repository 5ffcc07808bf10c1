#include "data/model/ColumnSummary.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "data/model/MinMax.h"
#include "data/model/ResultVariable.h"
#include "data/model/SummaryPyramid.h"
#include "data/platform/Workers.h"

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

bool ColumnSummary::Cover(std::int32_t first, std::int32_t end, double& mn, double& mx) const {
    mn = std::numeric_limits<double>::infinity();
    mx = -mn;
    auto take = [&](const Level& l, std::int32_t from, std::int32_t to) {
        if (from >= to) return true;
        if (l.valid) {
            std::uint32_t bad = 0;
            for (std::int32_t k = from; k < to; ++k) bad |= l.valid[k] ^ l.full;
            if (bad) return false;
        }
        double lo, hi;
        if (!BucketExtents(l.min + from, l.max + from, to - from, lo, hi)) return false;
        mn = std::min(mn, lo);
        mx = std::max(mx, hi);
        return true;
    };
    // The ends of each level up to its parents' edges; the rest from the
    // level above, as a segment tree covers a range.
    for (std::size_t level = 0;; ++level) {
        const Level& l = levels_[level];
        const std::int32_t up = first / kBucket + (first % kBucket != 0), upEnd = end / kBucket;
        if (level + 1 == levels_.size() || up >= upEnd) return take(l, first, end);
        if (!take(l, first, up * kBucket) || !take(l, upEnd * kBucket, end)) return false;
        first = up;
        end = upEnd;
    }
}

std::size_t ColumnSummary::Bytes() const {
    std::size_t bytes = levels_.capacity() * sizeof(Level) + owned_.capacity() * sizeof(owned_[0]);
    for (const auto& a : owned_) bytes += a.capacity() * sizeof(double);
    return bytes;
}

std::shared_ptr<const ColumnSummary> ColumnSummary::Over(const double* values,
                                                         const SummaryPyramidView& pyramid,
                                                         std::int32_t rows,
                                                         std::shared_ptr<const void> keepAlive) {
    static_assert(kPyramidFan == kBucket, "a pyramid's bucket is a summary's");
    if (rows > pyramid.Rows()) return nullptr;
    std::shared_ptr<ColumnSummary> s(new (std::nothrow) ColumnSummary);
    if (!s) return nullptr;
    s->source_ = values;
    s->keepAlive_ = std::move(keepAlive);
    try {
        std::int64_t size = kBucket;
        for (int level = 1; level <= pyramid.Levels() && rows / size > 0; ++level) {
            const PyramidLevel& p = pyramid.Level(level);
            const auto count = static_cast<std::int32_t>(rows / size);
            if (p.min.size() < std::size_t(count) || p.max.size() < std::size_t(count) ||
                p.valid.size() < std::size_t(count))
                return nullptr;
            s->levels_.push_back({p.min.data(), p.max.data(), p.valid.data(),
                                  static_cast<std::uint32_t>(size), count});
            size *= kBucket;
        }
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    return s;
}

std::shared_ptr<const ColumnSummary> ColumnSummary::Build(const double* values,
                                                          const std::uint8_t* flags,
                                                          std::int32_t rows, int workers) {
    std::shared_ptr<ColumnSummary> s(new (std::nothrow) ColumnSummary);
    if (!s) return nullptr;
    s->source_ = values;
    try {
        for (std::int64_t count = std::max(rows, 0) / kBucket; count > 0; count /= kBucket) {
            s->owned_.emplace_back(static_cast<std::size_t>(count));
            s->owned_.emplace_back(static_cast<std::size_t>(count));
            s->levels_.push_back({s->owned_[s->owned_.size() - 2].data(), s->owned_.back().data(),
                                  nullptr, 0, static_cast<std::int32_t>(count)});
        }
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    if (s->levels_.empty()) return s;
    const std::int64_t buckets = s->levels_[0].count;
    double* lo = s->owned_[0].data();
    double* hi = s->owned_[1].data();
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
    // The levels above cost a 63rd of the first: built here, from it.
    for (std::size_t level = 1; level < s->levels_.size(); ++level) {
        const Level& below = s->levels_[level - 1];
        double* up = s->owned_[2 * level].data();
        double* upMax = s->owned_[2 * level + 1].data();
        for (std::int32_t k = 0; k < s->levels_[level].count; ++k)
            if (!BucketExtents(below.min + k * kBucket, below.max + k * kBucket, kBucket, up[k],
                               upMax[k]))
                up[k] = upMax[k] = std::numeric_limits<double>::quiet_NaN();
    }
    return s;
}

}  // namespace kurvex
