#pragma once

#include <cmath>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace kurvex {

// The samples of one curve over its X, read from index `first` to `last`. A
// sample is usable when both flags (where given) say valid and both values are
// finite; the others are skipped.
struct CycleTrace {
    const double* x = nullptr;
    const std::uint8_t* xFlags = nullptr;  // null: every X valid
    const double* y = nullptr;
    const std::uint8_t* yFlags = nullptr;  // null: every Y valid
    std::int32_t first = 0;
    std::int32_t last = -1;
    // X is known to be valid and non-decreasing (a sorted data-set column), so
    // its flags and order go unchecked and the searches read X only where
    // they need a time.
    bool xTrusted = false;

    // True when sample i takes part.
    bool Usable(std::int32_t i) const {
        if (!xTrusted && ((xFlags && xFlags[i] != 1) || !std::isfinite(x[i]))) return false;
        return (!yFlags || yFlags[i] == 1) && std::isfinite(y[i]);
    }
};

// The least and greatest usable Y of a trace.
struct TraceExtent {
    double min = 0.0;
    double max = 0.0;
};

// The extent of the usable samples; none when there is none.
std::optional<TraceExtent> ExtentOf(const CycleTrace& trace);

// Where a reference starts its cycles: it rises through `level` after having
// been below level - hysteresis / 2.
struct CycleLevel {
    double level = 0.0;
    double hysteresis = 0.0;
};

// The midpoint of the reference's extremes and a tenth of their span, each
// unless given; none when the reference has no usable sample.
std::optional<CycleLevel> CycleLevelOf(const CycleTrace& reference,
                                       std::optional<double> level = std::nullopt,
                                       std::optional<double> hysteresis = std::nullopt);

// The rising crossings of a reference, in order.
struct RisingCrossings {
    std::vector<double> times;  // interpolated between the samples around the level
    bool xBackwards = false;    // X decreased somewhere: no times are given
};

// Finds every rising crossing of `level` that follows a visit below
// level - hysteresis / 2, so chatter within the hysteresis band counts once.
RisingCrossings FindRisingCrossings(const CycleTrace& reference, const CycleLevel& level);

// The figures of one curve over one cycle [start, end]. Average and RMS are
// time integrals by the trapezoidal rule with the cycle's ends interpolated;
// segments that touch an unusable sample are left out of the integrals (and
// of the time they are divided by). NaN marks a figure the cycle cannot give.
struct CycleFigures {
    double start = 0.0;
    double end = 0.0;
    double avg = 0.0;
    double rms = 0.0;
    double min = 0.0;
    double max = 0.0;
    double duty = 0.0;         // fraction of the counted time at or above the duty level
    std::int32_t skipped = 0;  // unusable samples met inside the cycle
};

// The figures of `curve` for each cycle between consecutive `bounds` (rising
// crossing times of a reference), in one pass over the samples. The duty is
// taken against `dutyLevel` and is NaN without one.
std::vector<CycleFigures> FiguresPerCycle(const CycleTrace& curve, std::span<const double> bounds,
                                          std::optional<double> dutyLevel = std::nullopt);

}  // namespace kurvex
