#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "graph/GraphCurve.h"

namespace kurvex {

// The colours new curves take, in turn.
extern const Rgb kNewCurvePalette[12];

// The colour for a new curve added after `shown` (the colours of the curves
// already in the list): the first palette colour from the list's length on
// that nobody uses, else the first free one before it, else the next in turn.
Rgb NextCurveColour(const std::vector<Rgb>& shown);

// Where the screens of a view go: each gets an equal share of the height left
// after three text lines and the horizontal scroll bar; the last takes the rest.
std::vector<PlotRect> LayoutScreens(std::int32_t count, std::int32_t width, std::int32_t height,
                                    std::int32_t textHeight, std::int32_t scrollBarHeight);

// The screens a view starts with when nothing was saved for its data.
struct DefaultScreens {
    std::vector<std::unique_ptr<CGraphCurve>> screens;
    bool chooseCurves = false;   // one empty screen: the user must pick its curves
    bool invalidPoints = false;  // a log axis met samples it cannot show
};

// A frequency response ("Freq..." X with "amp..." and "phase..." columns) gets
// an amplitude screen over a phase screen on a log X axis; a file of one
// variable gets that curve; anything else one empty screen.
DefaultScreens MakeDefaultScreens(const CResultDataRef& data, const CharMetrics& metrics);

// X over the data's extent, Y over the curves' extent widened by a tenth of
// its height each way; grid steps chosen for both. True on invalid points.
bool ScaleToData(CGraphCurve& screen);

// On a screen of phases only (in degrees, on a linear Y axis) whose range
// spans 90 degrees or more: widens [from, to] to multiples of the step of
// 45 * 2^k degrees that leaves at most eight divisions, and returns it.
// Elsewhere 0, the range unchanged.
double PhaseStep(const CGraphCurve& screen, double& from, double& to);

}  // namespace kurvex
