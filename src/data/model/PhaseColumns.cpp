#include "data/model/PhaseColumns.h"

#include <cmath>
#include <vector>

#include "data/model/ResultVariable.h"

namespace kurvex {

void UnwrapPhaseColumn(const double* x, const std::uint8_t* xFlags, double* degrees,
                       const std::uint8_t* flags, std::int64_t rows) {
    PhaseUnwrapper unwrap;
    for (std::int64_t i = 0; i < rows; ++i) {
        const double d = degrees[i];
        if (flags[i] != kPointValid || !std::isfinite(d)) continue;
        const double v = unwrap.Next(d, x[i], xFlags[i] == kPointValid && std::isfinite(x[i]));
        degrees[i] = v;
    }
}

void GroupDelayColumn(const double* frequency, const std::uint8_t* frequencyFlags,
                      const double* degrees, const std::uint8_t* flags, double* delay,
                      std::uint8_t* delayFlags, std::int64_t rows) {
    if (rows <= 0) return;
    const auto n = static_cast<std::size_t>(rows);
    std::vector<double> p(degrees, degrees + n);
    std::vector<std::uint8_t> usable(n);
    for (std::size_t i = 0; i < n; ++i) {
        usable[i] = flags[i] == kPointValid && std::isfinite(p[i]) &&
                    frequencyFlags[i] == kPointValid && std::isfinite(frequency[i]);
    }
    // Where the frequency falls the delay is invalid, so a fresh start of
    // the unwrapping there changes no slope.
    UnwrapPhaseColumn(frequency, frequencyFlags, p.data(), flags, rows);
    const double* f = frequency;
    for (std::size_t i = 0; i < n; ++i) {
        delay[i] = 0.0;
        delayFlags[i] = kPointInvalid;
        const bool left = i > 0, right = i + 1 < n;
        if (!usable[i] || (left && !usable[i - 1]) || (right && !usable[i + 1])) continue;
        double slope = 0.0;
        if (left && right) {
            const double h1 = f[i] - f[i - 1], h2 = f[i + 1] - f[i];
            if (!(h1 > 0.0 && h2 > 0.0)) continue;
            // Second-order accurate on uneven spacing, where the plain
            // secant is only first-order.
            slope = -h2 / (h1 * (h1 + h2)) * p[i - 1] + (h2 - h1) / (h1 * h2) * p[i] +
                    h1 / (h2 * (h1 + h2)) * p[i + 1];
        } else if (left || right) {
            const std::size_t a = left ? i - 1 : i;
            const double h = f[a + 1] - f[a];
            if (!(h > 0.0)) continue;
            slope = (p[a + 1] - p[a]) / h;
        } else {
            continue;
        }
        delay[i] = -slope / 360.0;
        delayFlags[i] = kPointValid;
    }
}

}  // namespace kurvex
