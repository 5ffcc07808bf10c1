#pragma once

#include <cstdint>

namespace kurvex {

// A colour as 0x00BBGGRR.
using Rgb = std::uint32_t;

inline constexpr Rgb kRgbWhite = 0xFFFFFF;
inline constexpr Rgb kRgbBlack = 0x000000;
inline constexpr Rgb kRgbGrey = 0x808080;

// A rectangle in window pixels; right and bottom are one past the last pixel.
struct Rect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;

    std::int32_t Width() const { return right - left; }
    std::int32_t Height() const { return bottom - top; }
    bool Empty() const { return right <= left || bottom <= top; }
    bool Contains(std::int32_t x, std::int32_t y) const {
        return x >= left && x < right && y >= top && y < bottom;
    }
    bool operator==(const Rect&) const = default;
};

// The plot area of a screen, or any other rectangle of one.
using PlotRect = Rect;

// One measurement cursor as the screen stores it.
struct MeasureCursor {
    std::int32_t shown = 0;
    double x = 0.0;
    std::int32_t horizontalLine = 0;
    double y = 0.0;
    double along = 0.0;  // the place on the screen's CursorAlong() variable, where it has one

    bool operator==(const MeasureCursor&) const = default;
};

// The visible part of an axis and its grid step, in the axis's own scale
// (decimal logarithms on a log axis).
struct AxisRange {
    double from = 0.0;
    double to = 0.0;
    double increment = 0.0;

    bool operator==(const AxisRange&) const = default;
};

// Minimum and maximum of the data shown on an axis, in the axis's own scale.
struct DataExtent {
    double min = 0.0;
    double max = 0.0;

    bool operator==(const DataExtent&) const = default;
};

// What a screen belongs to, given by whoever creates it: the kind decides its
// margins, what the mouse may do on it and how its curves are laid out.
enum ScreenKind : std::int32_t {
    kScreenOfView = 0,    // a screen of a graph view: every mouse action
    kScreenTool = 1,      // a screen of its own: no zoom, no cursors; reports its closing
    kScreenBanded = 2,    // every curve drawn in a horizontal band of its own
    kScreenEmbedded = 3,  // a screen in a dialog: wheel zoom and a pop-up menu of its own
};

// Display flag bits of a screen.
enum DisplayFlag : std::uint32_t {
    kDisplayBlackWhite = 1u << 0,
    kDisplaySelected = 1u << 4,
};

}  // namespace kurvex
