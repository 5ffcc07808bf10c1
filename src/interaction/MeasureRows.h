#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "graph/GraphCurve.h"

namespace kurvex {

// Row labels with a meaning of their own.
inline constexpr const char* kMeasureSeparator = "___";
inline constexpr const char* kMeasureGap = "";
// Colour of separator and gap rows.
inline constexpr Rgb kMeasureRuleColour = 0x808080;

// One line of the measure window.
struct MeasureRow {
    std::string label;
    std::string value;
    Rgb colour = kRgbBlack;

    bool operator==(const MeasureRow&) const = default;
};

// What the measure window shows: one result, or the values under the cursors.
struct MeasureWindowState {
    bool resultMode = true;  // a new window shows its (empty) result
    std::string resultLabel;
    std::optional<double> resultValue;  // none: the result has no value
    Rgb resultColour = kRgbBlack;
    int movedCursor = 0;  // 0 cursor 1, 1 cursor 2
    double cursor1X = 0.0;
    double cursor2X = 0.0;
    std::vector<CGraphCurve*> screens;  // of the view that reported last; not owned
};

// The value text of a result without a value.
inline constexpr const char* kMeasureNoValue = "no value";

// The rows the window lists for `state`, values formatted with "%g".
std::vector<MeasureRow> MeasureRows(const MeasureWindowState& state);

}  // namespace kurvex
