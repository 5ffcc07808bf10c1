#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "analysis/FigureTable.h"
#include "data/model/RefPtr.h"
#include "data/model/ResultVariable.h"
#include "formula/CycleMath.h"
#include "graph/GraphCurve.h"

namespace kurvex {

// How cycles are found: the reference's level and hysteresis, each the
// default (midpoint of the extremes, a tenth of their span) unless given.
struct CycleRequest {
    std::optional<double> level;
    std::optional<double> hysteresis;
};

// The whole cycles of a reference within a range of X.
struct Cycles {
    std::string error;  // in plain words, when there are fewer than two crossings
    CycleLevel level;
    std::vector<double> bounds;  // rising crossing times: bounds.size() - 1 cycles

    bool Ok() const { return error.empty(); }
    std::int32_t Count() const {
        return bounds.size() < 2 ? 0 : static_cast<std::int32_t>(bounds.size() - 1);
    }
};

// Finds the cycles of the reference named `name` whose crossings lie within
// [from, to]; the default level comes from the reference's samples.
Cycles FindCycles(const CycleTrace& reference, const std::string& name, const CycleRequest& request,
                  double from = -std::numeric_limits<double>::infinity(),
                  double to = std::numeric_limits<double>::infinity());

// Means over the whole cycles of one curve; NaN where no cycle has a value.
struct CycleSummary {
    std::int32_t cycles = 0;
    double period = 0.0;       // mean length of a cycle
    double frequency = 0.0;    // 1 / period
    double duty = 0.0;         // mean duty
    double avg = 0.0;          // mean of the cycles' averages
    double rms = 0.0;          // mean of the cycles' RMS values
    double min = 0.0;          // the least minimum
    double max = 0.0;          // the greatest maximum
    double ripple = 0.0;       // mean peak-to-peak
    std::int32_t skipped = 0;  // unusable samples inside the cycles
};

// Summarises the figures that FiguresPerCycle gave for one curve.
CycleSummary SummariseCycles(std::span<const CycleFigures> cycles);

// The raw samples of a curve of a screen (its variable or formula result over
// the screen's X variable, whatever the axes' scales), held while in use.
struct RawCurve {
    RefPtr<CResultVariable> xColumn;
    RefPtr<CResultVariable> yColumn;
    CycleTrace trace;  // all samples; empty when the curve has no data
    std::string name;  // the curve's source text
    Rgb colour = kRgbBlack;
    bool sortedX = false;  // X is known to be valid and non-decreasing
};

// Curve `curve` of `screen` as RawCurve.
RawCurve RawCurveOf(const CGraphCurve& screen, std::int32_t curve);

// The samples of `curve` from the one at or before `from` to the one at or after `to`.
CycleTrace TraceWithin(const RawCurve& curve, double from, double to);

// A curve of a view: its screen's and its own index.
struct CurvePlace {
    std::int32_t screen = -1;
    std::int32_t curve = -1;
};

// The curve measured by default: the selected curve of the first screen with
// one, else curve 0 of the first screen; none without curves. Selects nothing.
std::optional<CurvePlace> DefaultReference(const std::vector<CGraphCurve*>& screens);

// The visible X range of a screen in X's own units (log axes: 10^range).
std::pair<double, double> VisibleXRange(const CGraphCurve& screen);

}  // namespace kurvex
