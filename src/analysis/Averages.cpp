#include "analysis/Averages.h"

#include <algorithm>
#include <cmath>

#include "data/cache/CachedResult.h"

namespace kurvex {

std::optional<AverageFigures> AveragesOver(const double* y, std::int32_t first, std::int32_t last,
                                           bool withAbs) {
    if (!y || first < 0 || last < first) return std::nullopt;
    const std::int32_t n = last - first + 1;
    const double count = static_cast<double>(n);
    // A cached column sums from its pyramid: a window of 5e8 rows in
    // milliseconds. Its buckets add in another order than this walk, so the
    // figures may differ from the walk's in the last few bits.
    if (const auto s = CachedSums(y, first, std::int64_t(last) + 1, withAbs))
        return AverageFigures{s->sum / count, withAbs ? s->sumAbs / count : NAN,
                              std::sqrt(s->sumSquares / count), n};
    // Three independent sums: one pass, no chain waits on another.
    double sum = 0.0;
    double sumAbs = 0.0;
    double sumSquares = 0.0;
    for (std::int32_t i = first; i <= last; ++i) {
        const double v = y[i];
        sum += v;
        sumAbs += std::fabs(v);
        sumSquares += v * v;
    }
    return AverageFigures{sum / count, sumAbs / count, std::sqrt(sumSquares / count), n};
}

}  // namespace kurvex
