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

// Where the window puts its rows across, in pixels from the left of what it
// scrolls over.
struct MeasureColumns {
    int mid = 0;          // the rule between labels and values: half the visible width
    int labelWidth = 0;   // labels start at kMeasureInset and are cut at this width
    int valueLeft = 0;    // values start here
    int right = 0;        // values are cut here, and separators end here
    int scrollWidth = 0;  // the width the rows scroll over

    bool operator==(const MeasureColumns&) const = default;
};
// Space between the rule and the texts, and at both ends.
inline constexpr int kMeasureInset = 10;
// The least width the rows scroll over.
inline constexpr int kMeasureScrollWidth = 1000;

// The columns of a window `visibleWidth` pixels wide whose widest value text
// is `widestValue` pixels: labels keep to the visible left half, values run
// on to the scrolled width, which is wide enough to show every value whole.
MeasureColumns MeasureColumnsFor(int visibleWidth, int widestValue);

}  // namespace kurvex
