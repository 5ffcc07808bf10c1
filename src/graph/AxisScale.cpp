#include "graph/AxisScale.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <utility>

namespace kurvex {

namespace {

// Guard of the nice-step passes and their end searches.
constexpr int kStepSearchLimit = 1000;

struct StepThresholds {
    bool yAxis;
    double upTo[4];  // mantissa limits of the steps 0.2, 0.25, 0.5 and 1 (else 2)
};

constexpr StepThresholds kXThresholds{false, {1.001, 1.251, 3.501, 6.001}};
constexpr StepThresholds kYThresholds{true, {1.5, 1.75, 3.5, 7.0}};

// One step choice for the span d, or 0 when d is no usable span.
double ChooseStep(double d, const StepThresholds& t) {
    if (!(d > 0.0) || !std::isfinite(d)) return 0.0;
    const double l = std::log10(d);
    int e = static_cast<int>(std::trunc(l));
    double m = d;
    if (l >= 0.0 && l < 1.0) {
        e = 0;
    } else {
        if (e <= 0) e -= 1;
        m = d * std::pow(10.0, -e);
    }
    const double p = std::pow(10.0, e);
    double factor = 2.0;
    // The Y axis takes its smallest step only strictly below its limit.
    if (t.yAxis ? m < t.upTo[0] : m <= t.upTo[0]) {
        factor = 0.2;
    } else if (m <= t.upTo[1]) {
        factor = 0.25;
    } else if (m <= t.upTo[2]) {
        factor = 0.5;
    } else if (m <= t.upTo[3]) {
        factor = 1.0;
    }
    const double step = factor * p;
    return (step > 0.0 && std::isfinite(step)) ? step : 0.0;
}

void MoveToOntoGridX(double& to, double from, double step) {
    // Relative to the size of `to` whatever its sign: a negative end that is
    // already on the grid must stay where it is.
    const double tolerance = std::fabs(to) * 0.0001;
    const double residue = std::fabs(to - std::trunc(to / step) * step);
    if (residue < tolerance || residue == 0.0) return;
    if (from + tolerance < to) {
        double v = from;
        for (int k = 1; k <= kStepSearchLimit; ++k) {
            v = from + k * step;
            if (v + tolerance >= to) break;
        }
        to = v;
    } else {
        to = from;
    }
}

void MoveToOntoGridY(double& to, double from, double step) {
    if (std::fmod(to, step) == 0.0) return;
    double v = from;
    for (int k = 1; k <= kStepSearchLimit && v < to; ++k) v = from + k * step;
    // A value tiny against the old end is rounding noise around zero.
    if (std::fabs(v) < std::pow(10.0, std::floor(std::log10(std::fabs(to))) - 5)) v = 0.0;
    to = v;
}

double NiceStep(double& to, double& from, const StepThresholds& t) {
    double step = 0.0;
    for (int pass = 0; pass < 2; ++pass) {
        const double s = ChooseStep(to - from, t);
        if (s == 0.0) break;
        step = s;
        from = AlignDown(from, step);
        if (t.yAxis) {
            MoveToOntoGridY(to, from, step);
        } else {
            MoveToOntoGridX(to, from, step);
        }
    }
    return step;
}

}  // namespace

bool Equal48(double a, double b) {
    return (std::bit_cast<std::uint64_t>(a) >> 16) == (std::bit_cast<std::uint64_t>(b) >> 16);
}

double NiceStepX(double& to, double& from) {
    return NiceStep(to, from, kXThresholds);
}

double NiceStepY(double& to, double& from) {
    return NiceStep(to, from, kYThresholds);
}

double AlignDown(double value, double step) {
    if (!(step > 0.0) || !std::isfinite(step) || !std::isfinite(value)) return value;
    if (value < 0.0 && std::fabs(value) < step) return -step;
    const double rest = std::fmod(value, step);
    if (value < 0.0 && rest != 0.0) return value - rest - step;
    return std::floor(value / step) * step;
}

double AdjustDivisions(double span, double increment) {
    if (!(increment > 0.0) || !std::isfinite(increment) || !(span > 0.0) || !std::isfinite(span))
        return increment;
    struct Pass {
        int times;
        double minDivisions;  // stop when n >= this (0: no lower test)
        double maxDivisions;  // stop when n <= this (0: no upper test)
        double factor;
    };
    static constexpr Pass kPasses[] = {
        {100, 2.0, 0.0, 0.1},
        {100, 0.0, 20.0, 10.0},
        {10, 3.0, 0.0, 0.5},
        {10, 0.0, 8.0, 2.0},
    };
    for (const Pass& p : kPasses) {
        for (int i = 0; i < p.times; ++i) {
            const double n = span / increment;
            if (p.minDivisions > 0.0 ? n >= p.minDivisions : n <= p.maxDivisions) break;
            increment *= p.factor;
        }
    }
    return increment;
}

double IncrementFromDivisions(double& from, double& to, std::int32_t divisions, bool autoGrid,
                              Axis axis) {
    if (autoGrid) return axis == Axis::X ? NiceStepX(to, from) : NiceStepY(to, from);
    const std::int32_t n = std::clamp<std::int32_t>(divisions, 1, 20);
    return (to - from) / n;
}

DataExtent WidenExtent(DataExtent e) {
    if (Equal48(e.min, e.max)) {
        if (e.min != 0.0) {
            e.min *= 0.9;
            e.max *= 1.1;
        } else {
            e.min = 0.0;
            e.max = 0.1;
        }
    }
    if (e.min > e.max) std::swap(e.min, e.max);
    return e;
}

double DegreeStep(double& from, double& to) {
    constexpr double kMaxDivisions = 8.0;
    if (!std::isfinite(to - from) || !(to - from >= 90.0)) return 0.0;
    // Bounded: 45 * 2^1100 is no longer finite, and spans that large fail above.
    for (double step = 45.0; std::isfinite(step); step *= 2.0) {
        const double lo = std::floor(from / step) * step;
        const double hi = std::ceil(to / step) * step;
        if ((hi - lo) / step <= kMaxDivisions) {
            from = lo;
            to = hi;
            return step;
        }
    }
    return 0.0;
}

}  // namespace kurvex
