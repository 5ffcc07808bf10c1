#include "data/model/Extents.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "data/model/ResultVariable.h"
#include "data/platform/Workers.h"

namespace kurvex {

namespace {

constexpr std::uint64_t kAllValid = 0x0101010101010101ull;
// Rows below this are not worth a thread.
constexpr std::int64_t kRowsPerWorker = 1 << 20;

// Lowers mn and raises mx over the valid samples of [from, to), replacing
// only on strictly smaller or larger values. A NaN never replaces anything,
// and mn, mx must not be NaN.
void Widen(const double* v, const std::uint8_t* f, std::int64_t from, std::int64_t to, double& mn,
           double& mx) {
    std::int64_t i = from;
    // Eight rows at a time while all eight are valid.
#if defined(__SSE2__)
    // minpd(x, acc) gives acc unless x < acc: the walk's rule, NaN included.
    __m128d lo0 = _mm_set1_pd(mn), lo1 = lo0, lo2 = lo0, lo3 = lo0;
    __m128d hi0 = _mm_set1_pd(mx), hi1 = hi0, hi2 = hi0, hi3 = hi0;
    for (; i + 8 <= to; i += 8) {
        std::uint64_t eight;
        std::memcpy(&eight, f + i, 8);
        if (eight != kAllValid) {
            for (std::int64_t k = i; k < i + 8; ++k) {
                if (f[k] != kPointValid) continue;
                const __m128d x = _mm_set1_pd(v[k]);
                lo0 = _mm_min_pd(x, lo0);
                hi0 = _mm_max_pd(x, hi0);
            }
            continue;
        }
        const __m128d a = _mm_loadu_pd(v + i), b = _mm_loadu_pd(v + i + 2);
        const __m128d c = _mm_loadu_pd(v + i + 4), d = _mm_loadu_pd(v + i + 6);
        lo0 = _mm_min_pd(a, lo0);
        lo1 = _mm_min_pd(b, lo1);
        lo2 = _mm_min_pd(c, lo2);
        lo3 = _mm_min_pd(d, lo3);
        hi0 = _mm_max_pd(a, hi0);
        hi1 = _mm_max_pd(b, hi1);
        hi2 = _mm_max_pd(c, hi2);
        hi3 = _mm_max_pd(d, hi3);
    }
    double lo[8], hi[8];
    _mm_storeu_pd(lo, lo0);
    _mm_storeu_pd(lo + 2, lo1);
    _mm_storeu_pd(lo + 4, lo2);
    _mm_storeu_pd(lo + 6, lo3);
    _mm_storeu_pd(hi, hi0);
    _mm_storeu_pd(hi + 2, hi1);
    _mm_storeu_pd(hi + 4, hi2);
    _mm_storeu_pd(hi + 6, hi3);
    for (int k = 0; k < 8; ++k) {
        if (lo[k] < mn) mn = lo[k];
        if (hi[k] > mx) mx = hi[k];
    }
#endif
    for (; i < to; ++i) {
        if (f[i] != kPointValid) continue;
        if (v[i] < mn) mn = v[i];
        if (v[i] > mx) mx = v[i];
    }
}

// The first valid sample of [from, n) equal to `value`, which is one.
double FirstEqual(const double* v, const std::uint8_t* f, std::int64_t from, std::int64_t n,
                  double value) {
    for (std::int64_t i = from; i < n; ++i) {
        if (f[i] == kPointValid && v[i] == value) return v[i];
    }
    return value;
}

}  // namespace

Extents ValidExtents(const double* values, const std::uint8_t* flags, std::int64_t n, int workers) {
    Extents r;
    if (n <= 0) return r;
    const auto* hit =
        static_cast<const std::uint8_t*>(std::memchr(flags, kPointValid, static_cast<size_t>(n)));
    if (!hit) return r;
    const std::int64_t first = hit - flags;
    r.found = true;
    r.min = r.max = values[first];
    // Nothing replaces a NaN that comes first.
    if (std::isnan(r.min)) return r;

    const std::int64_t rest = n - first - 1;
    const auto parts =
        static_cast<int>(std::clamp<std::int64_t>(rest / kRowsPerWorker, 1, std::max(workers, 1)));
    // Every part starts from the first valid sample, so a NaN inside a part
    // is passed over as the walk passes over it.
    std::vector<Extents> part(static_cast<size_t>(parts), r);
    ItemCounter counter(parts);
    RunWorkers(parts, [&](int) {
        for (std::int64_t p = counter.Next(); p >= 0; p = counter.Next()) {
            const std::int64_t from = first + 1 + rest * p / parts;
            const std::int64_t to = first + 1 + rest * (p + 1) / parts;
            Widen(values, flags, from, to, part[static_cast<size_t>(p)].min,
                  part[static_cast<size_t>(p)].max);
        }
    });
    for (const Extents& e : part) {
        if (e.min < r.min) r.min = e.min;
        if (e.max > r.max) r.max = e.max;
    }
    // Equal values differ only as -0 and +0; the walk keeps the earlier one.
    if (r.min == 0.0) r.min = FirstEqual(values, flags, first, n, 0.0);
    if (r.max == 0.0) r.max = FirstEqual(values, flags, first, n, 0.0);
    return r;
}

}  // namespace kurvex
