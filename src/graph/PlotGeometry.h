#pragma once

#include <cmath>
#include <cstdint>

#include "graph/GraphFont.h"
#include "graph/canvas/Canvas.h"
#include "graph/canvas/GraphTypes.h"

namespace kurvex {

// Pixel coordinates are computed in doubles; far-off points are pinned well
// outside any plot so the integer conversion cannot overflow.
inline int ToPixelInt(double v) {
    constexpr double kPixelLimit = 1e9;
    if (!(v > -kPixelLimit)) return static_cast<int>(-kPixelLimit);
    if (!(v < kPixelLimit)) return static_cast<int>(kPixelLimit);
    return static_cast<int>(std::floor(v));
}

// Data-to-pixel conversion over a plot rectangle; invalid when a range or a
// pixel extent is empty, and then nothing is converted.
class PixelMap {
public:
    PixelMap(const PlotRect& plot, const AxisRange& x, const AxisRange& y);
    bool Valid() const { return valid_; }
    // Pixel of a data point (both in the axes' own scale).
    Point ToPixel(double x, double y) const;
    int PixelX(double x) const { return plot_.left + ToPixelInt((x - xFrom_) * kx_); }
    int PixelY(double y) const { return plot_.bottom - ToPixelInt((y - yFrom_) * ky_); }
    // Data point of a pixel.
    double DataX(int px) const;
    double DataY(int py) const;
    // Pixels per data unit and the range starts, for loops that work in
    // pixel offsets: px = left + floor((x - XFrom()) * Kx()).
    double Kx() const { return kx_; }
    double Ky() const { return ky_; }
    double XFrom() const { return xFrom_; }
    double YFrom() const { return yFrom_; }

private:
    PlotRect plot_;
    double xFrom_ = 0, yFrom_ = 0;
    double sx_ = 0, sy_ = 0;  // data units per pixel
    double kx_ = 0, ky_ = 0;  // pixels per data unit
    bool valid_ = false;
};

// The plot rectangle inside `target` for a screen of `graphKind`.
PlotRect PlotRectangle(std::int32_t graphKind, bool axisTextShown, bool bottomScreen,
                       const PlotRect& target, const CharMetrics& metrics);

// How one draw of a screen goes.
struct DrawOptions {
    PlotRect target;           // the window or page area the screen fills
    int scale = 1;             // printer dots per screen pixel; 1 on screen
    bool recordLegend = true;  // store legend rectangles; draw cursors and selections
    bool force = true;         // clear and draw everything again
    bool fullRedraw = true;    // frame, axes and legend too
    bool drawGrid = true;      // grid lines (the screen's grid flag)
    bool showSelectionMark = false;
    bool printing = false;  // 1000 units to the inch
    bool summaries = true;  // dense columns take their extremes from column summaries
};

// Moves the endpoints of a segment that lie outside `plot` onto lines just
// inside it; false when the segment is not to be drawn (it misses the plot,
// or what is left of it is a single point).
bool ClipSegment(const PlotRect& plot, Point& a, Point& b);

// The canvas font for the screen's axis font.
CanvasFont ToCanvasFont(const GraphFont& font, int scale);

}  // namespace kurvex
