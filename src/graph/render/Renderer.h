#pragma once

#include <cmath>
#include <cstdint>
#include <string>

#include "graph/GraphCurve.h"
#include "graph/PlotGeometry.h"
#include "graph/canvas/Canvas.h"

namespace kurvex {

// What a screen remembers between draws to draw only what was added.
struct DrawMemory {
    std::uint32_t changeCount = 0;
    std::int32_t lastRow = 0;
};

// Draws one screen onto `canvas`; returns the plot rectangle it used.
PlotRect DrawScreen(CGraphCurve& model, Canvas& canvas, const DrawOptions& options,
                    DrawMemory& memory);

// The axis title: the X variable's name, with prefix and unit in brackets;
// the unit is the file's (`unit`) or else the one the name implies.
std::string XAxisTitle(const std::string& name, const std::string& prefix,
                       const std::string& unit = {});

// A curve's legend text: its label, and the unit its file gave the column
// it shows, in square brackets.
std::string LegendText(const CCurveEntry& curve, const CResultData* data);

}  // namespace kurvex
