#include "formula/CycleMath.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kurvex {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr std::uint8_t kValid = 1;

// Sums of one cycle. The trapezoids' halves are applied once at the end.
struct Accumulator {
    double sum = 0.0;      // twice the integral of y
    double squares = 0.0;  // twice the integral of y^2
    double time = 0.0;
    double above = 0.0;
    double min = std::numeric_limits<double>::infinity();
    double max = -std::numeric_limits<double>::infinity();
    std::int32_t skipped = 0;

    void Point(double y) {
        min = std::min(min, y);
        max = std::max(max, y);
    }
    void Trapezoid(double dt, double ya, double yb) {
        sum += (ya + yb) * dt;
        squares += (ya * ya + yb * yb) * dt;
        time += dt;
    }
    // The part of a straight segment at or above `level`.
    void Above(double dt, double ya, double yb, double level) {
        if (ya >= level && yb >= level) {
            above += dt;
        } else if (ya >= level || yb >= level) {
            above += dt * (std::max(ya, yb) - level) / std::fabs(yb - ya);
        }
    }
    CycleFigures Figures(double start, double end, bool duty) const {
        CycleFigures f{start, end, kNaN, kNaN, kNaN, kNaN, kNaN, skipped};
        if (time > 0.0) {
            f.avg = sum / (2.0 * time);
            f.rms = std::sqrt(squares / (2.0 * time));
            if (duty) f.duty = above / time;
        }
        if (min <= max) {
            f.min = min;
            f.max = max;
        }
        return f;
    }
};

// y on the segment from (xa, ya) to (xb, yb) at t, the ends exactly.
double At(double t, double xa, double ya, double xb, double yb) {
    if (t <= xa) return ya;
    if (t >= xb) return yb;
    return ya + (yb - ya) * ((t - xa) / (xb - xa));
}

template <bool kDuty>
void Walk(const CycleTrace& c, std::span<const double> bounds, double level,
          std::vector<CycleFigures>& out) {
    const std::size_t cycles = bounds.size() - 1;
    std::size_t k = 0;
    double t0 = bounds[0];
    double t1 = bounds[1];
    Accumulator acc;
    const auto finish = [&]() {
        out[k] = acc.Figures(t0, t1, kDuty);
        acc = Accumulator{};
        if (++k < cycles) {
            t0 = bounds[k];
            t1 = bounds[k + 1];
        }
    };
    const double* x = c.x;
    const double* y = c.y;
    bool havePrev = false;
    bool inside = false;  // a usable sample at or after the first bound was met
    double xp = 0.0;
    double yp = 0.0;
    for (std::int32_t i = c.first; i <= c.last && k < cycles; ++i) {
        if (!c.Usable(i)) {
            // Counted in the cycle its X places it in, or the current one.
            const bool xKnown = (!c.xFlags || c.xFlags[i] == kValid) && std::isfinite(x[i]);
            if (xKnown) {
                while (k < cycles && x[i] >= t1) finish();
                if (k < cycles && x[i] >= t0) ++acc.skipped;
            } else if (inside) {
                ++acc.skipped;
            }
            havePrev = false;  // no trapezoid spans the gap
            continue;
        }
        const double xi = x[i];
        const double yi = y[i];
        if (havePrev && xp >= t0 && xi < t1) {
            // The common case: a whole segment inside the cycle.
            const double dt = xi - xp;
            acc.Trapezoid(dt, yp, yi);
            if constexpr (kDuty) acc.Above(dt, yp, yi, level);
            acc.Point(yi);
        } else if (havePrev) {
            // The segment reaches into the cycle or over one of its ends.
            while (k < cycles && xi >= t0) {
                const double from = std::max(xp, t0);
                const double to = std::min(xi, t1);
                const double ya = At(from, xp, yp, xi, yi);
                const double yb = At(to, xp, yp, xi, yi);
                acc.Trapezoid(to - from, ya, yb);
                if constexpr (kDuty) acc.Above(to - from, ya, yb, level);
                acc.Point(ya);
                acc.Point(yb);
                inside = true;
                if (xi < t1) break;
                finish();
            }
        } else {
            // After a gap (or at the start) the cycles that ended unseen end empty.
            while (k < cycles && xi >= t1) finish();
            if (k < cycles && xi >= t0) {
                acc.Point(yi);
                inside = true;
            }
        }
        xp = xi;
        yp = yi;
        havePrev = true;
    }
    while (k < cycles) finish();
}

}  // namespace

bool CycleTrace::Usable(std::int32_t i) const {
    if (xFlags && xFlags[i] != kValid) return false;
    if (yFlags && yFlags[i] != kValid) return false;
    return std::isfinite(x[i]) && std::isfinite(y[i]);
}

std::optional<TraceExtent> ExtentOf(const CycleTrace& trace) {
    double mn = std::numeric_limits<double>::infinity();
    double mx = -mn;
    for (std::int32_t i = trace.first; i <= trace.last; ++i) {
        if (!trace.Usable(i)) continue;
        mn = std::min(mn, trace.y[i]);
        mx = std::max(mx, trace.y[i]);
    }
    if (!(mn <= mx)) return std::nullopt;
    return TraceExtent{mn, mx};
}

std::optional<CycleLevel> CycleLevelOf(const CycleTrace& reference, std::optional<double> level,
                                       std::optional<double> hysteresis) {
    const auto extent = ExtentOf(reference);
    if (!extent) return std::nullopt;
    const double mn = extent->min;
    const double mx = extent->max;
    CycleLevel l;
    l.level = level ? *level : mn + (mx - mn) / 2.0;
    l.hysteresis = hysteresis ? std::max(*hysteresis, 0.0) : (mx - mn) / 10.0;
    return l;
}

RisingCrossings FindRisingCrossings(const CycleTrace& reference, const CycleLevel& level) {
    RisingCrossings r;
    const double arm = level.level - level.hysteresis / 2.0;
    bool armed = false;
    bool havePrev = false;
    double xp = 0.0;
    double yp = 0.0;
    for (std::int32_t i = reference.first; i <= reference.last; ++i) {
        if (!reference.Usable(i)) continue;
        const double x = reference.x[i];
        const double y = reference.y[i];
        if (havePrev && x < xp) {
            r.times.clear();
            r.xBackwards = true;
            return r;
        }
        if (armed && y >= level.level) {
            // Armed means the sample before is below the level, so y > yp.
            const double t = std::clamp(xp + (x - xp) * ((level.level - yp) / (y - yp)), xp, x);
            // Two crossings at one instant (repeated time stamps) make no cycle.
            if (r.times.empty() || t > r.times.back()) r.times.push_back(t);
            armed = false;
        }
        if (y < arm) armed = true;
        xp = x;
        yp = y;
        havePrev = true;
    }
    return r;
}

std::vector<CycleFigures> FiguresPerCycle(const CycleTrace& curve, std::span<const double> bounds,
                                          std::optional<double> dutyLevel) {
    std::vector<CycleFigures> out;
    if (bounds.size() < 2) return out;
    out.resize(bounds.size() - 1);
    if (dutyLevel)
        Walk<true>(curve, bounds, *dutyLevel, out);
    else
        Walk<false>(curve, bounds, 0.0, out);
    return out;
}

}  // namespace kurvex
