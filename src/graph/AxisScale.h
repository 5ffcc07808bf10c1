#pragma once

#include <cstdint>

#include "graph/canvas/GraphTypes.h"

namespace kurvex {

// The two axes of a screen; they choose their grid steps differently.
enum class Axis { X, Y };

// True when a and b agree in sign, exponent and the top 36 fraction bits:
// equal, or nearly so.
bool Equal48(double a, double b);

// A grid step for the X axis of [from, to], roughly a fifth of the span and
// 1, 2, 2.5 or 5 times a power of ten; moves from down and to up onto the grid.
// Returns 0 and changes nothing when to - from is not a positive finite span.
double NiceStepX(double& to, double& from);

// NiceStepX with the Y axis's thresholds and its way of moving to.
double NiceStepY(double& to, double& from);

// `value` moved down onto a multiple of `step`; negative values below one step
// go to -step. A step that is not positive and finite leaves the value.
double AlignDown(double value, double step);

// `increment` scaled by powers of ten, halves and doubles until `span` holds
// between 3 and 8 divisions of it where that can be had (bounded passes).
double AdjustDivisions(double span, double increment);

// The grid step for [from, to]: the nice step of the axis (which also aligns
// from and to) when auto-grid is on, else the span split into `divisions`
// parts, limited to 1 .. 20.
double IncrementFromDivisions(double& from, double& to, std::int32_t divisions, bool autoGrid,
                              Axis axis);

// A grid step for an axis of phases in degrees: 45 times a power of two, the
// smallest that keeps [from, to], moved out onto the step, within 8 divisions.
// Returns 0 and changes nothing when the span is under two 45-degree steps or
// not finite: such an axis keeps its ordinary step.
double DegreeStep(double& from, double& to);

// The data extent widened where it is (nearly) a single value, and ordered.
DataExtent WidenExtent(DataExtent extent);

}  // namespace kurvex
