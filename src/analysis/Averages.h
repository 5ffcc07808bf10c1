#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "graph/GraphCurve.h"

namespace kurvex {

// The three figures over the visible part of the measured curve.
enum class AverageKind { Mean, MeanAbs, Rms };

// Plain means over the samples of a window, each sample counting once.
struct AverageFigures {
    double mean = 0.0;
    double meanAbs = 0.0;
    double rms = 0.0;
    std::int32_t samples = 0;
};

// The figures over y[first..last] whatever the point flags; none when the
// window holds no sample.
std::optional<AverageFigures> AveragesOver(const double* y, std::int32_t first, std::int32_t last);

// The measure window's caption for a figure ("Average Value" ...).
const char* AverageCaption(AverageKind kind);

// What the measure window shows in result mode.
struct MeasureResult {
    std::string caption;
    std::string label;            // the curve's source text
    std::optional<double> value;  // none: the visible window holds no sample
    Rgb colour = kRgbBlack;
};

// A figure of the measured curve of `screens` over its visible range, for the
// measure window; none when there is no curve to measure.
std::optional<MeasureResult> AverageCommand(const std::vector<CGraphCurve*>& screens,
                                            AverageKind kind);

}  // namespace kurvex
