#include "graph/canvas/DashedCanvas.h"

#include <algorithm>
#include <cmath>

namespace kurvex {

namespace {

constexpr size_t kBatch = 8192;

}  // namespace

DashedCanvas::DashedCanvas(Canvas& inner, int on, int off)
    : inner_(inner), on_(std::max(on, 1)), period_(std::max(on, 1) + std::max(off, 0)) {}

DashedCanvas::~DashedCanvas() {
    Flush();
}

void DashedCanvas::SetPen(PenStyle, int width, Colour c) {
    Flush();  // the dashes so far keep the pen they were drawn with
    inner_.SetPen(PenStyle::Solid, width, c);
}

void DashedCanvas::Flush() {
    if (!dashes_.empty()) inner_.Segments(dashes_);
    dashes_.clear();
}

void DashedCanvas::Dash(Point a, Point b) {
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double length = std::hypot(dx, dy);
    if (!(length > 0.0)) return;
    const auto at = [&](double t) {
        const double k = t / length;
        return Point{static_cast<int>(std::lround(a.x + dx * k)),
                     static_cast<int>(std::lround(a.y + dy * k))};
    };
    double t = 0.0;
    while (t < length) {
        const double p = std::fmod(phase_ + t, period_);
        if (p < on_) {
            const double end = std::min(length, t + (on_ - p));
            const Point from = at(t), to = at(end);
            if (!(from == to)) {
                dashes_.push_back(from);
                dashes_.push_back(to);
            }
            t = end;
        } else {
            t += period_ - p;
        }
    }
    phase_ = std::fmod(phase_ + length, period_);
    if (dashes_.size() >= 2 * kBatch) Flush();
}

void DashedCanvas::LineTo(int x, int y) {
    Dash(at_, {x, y});
    at_ = {x, y};
}

void DashedCanvas::Segments(const std::vector<Point>& ends) {
    for (size_t i = 0; i + 1 < ends.size(); i += 2) Dash(ends[i], ends[i + 1]);
    if (!ends.empty()) at_ = ends.back();
}

void DashedCanvas::Polyline(const std::vector<Point>& points) {
    for (size_t i = 1; i < points.size(); ++i) Dash(points[i - 1], points[i]);
    if (!points.empty()) at_ = points.back();
}

void DashedCanvas::Polygon(const std::vector<Point>& points) {
    Flush();  // a marker goes over the line that leads to it
    inner_.Polygon(points);
}

void DashedCanvas::Ellipse(const Rect& r) {
    Flush();
    inner_.Ellipse(r);
}

}  // namespace kurvex
