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

}  // namespace kurvex
