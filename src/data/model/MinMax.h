#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kurvex {

// Smallest and largest of v[0..n) (n at least 1); false when one is NaN. The
// loop that dense columns and their summaries spend their time in, so it
// works two lanes at a time where the processor has them. Inline: it is
// called once per short block on the drawing path.
inline bool MinMax(const double* v, std::int32_t n, double& mn, double& mx) {
    std::int32_t i = 0;
#if defined(__SSE2__)
    __m128d lo = _mm_set1_pd(v[0]), hi = lo, nan = _mm_setzero_pd();
    __m128d lo2 = lo, hi2 = lo;
    for (; i + 4 <= n; i += 4) {
        const __m128d a = _mm_loadu_pd(v + i), b = _mm_loadu_pd(v + i + 2);
        lo = _mm_min_pd(lo, a);
        hi = _mm_max_pd(hi, a);
        lo2 = _mm_min_pd(lo2, b);
        hi2 = _mm_max_pd(hi2, b);
        nan = _mm_or_pd(nan, _mm_or_pd(_mm_cmpunord_pd(a, a), _mm_cmpunord_pd(b, b)));
    }
    if (_mm_movemask_pd(nan)) return false;
    double l[2], h[2];
    _mm_storeu_pd(l, _mm_min_pd(lo, lo2));
    _mm_storeu_pd(h, _mm_max_pd(hi, hi2));
    mn = std::min(l[0], l[1]);
    mx = std::max(h[0], h[1]);
#else
    mn = mx = v[0];
#endif
    for (; i < n; ++i) {
        if (std::isnan(v[i])) return false;
        mn = std::min(mn, v[i]);
        mx = std::max(mx, v[i]);
    }
    return true;
}

}  // namespace kurvex
