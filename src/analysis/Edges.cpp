#include "analysis/Edges.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "data/platform/NumberText.h"

namespace kurvex {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Where the segment from usable sample p to usable sample i passes `level`
// on its way up or down; X is read only here.
double Cross(const CycleTrace& t, std::int32_t p, std::int32_t i, double level) {
    const double xa = t.x[p];
    const double xb = t.x[i];
    return std::clamp(xa + (xb - xa) * ((level - t.y[p]) / (t.y[i] - t.y[p])), std::min(xa, xb),
                      std::max(xa, xb));
}

enum class Side { kUnknown, kLow, kHigh };

}  // namespace

EdgeLevelsResult EdgeLevelsOf(const CycleTrace& trace, const std::string& name,
                              std::optional<double> low, std::optional<double> high) {
    EdgeLevelsResult r;
    if (!low || !high) {
        const auto extent = ExtentOf(trace);
        if (!extent) {
            r.error =
                Format("%s has no valid sample in the range, so it has no edges.", name.c_str());
            return r;
        }
        if (!low) low = extent->min;
        if (!high) high = extent->max;
    }
    r.levels = EdgeLevels{*low, *high};
    if (*low == *high) {
        r.error = Format("The low and high levels of %s are both %g, so it has no edges.",
                         name.c_str(), *low);
    } else if (!(*low < *high)) {
        r.error = Format("The low level of %s (%g) lies above its high level (%g).", name.c_str(),
                         *low, *high);
    }
    return r;
}

EdgeList FindEdges(const CycleTrace& trace, const EdgeLevels& levels) {
    EdgeList edges;
    const double span = levels.high - levels.low;
    if (!(span > 0.0)) return edges;
    const double t10 = levels.low + 0.1 * span;
    const double t50 = levels.low + 0.5 * span;
    const double t90 = levels.low + 0.9 * span;
    Side side = Side::kUnknown;
    double left = 0.0;    // when the edge under way last left its first threshold
    double mid = 0.0;     // when it last passed the mid level
    std::int32_t p = -1;  // the last usable sample
    for (std::int32_t i = trace.first; i <= trace.last; ++i) {
        if (!trace.Usable(i)) continue;
        const double y = trace.y[i];
        if (p < 0) {
            side = y <= t10 ? Side::kLow : y >= t90 ? Side::kHigh : Side::kUnknown;
        } else if (side == Side::kLow) {
            const double yp = trace.y[p];
            if (yp <= t10 && y > t10) left = Cross(trace, p, i, t10);
            if (yp <= t50 && y > t50) mid = Cross(trace, p, i, t50);
            if (y >= t90) {
                edges.rise.push_back({mid, Cross(trace, p, i, t90) - left});
                side = Side::kHigh;
            }
        } else if (side == Side::kHigh) {
            const double yp = trace.y[p];
            if (yp >= t90 && y < t90) left = Cross(trace, p, i, t90);
            if (yp >= t50 && y < t50) mid = Cross(trace, p, i, t50);
            if (y <= t10) {
                edges.fall.push_back({mid, Cross(trace, p, i, t10) - left});
                side = Side::kLow;
            }
        } else if (y <= t10) {
            side = Side::kLow;
        } else if (y >= t90) {
            side = Side::kHigh;
        }
        p = i;
    }
    return edges;
}

namespace {

// Each fall of `first` paired with the rise of `second` that answers it.
std::vector<Edge> Pair(const EdgeList& first, const EdgeList& second) {
    std::vector<Edge> out;
    const double inf = std::numeric_limits<double>::infinity();
    for (const Edge& fall : first.fall) {
        // The rises of `first` around this fall bound where the answer may lie.
        double before = -inf;
        double after = inf;
        for (const Edge& r : first.rise) {
            if (r.at < fall.at) before = std::max(before, r.at);
            if (r.at > fall.at) after = std::min(after, r.at);
        }
        const Edge* best = nullptr;
        for (const Edge& r : second.rise) {
            if (r.at <= before || r.at >= after) continue;
            if (!best || std::fabs(r.at - fall.at) < std::fabs(best->at - fall.at)) best = &r;
        }
        if (best) out.push_back({fall.at, best->at - fall.at});
    }
    return out;
}

}  // namespace

DeadTimes FindDeadTimes(const EdgeList& a, const EdgeList& b) {
    return DeadTimes{Pair(a, b), Pair(b, a)};
}

double MeanEdgeTime(std::span<const Edge> edges) {
    if (edges.empty()) return kNaN;
    double sum = 0.0;
    for (const Edge& e : edges) sum += e.time;
    return sum / static_cast<double>(edges.size());
}

}  // namespace kurvex
