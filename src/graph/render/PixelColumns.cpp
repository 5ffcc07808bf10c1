#include <cmath>

#include "data/cache/CachedResult.h"
#include "graph/render/CurveDrawing.h"

namespace kurvex {

PixelColumns FindPixelColumns(const PixelMap& map, const PlotRect& plot, const double* xv,
                              std::int32_t first, std::int32_t end) {
    PixelColumns columns;
    columns.left = plot.left;
    columns.starts.resize(static_cast<size_t>(plot.Width()) + 1);
    std::int32_t from = first, width = 0;
    for (std::int32_t k = 0; k <= plot.Width(); ++k) {
        const int column = plot.left + k;
        auto before = [&](std::int32_t i) { return map.PixelX(xv[i]) < column; };
        // Columns hold about as many samples as the one before: the search
        // gallops out from there, so that it touches a few nearby samples
        // instead of bisecting the whole column of X.
        const std::int32_t guess = static_cast<std::int32_t>(
            std::min<std::int64_t>(static_cast<std::int64_t>(from) + width, end));
        std::int32_t lo, hi;
        if (guess < end && before(guess)) {
            lo = guess + 1;
            for (std::int64_t step = 1;; step *= 2) {
                const std::int64_t probe = lo + step - 1;
                if (probe >= end) {
                    hi = end;
                    break;
                }
                if (!before(static_cast<std::int32_t>(probe))) {
                    hi = static_cast<std::int32_t>(probe);
                    break;
                }
                lo = static_cast<std::int32_t>(probe) + 1;
            }
        } else {
            hi = guess;
            for (std::int64_t step = 1;; step *= 2) {
                const std::int64_t probe = hi - step;
                if (probe < from) {
                    lo = from;
                    break;
                }
                if (before(static_cast<std::int32_t>(probe))) {
                    lo = static_cast<std::int32_t>(probe) + 1;
                    break;
                }
                hi = static_cast<std::int32_t>(probe);
            }
        }
        while (lo < hi) {
            const std::int32_t mid = lo + (hi - lo) / 2;
            if (before(mid))
                lo = mid + 1;
            else
                hi = mid;
        }
        width = k == 0 ? 0 : lo - from;
        columns.starts[static_cast<size_t>(k)] = from = lo;
    }
    return columns;
}

namespace {

// The first i of [lo, hi) that `before` refuses (hi when none), searched
// outward from `guess`: a good guess costs a few nearby samples.
template <class Before>
std::int32_t PartitionNear(std::int32_t lo, std::int32_t hi, std::int32_t guess, Before before) {
    guess = std::clamp(guess, lo, hi);
    std::int64_t a = lo, b = hi;  // the answer lies in [a, b]
    if (guess < hi && before(guess)) {
        a = guess + 1;
        for (std::int64_t step = 1; a + step - 1 < hi; step *= 2) {
            if (!before(static_cast<std::int32_t>(a + step - 1))) {
                b = a + step - 1;
                break;
            }
            a += step;
        }
    } else {
        b = guess;
        for (std::int64_t step = 1; b - step >= lo; step *= 2) {
            if (before(static_cast<std::int32_t>(b - step))) {
                a = b - step + 1;
                break;
            }
            b -= step;
        }
    }
    while (a < b) {
        const std::int64_t mid = a + (b - a) / 2;
        if (before(static_cast<std::int32_t>(mid)))
            a = mid + 1;
        else
            b = mid;
    }
    return static_cast<std::int32_t>(a);
}

}  // namespace

PixelColumns FindEvenPixelColumns(const PixelMap& map, const PlotRect& plot, const double* xv,
                                  std::int32_t first, std::int32_t end, double x0, double step) {
    PixelColumns columns;
    columns.left = plot.left;
    const int width = plot.Width();
    columns.starts.assign(static_cast<size_t>(std::max(width, 0)) + 1, first);
    const double kx = map.Kx(), from = map.XFrom();
    // Sample i lies near x0 + i * step, in pixels from the plot's left q(i).
    // Each true step is within 2^-35 of `step` (upper 48 bits equal, rounding
    // included), and q and PixelX each round a few times: `slack` bounds how
    // far PixelX's own fraction may lie from q, twice over.
    const auto q = [&](std::int64_t i) { return (x0 + static_cast<double>(i) * step - from) * kx; };
    const auto slack = [&](std::int64_t i) {
        const double run = std::fabs(static_cast<double>(i) * step);
        return kx *
                   (run * 0x1p-34 + (2.0 * std::fabs(x0) + 2.0 * run + std::fabs(from)) * 0x1p-48) +
               1e-9;
    };
    // Sample i surely lies in column k or right of it; surely left of it.
    const auto reaches = [&](std::int64_t i, int k) { return q(i) - slack(i) >= k; };
    const auto leftOf = [&](std::int64_t i, int k) { return q(i) + slack(i) < k; };
    std::vector<std::int32_t> unsure, guesses;
    for (int k = 0; k <= width; ++k) {
        const double t = std::ceil((k / kx + from - x0) / step);
        std::int64_t i =
            std::isfinite(t) ? static_cast<std::int64_t>(std::clamp<double>(t, first, end)) : first;
        bool sure = false;
        // The start is the first sample in the column or right of it.
        for (int tries = 0; tries < 4 && !sure; ++tries) {
            if (i > first && !leftOf(i - 1, k)) {
                if (!reaches(i - 1, k)) break;
                --i;
                continue;
            }
            if (i < end && !reaches(i, k)) {
                if (!leftOf(i, k)) break;
                ++i;
                continue;
            }
            sure = true;
        }
        columns.starts[static_cast<size_t>(k)] = static_cast<std::int32_t>(i);
        if (!sure) unsure.push_back(k), guesses.push_back(static_cast<std::int32_t>(i));
    }
    if (unsure.empty()) return columns;
    // A sample on or next to an edge: its X decides, read where the guess is.
    PrefetchColumnEnds(xv, guesses, false);
    for (size_t u = 0; u < unsure.size(); ++u) {
        const int column = plot.left + unsure[u];
        columns.starts[static_cast<size_t>(unsure[u])] = PartitionNear(
            first, end, guesses[u], [&](std::int32_t i) { return map.PixelX(xv[i]) < column; });
    }
    return columns;
}

}  // namespace kurvex
