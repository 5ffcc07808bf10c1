#pragma once

#include <optional>
#include <string>
#include <vector>

#include "analysis/Cycles.h"
#include "analysis/Edges.h"
#include "analysis/FigureTable.h"
#include "graph/GraphCurve.h"

namespace kurvex {

// The three figures of the measure window over the visible part of the measured curve.
enum class AverageKind { Mean, MeanAbs, Rms };

// What the measure window shows in result mode.
struct MeasureResult {
    std::string caption;
    std::string label;            // the curve's source text
    std::optional<double> value;  // none: the visible window holds no sample
    Rgb colour = kRgbBlack;
};

// A figure of the measured curve of `screens` over its visible range, for the
// measure window, under the catalogue's title ("Average Value" ...); none
// when there is no curve to measure.
std::optional<MeasureResult> AverageCommand(const std::vector<CGraphCurve*>& screens,
                                            AverageKind kind);

// The Cycles table: one row per curve of every screen (in its colour) with
// "Avg", "RMS", "Min", "Max", "Ripple" and "Duty" over the whole cycles the
// reference shows in view; the title names the reference, its level and
// hysteresis, the cycles, period and frequency. Duty (time at or above the
// level) is given for the reference alone.
FigureTable CycleTable(const std::vector<CGraphCurve*>& screens,
                       std::optional<CurvePlace> reference, const CycleRequest& request);

// The Edges table: one row per curve of every screen with the mean "Rise" and
// "Fall" times, the numbers of "Rises" and "Falls" and the "Low" and "High"
// levels over the visible range.
FigureTable EdgeTable(const std::vector<CGraphCurve*>& screens, const EdgeRequest& request);

// The dead times between curves a and b over the visible range of a's screen:
// rows "A off -> B on" and "B off -> A on" with "Mean", "Min", "Max", "Count".
FigureTable DeadTimeTable(const std::vector<CGraphCurve*>& screens, const CurvePlace& a,
                          const CurvePlace& b, const EdgeRequest& request);

}  // namespace kurvex
