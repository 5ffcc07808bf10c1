#include "graph/GraphLine.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "data/platform/IOBuffer.h"
#include "graph/GraphCurve.h"
#include "graph/PlotGeometry.h"

namespace kurvex {

namespace {

// How far the hit region reaches on each side of the segment.
constexpr int kBodyReach = 3;

bool Finite(double a, double b, double c, double d) {
    return std::isfinite(a) && std::isfinite(b) && std::isfinite(c) && std::isfinite(d);
}

bool WithinFour(Point a, Point b) {
    return std::llabs(std::int64_t{a.x} - b.x) <= 4 && std::llabs(std::int64_t{a.y} - b.y) <= 4;
}

Rect PixelOf(Point p) {
    return {p.x, p.y, p.x + 1, p.y + 1};
}

// Cuts a segment to `r` before it reaches the canvas: ends far outside the
// plot (a zoomed-in view of a long line) must not overflow device coordinates.
bool ClipToRect(const Rect& r, double& ax, double& ay, double& bx, double& by) {
    double t0 = 0.0, t1 = 1.0;
    const double dx = bx - ax, dy = by - ay;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {ax - r.left, r.right - ax, ay - r.top, r.bottom - ay};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0.0) {
            if (q[i] < 0.0) return false;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0.0)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
        if (t0 > t1) return false;
    }
    const double sx = ax, sy = ay;
    ax = sx + t0 * dx;
    ay = sy + t0 * dy;
    bx = sx + t1 * dx;
    by = sy + t1 * dy;
    return true;
}

void Stroke(Canvas& canvas, const Rect& limit, Point a, Point b) {
    double ax = a.x, ay = a.y, bx = b.x, by = b.y;
    if (!ClipToRect(limit, ax, ay, bx, by)) return;
    canvas.MoveTo(static_cast<int>(std::lround(ax)), static_cast<int>(std::lround(ay)));
    canvas.LineTo(static_cast<int>(std::lround(bx)), static_cast<int>(std::lround(by)));
}

PenStyle CanvasStyle(std::int32_t style) {
    if (style == kLinePenDotted) return PenStyle::Dot;
    if (style == 3) return PenStyle::DashDot;
    return PenStyle::Solid;
}

// Whether the band of points within `reach` of the segment a-b, measured
// along axis v and spanning exactly a..b along axis u, meets the box
// [u0, u1] x [v0, v1] (inclusive pixel bounds).
bool BandMeets(double au, double av, double bu, double bv, double u0, double u1, double v0,
               double v1, double reach) {
    if (au > bu) {
        std::swap(au, bu);
        std::swap(av, bv);
    }
    const double lo = std::max(au, u0), hi = std::min(bu, u1);
    if (lo > hi) return false;
    double vlo = av, vhi = av;
    if (bu > au) {
        const double slope = (bv - av) / (bu - au);
        const double va = av + (lo - au) * slope, vb = av + (hi - au) * slope;
        vlo = std::min(va, vb);
        vhi = std::max(va, vb);
    }
    return vlo - reach <= v1 && vhi + reach >= v0;
}

}  // namespace

void CGraphLine::SetEnd(AnnotationHit end, double x, double y) {
    if (end == kHitFirstEnd)
        SetFirst(x, y);
    else if (end == kHitSecondEnd)
        SetSecond(x, y);
}

void CGraphLine::ArrowBarbs(Point p1, Point p2, Point& left, Point& right) {
    const double dx = static_cast<double>(p2.x) - p1.x, dy = static_cast<double>(p2.y) - p1.y;
    const double length = std::hypot(dx, dy);
    const double bx = (5.0 * p1.x + p2.x) / 6.0, by = (5.0 * p1.y + p2.y) / 6.0;
    if (length == 0.0) {
        left = right = p1;
        return;
    }
    const double w = length * kArrowHalfWidth;
    const double ux = dy / length, uy = -dx / length;
    left = {static_cast<int>(std::lround(bx + w * ux)), static_cast<int>(std::lround(by + w * uy))};
    right = {static_cast<int>(std::lround(bx - w * ux)),
             static_cast<int>(std::lround(by - w * uy))};
}

void CGraphLine::Draw(Canvas& canvas, const AnnotationPaint& paint) {
    if (!Finite(x1_, y1_, x2_, y2_)) return;
    const PixelMap map(paint.plot, paint.x, paint.y);
    if (!map.Valid()) return;
    const Point a = map.ToPixel(x1_, y1_), b = map.ToPixel(x2_, y2_);
    Rect box = Union(PixelOf(a), PixelOf(b));
    Point left, right;
    if (arrow_ && a != b) {
        ArrowBarbs(a, b, left, right);
        box = Union(box, Union(PixelOf(left), PixelOf(right)));
    }
    if (paint.record) {
        p1_ = a;
        p2_ = b;
        bounds_ = box;
    }
    if (a == b) return;

    int width = std::clamp(pen_.widthX, 1, kMaxPenWidth);
    if (paint.printing && width > 1) width *= std::max(1, paint.scale);
    canvas.SetPen(CanvasStyle(pen_.style), width, paint.blackWhite ? kRgbBlack : pen_.colour);
    const Rect limit = Inflate(paint.plot, 8 + width);
    Stroke(canvas, limit, a, b);
    if (arrow_) {
        Stroke(canvas, limit, left, a);
        Stroke(canvas, limit, right, a);
    }
}

void CGraphLine::DrawSelection(Canvas& canvas) const {
    if (bounds_.Empty()) return;
    canvas.FillRect(BoxAround(p1_, 2), kRgbBlack);
    canvas.FillRect(BoxAround(p2_, 2), kRgbBlack);
}

bool CGraphLine::BodyMeets(const Rect& box) const {
    if (bounds_.Empty() || box.Empty()) return false;
    const Rect segment = Union(PixelOf(p1_), PixelOf(p2_));
    if (!RectsMeet(box, Inflate(segment, 2))) return false;
    const double dx = static_cast<double>(p2_.x) - p1_.x, dy = static_cast<double>(p2_.y) - p1_.y;
    // The ends are pushed out across the line's main direction, so the region
    // is a band that spans the segment along that direction.
    if (std::abs(dx) >= std::abs(dy))
        return BandMeets(p1_.x, p1_.y, p2_.x, p2_.y, box.left, box.right - 1, box.top,
                         box.bottom - 1, kBodyReach);
    return BandMeets(p1_.y, p1_.x, p2_.y, p2_.x, box.top, box.bottom - 1, box.left, box.right - 1,
                     kBodyReach);
}

AnnotationHit CGraphLine::HitTest(Point p) const {
    if (bounds_.Empty()) return kHitNone;
    if (WithinFour(p, p1_)) return kHitFirstEnd;
    if (WithinFour(p, p2_)) return kHitSecondEnd;
    return BodyMeets(BoxAround(p, 2)) ? kHitBody : kHitNone;
}

bool CGraphLine::Intersects(const Rect& r) const {
    return BodyMeets(r);
}

std::unique_ptr<CGraphAnnotation> CGraphLine::Clone() const {
    return std::make_unique<CGraphLine>(*this);
}

void CGraphLine::Offset(double dx, double dy) {
    x1_ += dx;
    y1_ += dy;
    x2_ += dx;
    y2_ += dy;
}

void CGraphLine::WriteRecord(CIOBuffer& out) const {
    out.WriteDouble(x1_);
    out.WriteDouble(y1_);
    out.WriteDouble(x2_);
    out.WriteDouble(y2_);
    out.WriteInt32(pen_.style);
    out.WriteInt32(pen_.widthX);
    out.WriteInt32(pen_.widthY);
    out.WriteUInt32(pen_.colour);
    out.WriteInt32(arrow_);
}

bool CGraphLine::ReadRecord(CIOBuffer& in) {
    if (in.Remaining() < kRecordBytes) return false;
    const double x1 = in.ReadDouble(), y1 = in.ReadDouble();
    const double x2 = in.ReadDouble(), y2 = in.ReadDouble();
    LinePen pen;
    pen.style = in.ReadInt32();
    pen.widthX = in.ReadInt32();
    pen.widthY = in.ReadInt32();
    pen.colour = in.ReadUInt32() & 0xFFFFFF;
    const std::int32_t arrow = in.ReadInt32();
    if (!Finite(x1, y1, x2, y2)) return false;
    if (pen.widthX < 0 || pen.widthX > kMaxPenWidth) return false;
    SetFirst(x1, y1);
    SetSecond(x2, y2);
    pen_ = pen;
    SetArrow(arrow);
    return true;
}

}  // namespace kurvex
