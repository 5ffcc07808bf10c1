#pragma once

#include <cstdint>

namespace kurvex {

// Smallest and largest valid sample.
struct Extents {
    bool found = false;  // some sample was valid
    double min = 0.0;
    double max = 0.0;
};

// The extents of the valid samples (flag 1) of rows [0, n), exactly as a walk
// in row order keeps them: the first valid sample starts both, and a later one
// replaces either only when strictly smaller or larger. So a NaN counts only
// when it is the first valid sample, and of -0 and +0 the earlier one stays.
// Uses up to `workers` threads, and runs at the speed of a plain min/max pass.
Extents ValidExtents(const double* values, const std::uint8_t* flags, std::int64_t n,
                     int workers = 1);

}  // namespace kurvex
