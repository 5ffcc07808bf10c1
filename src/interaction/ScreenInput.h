#pragma once

#include <cstdint>
#include <optional>

#include "graph/GraphCurve.h"
#include "graph/Zoom.h"
#include "graph/canvas/Canvas.h"

namespace kurvex {

// The curve whose recorded legend label lies under `p`, or -1.
std::int32_t LegendCurveAt(const CGraphCurve& model, Point p);

// The pointer pictures a screen shows; the values are their resource ids.
enum class PointerShape : std::int32_t {
    Arrow = 0,
    Legend = 145,
    ZoomBox = 146,
    Pan = 147,
    ZoomPoint = 148,
    Text = 149,
    AxisEndRightUpper = 151,
    AxisEndRightLower = 152,
    AxisEndLeftUpper = 153,
    AxisEndLeftLower = 154,
};

// The pointer over `p` in `mode`: inside the plot the mode's own (by quadrant
// for the axis-end zoom), over a legend label the legend pointer, else the arrow.
PointerShape PointerShapeAt(const CGraphCurve& model, std::int32_t mode, Point p);

// True when the data point under `p` lies above the lower end of both ranges,
// which zooming about that point needs.
bool AboveLowerEnds(const CGraphCurve& model, Point p);

// The screen that zoom in and zoom out act on: the focused one, else the
// first; -1 when there are no screens.
std::int32_t ZoomTargetScreen(std::int32_t focused, std::int32_t count);

// Turns wheel deltas into whole wheel steps of 120 units, so that a touchpad
// sending many small deltas zooms at the rate of a wheel.
class WheelAccumulator {
public:
    // Most steps one event may give, however large its delta.
    static constexpr int kMaxSteps = 50;
    // Adds a delta (positive: turned away from the user); returns the steps
    // now due, negative toward the user. A turn the other way drops what was
    // left over of the last direction.
    int Add(int delta);
    void Reset() { rest_ = 0; }

private:
    int rest_ = 0;
};

// The drags of the zoom and pan modes.
enum class DragKind { None, ZoomBox, ZoomPoint, ZoomAxisEnd, Pan };

// One drag on a screen from press to release. It changes and shows only a
// working copy (the zoom box only a rectangle); the screen's model changes
// once, with one undo entry, when the drag is released. A cancelled drag
// leaves the model untouched.
class ScreenDrag {
public:
    // Starts a drag of `kind` pressed at `p` over `model`. False (and no
    // drag) when `p` is outside the plot, the plot cannot be mapped, or a
    // zoom about the point is asked below a lower end. `aboveLowerEnds` asks
    // that test of any kind (the right-button zoom box).
    bool Begin(const CGraphCurve& model, DragKind kind, Point p, bool aboveLowerEnds = false);
    bool Active() const { return kind_ != DragKind::None; }
    DragKind Kind() const { return kind_; }
    Point Press() const { return press_; }
    Point Pointer() const { return pointer_; }
    // Follows the pointer; true when what the drag shows changed.
    bool Move(Point p);
    // True while a pan's pointer is outside the plot, where the drag scrolls
    // by itself.
    bool OutsidePlot() const;
    // One automatic scroll step of a pan; true when the ranges moved.
    bool AutoScroll();
    // Ends the drag at `p`, handing its result to `model`; true when the
    // model's ranges changed (and one undo entry was saved).
    bool Release(CGraphCurve& model, Point p);
    // Drops the drag; the model stays as it was.
    void Cancel();
    // The copy to draw while dragging; null for the zoom box and when idle.
    CGraphCurve* Working() { return working_ ? &*working_ : nullptr; }
    // The zoom box from the press to the pointer, normalised.
    Rect Band() const;

private:
    DragKind kind_ = DragKind::None;
    Point press_;
    Point pointer_;
    std::optional<CGraphCurve> atPress_;
    std::optional<CGraphCurve> working_;
    DataPoint grabbed_;
    bool changed_ = false;
};

}  // namespace kurvex
