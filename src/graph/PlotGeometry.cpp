#include "graph/PlotGeometry.h"

#include <algorithm>
#include <cmath>

namespace kurvex {

namespace {

bool Inside(const PlotRect& r, int x, int y) {
    return r.Contains(x, y);
}

}  // namespace

PixelMap::PixelMap(const PlotRect& plot, const AxisRange& x, const AxisRange& y)
    : plot_(plot), xFrom_(x.from), yFrom_(y.from) {
    const double xr = x.to - x.from, yr = y.to - y.from;
    const int w = plot.Width(), h = plot.Height();
    valid_ = xr > 0 && yr > 0 && w > 0 && h > 0 && std::isfinite(xr) && std::isfinite(yr);
    if (!valid_) return;
    sx_ = xr / w;
    sy_ = yr / h;
    kx_ = w / xr;
    ky_ = h / yr;
}

Point PixelMap::ToPixel(double x, double y) const {
    return {PixelX(x), PixelY(y)};
}

double PixelMap::DataX(int px) const {
    return (px - plot_.left) * sx_ + xFrom_;
}

double PixelMap::DataY(int py) const {
    return (plot_.bottom - py) * sy_ + yFrom_;
}

PlotRect PlotRectangle(std::int32_t graphKind, bool axisTextShown, bool bottomScreen,
                       const PlotRect& target, const CharMetrics& metrics) {
    PlotRect r = target;
    const int w = metrics.digitsWidth, h = metrics.textHeight;
    if (graphKind == kScreenBanded) {
        const int d = w / 10;
        return {r.left + d, r.top + d, r.right - d, r.bottom - d};
    }
    if (graphKind == kScreenTool || graphKind == kScreenEmbedded) {
        if (!axisTextShown) {
            const int d = h / 4;
            return {r.left + d, r.top + d, r.right - d, r.bottom - d};
        }
        r.left += w;
        r.top += static_cast<int>(1.5 * h);
        r.right -= w / 10;
        r.bottom -= static_cast<int>((bottomScreen ? 2.5 : 1.5) * h);
        return r;
    }
    if (!axisTextShown) {
        r.bottom -= h / 4;
        r.left += h / 2;
        r.top += h / 2;
        r.right -= h / 2;
        return r;
    }
    r.left += static_cast<int>(1.5 * w);
    r.top += 2 * h;
    r.right -= w / 2;
    r.bottom -= bottomScreen ? 4 * h : h / 2;
    return r;
}

bool ClipSegment(const PlotRect& plot, Point& a, Point& b) {
    const int left = plot.left, top = plot.top, right = plot.right, bottom = plot.bottom;
    if (a.x == b.x) {
        // Vertical: only the ends move, and only when the line runs inside.
        if (!(a.x > left && a.x < right - 1)) return false;
        a.y = std::clamp(a.y, top + 1, bottom - 1);
        b.y = std::clamp(b.y, top + 1, bottom - 1);
        // Both ends beyond one edge clamp to one point: nothing to draw, and
        // a thick pen would make it a dot.
        return a.y != b.y;
    }
    if (a.y == b.y) {
        if (!(a.y > top && a.y < bottom - 1)) return false;
        a.x = std::clamp(a.x, left + 1, right - 1);
        b.x = std::clamp(b.x, left + 1, right - 1);
        return a.x != b.x;
    }
    // Moves p onto the first boundary line it lies beyond whose crossing with
    // the segment falls strictly between the two other bounds.
    auto moveOnto = [&](Point& p, const Point& q) {
        const double px = p.x, py = p.y, dx = q.x - p.x, dy = q.y - p.y;
        struct Line {
            bool horizontal;
            double at;
            bool beyond;
        };
        const Line lines[] = {
            {true, bottom - 1.0, p.y > bottom - 1},
            {true, top + 1.0, p.y < top + 1},
            {false, right - 1.0, p.x > right - 1},
            {false, left + 1.0, p.x < left + 1},
        };
        for (const Line& l : lines) {
            if (!l.beyond) continue;
            const double t = l.horizontal ? (l.at - py) / dy : (l.at - px) / dx;
            if (!(t >= 0.0 && t <= 1.0)) continue;
            if (l.horizontal) {
                const double x = px + t * dx;
                if (!(x > left + 1 && x < right - 1)) continue;
                p = {static_cast<int>(std::lround(x)), static_cast<int>(l.at)};
            } else {
                const double y = py + t * dy;
                if (!(y > top + 1 && y < bottom - 1)) continue;
                p = {static_cast<int>(l.at), static_cast<int>(std::lround(y))};
            }
            return true;
        }
        return false;
    };
    const bool aIn = Inside(plot, a.x, a.y), bIn = Inside(plot, b.x, b.y);
    if (aIn && bIn) return true;
    if (!aIn && !bIn) {
        // The bounding box must meet the plot before anything is tried.
        if (std::max(a.x, b.x) < left || std::min(a.x, b.x) >= right || std::max(a.y, b.y) < top ||
            std::min(a.y, b.y) >= bottom)
            return false;
    }
    Point na = a, nb = b;
    if (!aIn && !moveOnto(na, b)) return false;
    if (!bIn && !moveOnto(nb, a)) return false;
    if (!Inside(plot, na.x, na.y) || !Inside(plot, nb.x, nb.y) || na == nb) return false;
    a = na;
    b = nb;
    return true;
}

CanvasFont ToCanvasFont(const GraphFont& font, int scale) {
    CanvasFont f;
    f.face = font.faceName.empty() ? "Arial" : font.faceName;
    f.height = std::max(1, std::abs(font.height)) * std::max(1, scale);
    f.weight = font.weight;
    f.italic = font.italic != 0;
    return f;
}

}  // namespace kurvex
