#include "graph/Zoom.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "graph/AxisScale.h"
#include "graph/GraphCurve.h"
#include "graph/PlotGeometry.h"
#include "graph/ViewLayout.h"

namespace kurvex {

namespace {

RangeFlags WithUndo(UndoKind kind, bool autoIncrement) {
    RangeFlags f;
    f.pushUndo = true;
    f.undoKind = kind;
    f.autoIncrement = autoIncrement;
    return f;
}

RangeFlags WithoutUndo(bool autoIncrement) {
    RangeFlags f;
    f.autoIncrement = autoIncrement;
    return f;
}

// Re-draw and fit-Y store the step they chose and leave it as it is.
RangeFlags FitFlags() {
    RangeFlags f = WithUndo(kUndoZoom, false);
    f.setIncrement = true;
    return f;
}

std::vector<CGraphCurve*> Live(const std::vector<CGraphCurve*>& screens) {
    std::vector<CGraphCurve*> live;
    for (CGraphCurve* s : screens)
        if (s) live.push_back(s);
    return live;
}

// Counts of grid steps come from quotients that rounding leaves a hair below
// a whole number; without the tolerance a range scrolled onto step n would
// read back as n - 1 and the next line step would not move it.
double CountTolerance(double v) {
    return 1e-6 + 1e-12 * std::fabs(v);
}
double FloorCount(double v) {
    return std::floor(v + CountTolerance(v));
}
double CeilCount(double v) {
    return std::ceil(v - CountTolerance(v));
}

std::int32_t ToInt32(double v) {
    constexpr double kMax = std::numeric_limits<std::int32_t>::max();
    if (!(v > 0.0)) return 0;
    return v >= kMax ? static_cast<std::int32_t>(kMax) : static_cast<std::int32_t>(v);
}

// Pointer positions far outside any window would overflow the pixel
// arithmetic of the mapping; a billion pixels away is as good as infinity.
Point ClampPixel(Point p) {
    constexpr int kFar = 1 << 30;
    return {std::clamp(p.x, -kFar, kFar), std::clamp(p.y, -kFar, kFar)};
}

}  // namespace

std::optional<DataPoint> DataAt(const CGraphCurve& model, Point p) {
    const PixelMap map(model.Plot(), model.XRange(), model.YRange());
    if (!map.Valid()) return std::nullopt;
    p = ClampPixel(p);
    return DataPoint{map.DataX(p.x), map.DataY(p.y)};
}

bool ZoomByFactor(CGraphCurve& model, double factor) {
    if (!(factor > 0.0) || !std::isfinite(factor)) return false;
    const double d = factor - 1.0;
    const AxisRange x = model.XRange(), y = model.YRange();
    const double hx = (x.to - x.from) * d * 0.5;
    const double hy = (y.to - y.from) * d * 0.5;
    return model.SetXYRange(x.from - hx, x.to + hx, 0.0, y.from - hy, y.to + hy, 0.0,
                            WithUndo(kUndoZoom, true));
}

bool FitAll(const std::vector<CGraphCurve*>& screens) {
    const std::vector<CGraphCurve*> live = Live(screens);
    if (live.empty()) return false;
    CGraphCurve& last = *live.back();
    double xFrom = last.XExtent().min, xTo = last.XExtent().max;
    const double xInc = last.XLog() ? 1.0 : NiceStepX(xTo, xFrom);

    std::vector<CGraphCurve*> order{&last};
    order.insert(order.end(), live.begin(), live.end() - 1);
    bool changed = false;
    for (CGraphCurve* s : order) {
        double yFrom = s->YExtent().min, yTo = s->YExtent().max;
        double yInc = s->YLog() ? 1.0 : NiceStepY(yTo, yFrom);
        const double m = (yTo - yFrom) * 0.1;
        yFrom -= m;
        yTo += m;
        if (const double degrees = PhaseStep(*s, yFrom, yTo); degrees > 0.0) yInc = degrees;
        changed |= s->SetXYRange(xFrom, xTo, xInc, yFrom, yTo, yInc, FitFlags());
    }
    return changed;
}

FitYResult FitYToVisibleX(const std::vector<CGraphCurve*>& screens) {
    const std::vector<CGraphCurve*> live = Live(screens);
    if (live.empty()) return FitYResult::Nothing;
    const DataExtent ext = live.back()->XExtent();
    const double from = live.back()->XRange().from, to = live.back()->XRange().to;
    if (from < ext.min || to > ext.max) {
        const double overlap = std::min(to, ext.max) - std::max(from, ext.min);
        if (ext.max <= from || to <= ext.min || 2.0 * overlap < to - from)
            return FitAll(live) ? FitYResult::FittedAll : FitYResult::Nothing;
    }
    bool changed = false;
    for (CGraphCurve* s : live) {
        const std::optional<DataExtent> y = s->YExtentOver(from, to);
        if (!y) continue;  // nothing of this screen is visible to fit to
        const double m = (y->max - y->min) * 0.1;
        double yFrom = y->min - m, yTo = y->max + m;
        double yInc = s->YLog() ? 1.0 : NiceStepY(yTo, yFrom);
        if (const double degrees = PhaseStep(*s, yFrom, yTo); degrees > 0.0) yInc = degrees;
        changed |= s->SetYRange(yFrom, yTo, yInc, FitFlags());
    }
    return changed ? FitYResult::FittedY : FitYResult::Nothing;
}

bool ZoomBox(CGraphCurve& model, Point a, Point b) {
    const int left = std::min(a.x, b.x), right = std::max(a.x, b.x);
    const int top = std::min(a.y, b.y), bottom = std::max(a.y, b.y);
    // 64 bits: corners far outside the window must not wrap the size round.
    const std::int64_t w = std::int64_t{right} - left, h = std::int64_t{bottom} - top;
    if (w <= kZoomBoxMinPixels || h <= kZoomBoxMinPixels) return false;
    const std::optional<DataPoint> lo = DataAt(model, {left, bottom});
    const std::optional<DataPoint> hi = DataAt(model, {right, top});
    if (!lo || !hi) return false;
    return model.SetXYRange(lo->x, hi->x, 0.0, lo->y, hi->y, 0.0, WithUndo(kUndoZoom, true));
}

double DragZoomFactor(double d) {
    if (!(d > -1000.0)) return 1.0;
    if (d > -100.0) return 1.0 + d * 0.01;
    // Past 100 pixels the factor keeps shrinking slowly instead of reaching 0.
    return (d * 0.001 - 99.0) * 0.01 + 1.0;
}

bool ZoomAboutPoint(CGraphCurve& working, const CGraphCurve& pressModel, Point press,
                    Point current) {
    const std::optional<DataPoint> p0 = DataAt(pressModel, press);
    if (!p0) return false;
    const AxisRange x = pressModel.XRange(), y = pressModel.YRange();
    if (!(p0->x > x.from) || !(p0->y > y.from)) return false;
    const double fx = DragZoomFactor(static_cast<double>(current.x) - press.x);
    const double fy = DragZoomFactor(static_cast<double>(press.y) - current.y);
    return working.SetXYRange(p0->x - (p0->x - x.from) * fx, p0->x + (x.to - p0->x) * fx, 0.0,
                              p0->y - (p0->y - y.from) * fy, p0->y + (y.to - p0->y) * fy, 0.0,
                              WithoutUndo(true));
}

AxisEnds AxisEndsAt(const CGraphCurve& model, Point p) {
    const PlotRect& r = model.Plot();
    return AxisEnds{2 * std::int64_t{p.x} >= std::int64_t{r.left} + r.right,
                    2 * std::int64_t{p.y} < std::int64_t{r.top} + r.bottom};
}

bool ZoomByAxisEnd(CGraphCurve& working, const CGraphCurve& pressModel, Point press,
                   Point current) {
    const PlotRect& plot = pressModel.Plot();
    const AxisRange x = pressModel.XRange(), y = pressModel.YRange();
    if (!PixelMap(plot, x, y).Valid()) return false;
    const double dX = (static_cast<double>(current.x) - press.x) * (x.to - x.from) / plot.Width();
    const double dY = (static_cast<double>(press.y) - current.y) * (y.to - y.from) / plot.Height();
    const AxisEnds ends = AxisEndsAt(pressModel, press);
    double xFrom = x.from, xTo = x.to, yFrom = y.from, yTo = y.to;
    (ends.right ? xTo : xFrom) -= dX;
    (ends.upper ? yTo : yFrom) -= dY;
    return working.SetXYRange(xFrom, xTo, 0.0, yFrom, yTo, 0.0, WithoutUndo(true));
}

bool PanTo(CGraphCurve& working, const DataPoint& grabbed, Point pointer) {
    const PlotRect& plot = working.Plot();
    const AxisRange x = working.XRange(), y = working.YRange();
    if (!PixelMap(plot, x, y).Valid()) return false;
    const double w = x.to - x.from, h = y.to - y.from;
    // From the pixel offsets, so the widths stay exactly as they were.
    const double xFrom =
        grabbed.x - (static_cast<double>(pointer.x) - plot.left) * w / plot.Width();
    const double yFrom =
        grabbed.y - (static_cast<double>(plot.bottom) - pointer.y) * h / plot.Height();
    if (xFrom == x.from && yFrom == y.from) return false;
    return working.SetXYRange(xFrom, xFrom + w, 0.0, yFrom, yFrom + h, 0.0, WithoutUndo(false));
}

bool AutoScrollStep(CGraphCurve& working, DataPoint& grabbed, Point pointer) {
    const PlotRect& plot = working.Plot();
    const AxisRange x = working.XRange(), y = working.YRange();
    if (!PixelMap(plot, x, y).Valid()) return false;
    const double w = x.to - x.from, h = y.to - y.from;
    double sx = 0.0, sy = 0.0;
    if (pointer.x >= plot.right)
        sx = -w * 0.1;
    else if (pointer.x < plot.left)
        sx = w * 0.1;
    if (pointer.y >= plot.bottom)
        sy = h * 0.1;
    else if (pointer.y < plot.top)
        sy = -h * 0.1;
    if (sx == 0.0 && sy == 0.0) return false;
    if (!working.SetXYRange(x.from + sx, x.to + sx, 0.0, y.from + sy, y.to + sy, 0.0,
                            WithoutUndo(false)))
        return false;
    // The grabbed point follows only the axes that really moved.
    grabbed.x += working.XRange().from - x.from;
    grabbed.y += working.YRange().from - y.from;
    return true;
}

bool EndDrag(CGraphCurve& model, const CGraphCurve& working) {
    // Ranges worked out on another scale or domain than the model shows now mean nothing there.
    if (model.XLog() != working.XLog() || model.YLog() != working.YLog() ||
        model.FreqDisplay() != working.FreqDisplay())
        return false;
    // Only the ranges are the drag's own: data, curves and cursors may have changed under it
    // (a reload, a measure step) and stay as they are now.
    model.PushUndo(kUndoZoom);
    UndoEntry e;
    e.xFrom = working.XRange().from;
    e.xTo = working.XRange().to;
    e.xIncrement = working.XRange().increment;
    e.yFrom = working.YRange().from;
    e.yTo = working.YRange().to;
    e.yIncrement = working.YRange().increment;
    e.xLog = model.XLog();
    e.yLog = model.YLog();
    e.freqDisplay = model.FreqDisplay();
    model.RestoreRanges(e);
    return true;
}

bool Wheel(CGraphCurve& model, Point p, bool towardUser) {
    if (model.GraphKind() != kScreenOfView && model.GraphKind() != kScreenEmbedded) return false;
    const std::optional<DataPoint> c = DataAt(model, p);
    if (!c) return false;
    const double f = towardUser ? 0.9 : 1.1;
    const AxisRange x = model.XRange(), y = model.YRange();
    return model.SetXYRange(c->x - (c->x - x.from) * f, c->x + (x.to - c->x) * f, 0.0,
                            c->y - (c->y - y.from) * f, c->y + (y.to - c->y) * f, 0.0,
                            WithUndo(kUndoWheel, true));
}

ScrollBarState ScrollBarFor(const CGraphCurve& model, ScrollBar bar) {
    ScrollBarState s;
    const bool horizontal = bar == ScrollBar::Horizontal;
    s.shown = model.GraphKind() != kScreenTool && (!horizontal || model.BottomScreen());
    if (!s.shown) return s;
    const DataExtent& e = horizontal ? model.XExtent() : model.YExtent();
    const AxisRange& r = horizontal ? model.XRange() : model.YRange();
    const double inc = r.increment;
    if (!(inc > 0.0)) return s;
    const double lo = std::min(e.min, r.from), hi = std::max(e.max, r.to);
    const double total = CeilCount((hi - lo) / inc);
    const double visible = FloorCount((r.to - r.from) / inc);
    const double pos = FloorCount((r.from - lo) / inc);
    if (!std::isfinite(total) || !std::isfinite(visible) || !std::isfinite(pos)) return s;
    s.set = true;
    s.max = ToInt32(total - visible);
    s.page = ToInt32(visible);
    s.pos = std::min(ToInt32(pos), s.max);
    return s;
}

bool Scroll(CGraphCurve& model, ScrollBar bar, ScrollAction action, std::int32_t thumbPos) {
    const ScrollBarState s = ScrollBarFor(model, bar);
    if (!s.shown || !s.set) return false;
    // A range narrower than one step still pages by one.
    const std::int64_t page = std::max<std::int32_t>(s.page, 1);
    std::int64_t pos = s.pos;
    switch (action) {
        case ScrollAction::LineLess:
            pos -= 1;
            break;
        case ScrollAction::LineMore:
            pos += 1;
            break;
        case ScrollAction::PageLess:
            pos -= page;
            break;
        case ScrollAction::PageMore:
            pos += page;
            break;
        case ScrollAction::Thumb:
            pos = thumbPos;
            break;
        case ScrollAction::Home:
            pos = s.min;
            break;
        case ScrollAction::End:
            pos = s.max;
            break;
    }
    pos = std::clamp<std::int64_t>(pos, s.min, s.max);
    if (pos == s.pos) return false;

    const bool horizontal = bar == ScrollBar::Horizontal;
    const DataExtent& e = horizontal ? model.XExtent() : model.YExtent();
    const AxisRange r = horizontal ? model.XRange() : model.YRange();
    // Counted from the same low end the position was, so that one line is one
    // step even while the range reaches below the data.
    const double from = std::min(e.min, r.from) + r.increment * static_cast<double>(pos);
    const double to = from + (r.to - r.from);
    if (horizontal) return model.SetXRange(from, to, 0.0, WithUndo(kUndoHScroll, false));
    return model.SetYRange(from, to, 0.0, WithUndo(kUndoVScroll, false));
}

bool UndoEnabled(const std::vector<CGraphCurve*>& screens) {
    return screens.size() == 1 && screens[0] && !screens[0]->UndoStack().empty();
}

UndoResult Undo(const std::vector<CGraphCurve*>& screens) {
    UndoResult result;
    if (!UndoEnabled(screens)) return result;
    CGraphCurve& m = *screens[0];
    const std::unique_ptr<UndoEntry> e = m.PopUndo();
    result.scalesChanged =
        e->xLog != m.XLog() || e->yLog != m.YLog() || e->freqDisplay != m.FreqDisplay();
    result.invalidPoints = m.RestoreRanges(*e);
    result.done = true;
    // End the wheel or scroll run the entry belonged to, so that the next
    // step saves the restored ranges instead of joining a run that is gone.
    m.EndUndoRun();
    return result;
}

}  // namespace kurvex
