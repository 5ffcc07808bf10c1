#include "formula/CycleMath.h"

#include <algorithm>
#include <cmath>
#include <cstring>
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

// The share of a straight segment at or above `level`.
inline double AboveShare(double ya, double yb, double level) {
    const double hi = std::max(ya, yb);
    const double lo = std::min(ya, yb);
    if (hi < level) return 0.0;
    return lo >= level ? 1.0 : (hi - level) / (hi - lo);
}

// The figures of each cycle, sample by sample: any X, any mix of unusable
// samples, cycles that begin or end beyond the samples.
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
    std::int32_t i = c.first;
    while (i <= c.last && k < cycles) {
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
            ++i;
            continue;
        }
        const double xi = x[i];
        const double yi = y[i];
        if (havePrev && xp >= t0 && xi < t1) {
            // A whole segment inside the cycle.
            const double dt = xi - xp;
            acc.Trapezoid(dt, yp, yi);
            if constexpr (kDuty) acc.above += dt * AboveShare(yp, yi, level);
            acc.Point(yi);
        } else if (havePrev) {
            // The segment reaches into the cycle or over one of its ends.
            while (k < cycles && xi >= t0) {
                const double from = std::max(xp, t0);
                const double to = std::min(xi, t1);
                const double ya = At(from, xp, yp, xi, yi);
                const double yb = At(to, xp, yp, xi, yi);
                acc.Trapezoid(to - from, ya, yb);
                if constexpr (kDuty) acc.above += (to - from) * AboveShare(ya, yb, level);
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
        ++i;
    }
    while (k < cycles) finish();
}

// The first index from `from` on (before `end`) whose X is not below t:
// galloping, as the next bound lies a cycle ahead.
std::int32_t Seek(const double* x, std::int32_t from, std::int32_t end, double t) {
    if (from >= end || !(x[from] < t)) return from;
    std::int32_t lo = from;  // x[lo] < t
    std::int32_t step = 1;
    std::int32_t hi = std::min(end, lo + step);
    while (hi < end && x[hi] < t) {
        lo = hi;
        step *= 2;
        hi = static_cast<std::int32_t>(std::min<std::int64_t>(end, std::int64_t{lo} + step));
    }
    return static_cast<std::int32_t>(std::lower_bound(x + lo + 1, x + hi, t) - x);
}

// The same search starting at `guess` (the last cycle's length ahead), where
// the bound usually lies within a few samples; a guess far off falls back to
// galloping or bisection.
std::int32_t SeekNear(const double* x, std::int32_t from, std::int32_t end, double t,
                      std::int32_t guess) {
    constexpr int kSteps = 32;
    std::int32_t g = std::clamp(guess, from, end);
    if (g == end || !(x[g] < t)) {
        // The answer lies at or before the guess.
        for (int n = 0; n < kSteps; ++n, --g) {
            if (g == from || x[g - 1] < t) return g;
        }
        return static_cast<std::int32_t>(std::lower_bound(x + from, x + g, t) - x);
    }
    for (int n = 0; n < kSteps; ++n, ++g) {
        if (g == end || !(x[g] < t)) return g;
    }
    return Seek(x, g, end, t);
}

// True when flags from .. to all say valid (or there are none), eight at a time.
bool FlagsValid(const std::uint8_t* f, std::int32_t from, std::int32_t to) {
    if (!f) return true;
    constexpr std::uint64_t kOnes = 0x0101010101010101;
    std::uint64_t diff = 0;
    std::int32_t i = from;
    for (; i + 7 <= to; i += 8) {
        std::uint64_t w;
        std::memcpy(&w, f + i, sizeof w);
        diff |= w ^ kOnes;
    }
    for (; i <= to; ++i) diff |= f[i] ^ 1u;
    return diff == 0;
}

using V2 = double __attribute__((vector_size(16)));

V2 Load(const double* p) {
    V2 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// The figures of a cycle [t0, t1] whose samples a - 1 .. b are flagged
// valid, b - a >= 2. The trapezoids of the inner segments are summed per
// sample: y_j (x_(j+1) - x_(j-1)) gives the same total with fewer operations,
// two samples at a time. A NaN or an infinity among the values shows in the
// sums: then there is no result and the cycle is walked sample by sample.
template <bool kDuty>
std::optional<CycleFigures> CleanCycle(const double* x, const double* y, std::int32_t a,
                                       std::int32_t b, double t0, double t1, double level) {
    const double yl = At(t0, x[a - 1], y[a - 1], x[a], y[a]);
    const double yr = At(t1, x[b - 1], y[b - 1], x[b], y[b]);
    Accumulator acc;
    acc.Trapezoid(x[a] - t0, yl, y[a]);
    acc.Trapezoid(t1 - x[b - 1], y[b - 1], yr);
    acc.Point(yl);
    acc.Point(yr);
    const double wa = x[a + 1] - x[a];
    const double wb = x[b - 1] - x[b - 2];
    double sum = y[a] * wa + y[b - 1] * wb;
    double squares = y[a] * y[a] * wa + y[b - 1] * y[b - 1] * wb;
    acc.Point(y[a]);
    acc.Point(y[b - 1]);
    constexpr double kInf = std::numeric_limits<double>::infinity();
    V2 s0 = {0.0, 0.0}, s1 = s0, q0 = s0, q1 = s0;
    V2 mn0 = {kInf, kInf}, mn1 = mn0, mx0 = -mn0, mx1 = mx0;
    std::int32_t j = a + 1;
    for (; j + 3 <= b - 2; j += 4) {
        const V2 y0 = Load(y + j);
        const V2 y1 = Load(y + j + 2);
        const V2 w0 = Load(x + j + 1) - Load(x + j - 1);
        const V2 w1 = Load(x + j + 3) - Load(x + j + 1);
        const V2 yw0 = y0 * w0;
        const V2 yw1 = y1 * w1;
        s0 += yw0;
        s1 += yw1;
        q0 += yw0 * y0;
        q1 += yw1 * y1;
        mn0 = y0 < mn0 ? y0 : mn0;
        mn1 = y1 < mn1 ? y1 : mn1;
        mx0 = y0 > mx0 ? y0 : mx0;
        mx1 = y1 > mx1 ? y1 : mx1;
    }
    for (; j <= b - 2; ++j) {
        const double yw = y[j] * (x[j + 1] - x[j - 1]);
        sum += yw;
        squares += yw * y[j];
        acc.Point(y[j]);
    }
    const V2 s = s0 + s1;
    const V2 q = q0 + q1;
    acc.sum += sum + (s[0] + s[1]);
    acc.squares += squares + (q[0] + q[1]);
    acc.min = std::min({acc.min, mn0[0], mn0[1], mn1[0], mn1[1]});
    acc.max = std::max({acc.max, mx0[0], mx0[1], mx1[0], mx1[1]});
    if (!std::isfinite(acc.sum) || !std::isfinite(acc.squares)) return std::nullopt;
    acc.time = t1 - t0;
    if constexpr (kDuty) {
        acc.above = (x[a] - t0) * AboveShare(yl, y[a], level) +
                    (t1 - x[b - 1]) * AboveShare(y[b - 1], yr, level);
        // Segments wholly at or above the level count whole, two at a time;
        // the few that cross it take their share one by one.
        const V2 lv = {level, level};
        V2 whole = {0.0, 0.0};
        std::int32_t i = a + 1;
        for (; i + 1 <= b - 1; i += 2) {
            const V2 ya = Load(y + i - 1);
            const V2 yb = Load(y + i);
            const V2 dt = Load(x + i) - Load(x + i - 1);
            const auto ga = ya >= lv;
            const auto gb = yb >= lv;
            whole += (ga & gb) ? dt : V2{0.0, 0.0};
            const auto crossing = ga ^ gb;
            if (crossing[0] | crossing[1]) {
                for (int l = 0; l < 2; ++l) {
                    if (crossing[l]) acc.above += dt[l] * AboveShare(ya[l], yb[l], level);
                }
            }
        }
        acc.above += whole[0] + whole[1];
        for (; i <= b - 1; ++i) acc.above += (x[i] - x[i - 1]) * AboveShare(y[i - 1], y[i], level);
    }
    return acc.Figures(t0, t1, kDuty);
}

// With X trusted each cycle's samples are found by search; a cycle whose
// samples all take part is summed at once, any other one walked as above.
template <bool kDuty>
void Sorted(const CycleTrace& c, std::span<const double> bounds, double level,
            std::vector<CycleFigures>& out) {
    const std::int32_t end = c.last + 1;
    std::vector<CycleFigures> one(1);
    std::int32_t b = Seek(c.x, c.first, end, bounds[0]);
    std::int32_t length = -1;  // samples in the cycle before, where the next bound is sought
    for (std::size_t k = 0; k + 1 < bounds.size(); ++k) {
        const double t0 = bounds[k];
        const double t1 = bounds[k + 1];
        const std::int32_t a = b;
        b = length < 0 ? Seek(c.x, a, end, t1) : SeekNear(c.x, a, end, t1, a + length);
        length = b - a;
        if (a > c.first && b < end && b - a >= 2 && FlagsValid(c.yFlags, a - 1, b)) {
            if (const auto f = CleanCycle<kDuty>(c.x, c.y, a, b, t0, t1, level)) {
                out[k] = *f;
                continue;
            }
        }
        CycleTrace part = c;
        part.first = std::max(c.first, a - 1);
        part.last = std::min(c.last, b);
        Walk<kDuty>(part, bounds.subspan(k, 2), level, one);
        out[k] = one[0];
    }
}

}  // namespace

std::optional<TraceExtent> ExtentOf(const CycleTrace& trace) {
    constexpr double kInf = std::numeric_limits<double>::infinity();
    double least = kInf;
    double greatest = -kInf;
    const double* y = trace.y;
    const auto scalar = [&](std::int32_t from, std::int32_t to) {
        for (std::int32_t i = from; i <= to; ++i) {
            if (!trace.Usable(i)) continue;
            least = std::min(least, y[i]);
            greatest = std::max(greatest, y[i]);
        }
    };
    if (!trace.xTrusted) {
        scalar(trace.first, trace.last);
    } else {
        // Blocks whose flags are all valid take vector extremes; a NaN never
        // wins a comparison, and an infinity shows in the block's extremes,
        // whose block is then taken sample by sample.
        constexpr std::int32_t kBlock = 512;
        for (std::int32_t from = trace.first; from <= trace.last; from += kBlock) {
            const std::int32_t to = std::min(trace.last, from + kBlock - 1);
            if (to - from < 7 || !FlagsValid(trace.yFlags, from, to)) {
                scalar(from, to);
                continue;
            }
            V2 mn0 = {kInf, kInf}, mn1 = mn0, mx0 = -mn0, mx1 = mx0;
            std::int32_t i = from;
            for (; i + 3 <= to; i += 4) {
                const V2 y0 = Load(y + i);
                const V2 y1 = Load(y + i + 2);
                mn0 = y0 < mn0 ? y0 : mn0;
                mn1 = y1 < mn1 ? y1 : mn1;
                mx0 = y0 > mx0 ? y0 : mx0;
                mx1 = y1 > mx1 ? y1 : mx1;
            }
            const double mn = std::min({mn0[0], mn0[1], mn1[0], mn1[1]});
            const double mx = std::max({mx0[0], mx0[1], mx1[0], mx1[1]});
            if (!std::isfinite(mn) || !std::isfinite(mx)) {
                scalar(from, to);
                continue;
            }
            least = std::min(least, mn);
            greatest = std::max(greatest, mx);
            scalar(i, to);
        }
    }
    if (!(least <= greatest)) return std::nullopt;
    return TraceExtent{least, greatest};
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

namespace {

// The crossing time between the usable samples p (below the level) and i.
void AddCrossing(const CycleTrace& t, std::int32_t p, std::int32_t i, double level,
                 std::vector<double>& times) {
    const double xp = t.x[p];
    const double x = t.x[i];
    const double time = std::clamp(xp + (x - xp) * ((level - t.y[p]) / (t.y[i] - t.y[p])), xp, x);
    // Two crossings at one instant (repeated time stamps) make no cycle.
    if (std::isfinite(time) && (times.empty() || time > times.back())) times.push_back(time);
}

// With X trusted only Y is read while searching: a scan for a sample below
// the band, then one for the first sample at the level. The pairs around each
// crossing are timed afterwards, so that reading their X (far from the cache)
// overlaps.
void ScanCrossings(const CycleTrace& t, double level, double arm, std::vector<double>& times) {
    const double* y = t.y;
    const std::uint8_t* f = t.yFlags;
    std::vector<std::pair<std::int32_t, std::int32_t>> pairs;
    std::int32_t i = t.first;
    const std::int32_t last = t.last;
    while (i <= last) {
        // y < arm also rules out a NaN; -inf is not usable.
        while (i <= last && !(y[i] < arm && y[i] > -HUGE_VAL && (!f || f[i] == 1))) ++i;
        if (i > last) break;
        std::int32_t p = i++;  // the last usable sample below the level
        for (; i <= last; ++i) {
            if (!t.Usable(i)) continue;
            if (y[i] >= level) break;
            p = i;
        }
        if (i > last) break;
        pairs.emplace_back(p, i++);
    }
    times.reserve(pairs.size());
    for (const auto& [p, c] : pairs) AddCrossing(t, p, c, level, times);
}

}  // namespace

RisingCrossings FindRisingCrossings(const CycleTrace& reference, const CycleLevel& level) {
    RisingCrossings r;
    const double arm = level.level - level.hysteresis / 2.0;
    if (reference.xTrusted) {
        ScanCrossings(reference, level.level, arm, r.times);
        return r;
    }
    bool armed = false;
    std::int32_t p = -1;  // the last usable sample
    for (std::int32_t i = reference.first; i <= reference.last; ++i) {
        if (!reference.Usable(i)) continue;
        const double y = reference.y[i];
        if (p >= 0 && reference.x[i] < reference.x[p]) {
            r.times.clear();
            r.xBackwards = true;
            return r;
        }
        // Armed means the sample before is below the level.
        if (armed && y >= level.level) {
            AddCrossing(reference, p, i, level.level, r.times);
            armed = false;
        }
        if (y < arm) armed = true;
        p = i;
    }
    return r;
}

std::vector<CycleFigures> FiguresPerCycle(const CycleTrace& curve, std::span<const double> bounds,
                                          std::optional<double> dutyLevel) {
    std::vector<CycleFigures> out;
    if (bounds.size() < 2) return out;
    out.resize(bounds.size() - 1);
    if (curve.xTrusted) {
        if (dutyLevel)
            Sorted<true>(curve, bounds, *dutyLevel, out);
        else
            Sorted<false>(curve, bounds, 0.0, out);
    } else if (dutyLevel) {
        Walk<true>(curve, bounds, *dutyLevel, out);
    } else {
        Walk<false>(curve, bounds, 0.0, out);
    }
    return out;
}

}  // namespace kurvex
