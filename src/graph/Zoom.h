#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "graph/GraphCurve.h"
#include "graph/canvas/Canvas.h"

namespace kurvex {

// The zoom-in and zoom-out commands' factors.
inline constexpr double kZoomInFactor = 0.9;
inline constexpr double kZoomOutFactor = 1.0 / 0.9;

// A zoom box smaller than this in either direction is taken for a click.
inline constexpr int kZoomBoxMinPixels = 9;

// A point in the axes' own scale (decimal logarithms on a log axis).
struct DataPoint {
    double x = 0.0;
    double y = 0.0;
    bool operator==(const DataPoint&) const = default;
};

// The data point under pixel `p` of the model's plot; none when the plot or
// a range is empty.
std::optional<DataPoint> DataAt(const CGraphCurve& model, Point p);

// Widens (factor > 1) or narrows both ranges about their centres, saving an
// undo entry; false when the zoom limit refused it and nothing changed.
bool ZoomByFactor(CGraphCurve& model, double factor);

// Fits every screen to its data: one X range for all from the last screen,
// each its own Y range with a margin; one undo entry per screen.
// True when any screen changed.
bool FitAll(const std::vector<CGraphCurve*>& screens);

// What FitYToVisibleX did.
enum class FitYResult { Nothing, FittedY, FittedAll };

// After a reload: fits each screen's Y to its samples in the visible X range,
// or fits everything when that range shows too little of the data.
FitYResult FitYToVisibleX(const std::vector<CGraphCurve*>& screens);

// Zooms to the rectangle with corners `a` and `b` (pixels) when it is larger
// than kZoomBoxMinPixels both ways; true when the ranges changed.
bool ZoomBox(CGraphCurve& model, Point a, Point b);

// The zoom factor for a drag of `d` pixels (positive: right or up).
double DragZoomFactor(double d);

// Zoom about the press point, dragged to `current`: sets the working copy's
// ranges from the model as it was at the press. False when the press is at
// or below the lower end of a range, or nothing could be set.
bool ZoomAboutPoint(CGraphCurve& working, const CGraphCurve& pressModel, Point press,
                    Point current);

// Which range ends a drag from `p` moves: the right half moves X to, the
// upper half Y to (also picks the pointer shape).
struct AxisEnds {
    bool right = false;
    bool upper = false;
};

// The quadrant of the model's plot that `p` lies in.
AxisEnds AxisEndsAt(const CGraphCurve& model, Point p);

// Zoom by dragging the range ends nearest the press point to `current`.
bool ZoomByAxisEnd(CGraphCurve& working, const CGraphCurve& pressModel, Point press, Point current);

// Shifts the working copy's ranges so that `grabbed` lies under `pointer`.
bool PanTo(CGraphCurve& working, const DataPoint& grabbed, Point pointer);

// One automatic pan step while the pointer is outside the plot: each axis
// the pointer is beyond moves a tenth of its width, and `grabbed` with it.
// False when the pointer is inside (the timer can stop).
bool AutoScrollStep(CGraphCurve& working, DataPoint& grabbed, Point pointer);

// Ends a drag: saves the model's ranges as one undo entry and takes the
// working copy's X and Y ranges, nothing else. False (and nothing changed)
// when the model's scales or domain are no longer those of the working copy.
bool EndDrag(CGraphCurve& model, const CGraphCurve& working);

// Wheel zoom about the point under `p`, turned toward the user (in) or away
// (out); a run of wheel steps shares one undo entry. True when it changed.
bool Wheel(CGraphCurve& model, Point p, bool towardUser);

enum class ScrollBar { Horizontal, Vertical };

// What a screen's scroll bar shows; positions count grid increments.
struct ScrollBarState {
    bool shown = false;  // false: the screen hides this bar
    bool set = false;    // false: no grid step to count in; leave the bar as it is
    std::int32_t min = 0;
    std::int32_t max = 0;
    std::int32_t page = 0;  // increments in the visible width
    std::int32_t pos = 0;
};

// The state of `bar` for the model's current ranges.
ScrollBarState ScrollBarFor(const CGraphCurve& model, ScrollBar bar);

enum class ScrollAction { LineLess, LineMore, PageLess, PageMore, Thumb, Home, End };

// Scrolls `bar` by `action` (`thumbPos` for Thumb); a run of steps on one bar
// shares one undo entry. True when the range moved.
bool Scroll(CGraphCurve& model, ScrollBar bar, ScrollAction action, std::int32_t thumbPos = 0);

// What Undo did.
struct UndoResult {
    bool done = false;           // ranges restored
    bool scalesChanged = false;  // a log flag or the frequency display switched back
    bool invalidPoints = false;  // a restored log scale met invalid points
};

// True when Undo can act: one screen with a saved state.
bool UndoEnabled(const std::vector<CGraphCurve*>& screens);

// Restores the newest saved state of the view's only screen.
UndoResult Undo(const std::vector<CGraphCurve*>& screens);

}  // namespace kurvex
