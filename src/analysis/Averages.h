#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "graph/GraphCurve.h"

namespace kurvex {

// Plain means over the samples of a window, each sample counting once.
struct AverageFigures {
    double mean = 0.0;
    double meanAbs = 0.0;
    double rms = 0.0;
    std::int32_t samples = 0;
};

// The figures over y[first..last] whatever the point flags; none when the
// window holds no sample. Without `withAbs` meanAbs may be left NaN: a cached
// column then sums from its pyramid without reading samples.
std::optional<AverageFigures> AveragesOver(const double* y, std::int32_t first, std::int32_t last,
                                           bool withAbs = true);

}  // namespace kurvex
