#include "interaction/ScreenInput.h"

#include <algorithm>
#include <cstdlib>

#include "graph/GraphCurve.h"
#include "graph/PlotGeometry.h"
#include "interaction/MouseMode.h"

namespace kurvex {

namespace {

bool InPlot(const CGraphCurve& model, Point p) {
    return model.Plot().Contains(p.x, p.y);
}

}  // namespace

std::int32_t LegendCurveAt(const CGraphCurve& model, Point p) {
    const std::vector<PlotRect>& rects = model.LegendRects();
    const auto n =
        std::min<std::size_t>(rects.size(), static_cast<std::size_t>(model.CurveCount()));
    for (std::size_t i = 0; i < n; ++i)
        if (rects[i].Contains(p.x, p.y)) return static_cast<std::int32_t>(i);
    return -1;
}

PointerShape PointerShapeAt(const CGraphCurve& model, std::int32_t mode, Point p) {
    if (!InPlot(model, p))
        return LegendCurveAt(model, p) >= 0 ? PointerShape::Legend : PointerShape::Arrow;
    switch (mode) {
        case kModePan:
            return PointerShape::Pan;
        case kModeZoomBox:
            return PointerShape::ZoomBox;
        case kModeZoomPoint:
            return PointerShape::ZoomPoint;
        case kModeZoomAxisEnd: {
            const AxisEnds e = AxisEndsAt(model, p);
            if (e.right)
                return e.upper ? PointerShape::AxisEndRightUpper : PointerShape::AxisEndRightLower;
            return e.upper ? PointerShape::AxisEndLeftUpper : PointerShape::AxisEndLeftLower;
        }
        case kModeText:
            return PointerShape::Text;
        default:
            return PointerShape::Arrow;
    }
}

bool AboveLowerEnds(const CGraphCurve& model, Point p) {
    const std::optional<DataPoint> d = DataAt(model, p);
    return d && d->x > model.XRange().from && d->y > model.YRange().from;
}

std::int32_t ZoomTargetScreen(std::int32_t focused, std::int32_t count) {
    if (count <= 0) return -1;
    return focused >= 0 && focused < count ? focused : 0;
}

int WheelAccumulator::Add(int delta) {
    if (delta == 0) return 0;
    if ((delta > 0) != (rest_ > 0) && rest_ != 0) rest_ = 0;
    // 64 bits: a flood of large deltas must not wrap the sum round.
    const long long sum = static_cast<long long>(rest_) + delta;
    const long long steps = sum / 120;
    rest_ = static_cast<int>(sum % 120);
    return static_cast<int>(std::clamp<long long>(steps, -kMaxSteps, kMaxSteps));
}

bool ScreenDrag::Begin(const CGraphCurve& model, DragKind kind, Point p, bool aboveLowerEnds) {
    Cancel();
    if (kind == DragKind::None || !InPlot(model, p)) return false;
    if (!PixelMap(model.Plot(), model.XRange(), model.YRange()).Valid()) return false;
    if ((aboveLowerEnds || kind == DragKind::ZoomPoint) && !AboveLowerEnds(model, p)) return false;
    kind_ = kind;
    press_ = pointer_ = p;
    changed_ = false;
    if (kind == DragKind::ZoomBox) return true;
    atPress_.emplace(model);
    working_.emplace(model);
    if (kind == DragKind::Pan) grabbed_ = *DataAt(model, p);
    return true;
}

bool ScreenDrag::Move(Point p) {
    if (!Active()) return false;
    const bool moved = !(p == pointer_);
    pointer_ = p;
    bool shown = false;
    switch (kind_) {
        case DragKind::ZoomBox:
            return moved;
        case DragKind::ZoomPoint:
            shown = ZoomAboutPoint(*working_, *atPress_, press_, p);
            break;
        case DragKind::ZoomAxisEnd:
            shown = ZoomByAxisEnd(*working_, *atPress_, press_, p);
            break;
        case DragKind::Pan:
            shown = PanTo(*working_, grabbed_, p);
            break;
        case DragKind::None:
            break;
    }
    changed_ |= shown;
    return shown;
}

bool ScreenDrag::OutsidePlot() const {
    return kind_ == DragKind::Pan && working_ && !InPlot(*working_, pointer_);
}

bool ScreenDrag::AutoScroll() {
    if (!OutsidePlot()) return false;
    const bool moved = AutoScrollStep(*working_, grabbed_, pointer_);
    changed_ |= moved;
    return moved;
}

bool ScreenDrag::Release(CGraphCurve& model, Point p) {
    if (!Active()) return false;
    bool changed = false;
    if (kind_ == DragKind::ZoomBox) {
        changed = ZoomBox(model, press_, p);
    } else {
        Move(p);
        // A press without a move is a click: it leaves no undo entry.
        if (changed_) changed = EndDrag(model, *working_);
    }
    Cancel();
    return changed;
}

void ScreenDrag::Cancel() {
    kind_ = DragKind::None;
    atPress_.reset();
    working_.reset();
    changed_ = false;
}

Rect ScreenDrag::Band() const {
    return {std::min(press_.x, pointer_.x), std::min(press_.y, pointer_.y),
            std::max(press_.x, pointer_.x), std::max(press_.y, pointer_.y)};
}

}  // namespace kurvex
