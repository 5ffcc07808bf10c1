#include "graph/Renderer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <mutex>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "data/ColumnSummary.h"
#include "data/NameText.h"
#include "graph/Annotations.h"
#include "graph/AxisTicks.h"
#include "graph/DashedCanvas.h"
#include "graph/PreviousRun.h"

namespace kurvex {

namespace {

// Pixel coordinates are computed in doubles; far-off points are pinned well
// outside any plot so the integer conversion cannot overflow.
constexpr double kPixelLimit = 1e9;

int ToPixelInt(double v) {
    if (!(v > -kPixelLimit)) return static_cast<int>(-kPixelLimit);
    if (!(v < kPixelLimit)) return static_cast<int>(kPixelLimit);
    return static_cast<int>(std::floor(v));
}

bool Inside(const PlotRect& r, int x, int y) {
    return r.Contains(x, y);
}

// Where an axis's grid lines go (in the axis's own scale), which values carry
// labels (as values: on a log axis not their logarithms) and their prefix.
struct AxisTickSet {
    std::vector<double> grid;
    std::vector<double> labelled;
    AxisPrefix prefix;
};

AxisTickSet TicksOf(const AxisRange& r, bool log) {
    AxisTickSet t;
    if (log) {
        const double lo = std::pow(10.0, r.from), hi = std::pow(10.0, r.to);
        LogTickLists lists = LogTicks(lo, hi);
        for (double v : lists.grid) t.grid.push_back(std::log10(v));
        t.labelled = std::move(lists.labelled);
        t.prefix = EngineeringPrefix(hi - lo);
    } else {
        t.grid = LinearTicks(r.from, r.to, r.increment);
        t.labelled = t.grid;
        t.prefix = EngineeringPrefix(r.to - r.from);
    }
    return t;
}

// A pen on a canvas that keeps the segments it draws and hands them over in
// batches.
class SegmentPath {
public:
    explicit SegmentPath(Canvas& canvas) : canvas_(canvas) { ends_.reserve(2 * kBatch); }
    ~SegmentPath() { Flush(); }
    void Move(Point p) { at_ = p; }
    void Line(Point p) {
        ends_.push_back(at_);
        ends_.push_back(p);
        at_ = p;
        if (ends_.size() >= 2 * kBatch) Flush();
    }
    void Flush() {
        if (!ends_.empty()) canvas_.Segments(ends_);
        ends_.clear();
    }

private:
    static constexpr size_t kBatch = 4096;
    Canvas& canvas_;
    std::vector<Point> ends_;
    Point at_;
};

// Smallest and largest of n values (n a multiple of 4); false when one is
// NaN, which no run may take in. This is the one loop a dense curve spends
// its time in, so it works two lanes at a time where the processor has them.
bool MinMax(const double* v, std::int32_t n, double& mn, double& mx) {
#if defined(__SSE2__)
    __m128d lo0 = _mm_set1_pd(v[0]), lo1 = lo0, hi0 = lo0, hi1 = lo0, nan = _mm_setzero_pd();
    for (std::int32_t k = 0; k < n; k += 4) {
        const __m128d a = _mm_loadu_pd(v + k), b = _mm_loadu_pd(v + k + 2);
        lo0 = _mm_min_pd(lo0, a);
        lo1 = _mm_min_pd(lo1, b);
        hi0 = _mm_max_pd(hi0, a);
        hi1 = _mm_max_pd(hi1, b);
        nan = _mm_or_pd(nan, _mm_or_pd(_mm_cmpunord_pd(a, a), _mm_cmpunord_pd(b, b)));
    }
    if (_mm_movemask_pd(nan)) return false;
    double lo[2], hi[2];
    _mm_storeu_pd(lo, _mm_min_pd(lo0, lo1));
    _mm_storeu_pd(hi, _mm_max_pd(hi0, hi1));
    mn = std::min(lo[0], lo[1]);
    mx = std::max(hi[0], hi[1]);
#else
    mn = mx = v[0];
    for (std::int32_t k = 0; k < n; ++k) {
        if (std::isnan(v[k])) return false;
        mn = std::min(mn, v[k]);
        mx = std::max(mx, v[k]);
    }
#endif
    return true;
}

// Where the pixel columns of the plot begin in a sorted X column: column
// left + k holds samples starts[k] .. starts[k + 1] - 1. Worked out once per
// draw for all curves.
struct PixelColumns {
    std::int32_t left = 0;
    std::vector<std::int32_t> starts;
};

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

int PixelMap::PixelX(double x) const {
    return plot_.left + ToPixelInt((x - xFrom_) * kx_);
}

int PixelMap::PixelY(double y) const {
    return plot_.bottom - ToPixelInt((y - yFrom_) * ky_);
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
    if (graphKind == 2) {
        const int d = w / 10;
        return {r.left + d, r.top + d, r.right - d, r.bottom - d};
    }
    if (graphKind == 1 || graphKind == 3) {
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

std::string XAxisTitle(const std::string& name, const std::string& prefix) {
    const std::string unit = XUnit(name);
    if (unit.empty() && prefix.empty()) return name;
    return name + " (" + prefix + (unit.empty() ? " " : unit) + ")";
}

CanvasFont ToCanvasFont(const GraphFont& font, int scale) {
    CanvasFont f;
    f.face = font.faceName.empty() ? "Arial" : font.faceName;
    f.height = std::max(1, std::abs(font.height)) * std::max(1, scale);
    f.weight = font.weight;
    f.italic = font.italic != 0;
    return f;
}

namespace {

// Draws one screen; the steps follow the order in which a screen is built up.
class ScreenPainter {
public:
    ScreenPainter(CGraphCurve& model, Canvas& canvas, const DrawOptions& options)
        : m_(model), c_(canvas), o_(options), bw_(model.BlackWhite()) {
        w_ = m_.Metrics().digitsWidth;
        h_ = m_.Metrics().textHeight;
        scale_ = std::max(1, o_.scale);
    }

    Colour Fore() const { return bw_ ? kRgbBlack : m_.Foreground(); }
    Colour Back() const { return bw_ ? kRgbWhite : m_.Background(); }
    Colour Ink(Colour c) const { return bw_ ? kRgbBlack : c; }

    void Frame(const PlotRect& p);
    void XAxis(const PlotRect& p);
    void YAxis(const PlotRect& p);
    void Legend(const PlotRect& p);
    void Curves(const PlotRect& p);
    void Cursors(const PlotRect& p);
    void CentredText(const PlotRect& target, const std::string& text);
    // Whether a dense column that leaves the plot may be drawn as the one
    // line its pixels come to (off where dashes would change their phase).
    void SetMergeColumns(bool on) { mergeColumns_ = on; }

private:
    void Curve(CCurveEntry& curve, const PlotRect& p, const PixelMap& map, const IndexWindow& win,
               bool dense, const CResultVariable& x, bool sortedColumn,
               const PixelColumns& columns);
    void Marker(int symbol, int px, int py);

    CGraphCurve& m_;
    Canvas& c_;
    const DrawOptions& o_;
    bool bw_;
    bool mergeColumns_ = true;
    int w_ = 75, h_ = 15, scale_ = 1;
};

void ScreenPainter::Frame(const PlotRect& p) {
    c_.SetPen(PenStyle::Solid, scale_, Fore());
    c_.MoveTo(p.left, p.top);
    c_.LineTo(p.right, p.top);
    c_.LineTo(p.right, p.bottom);
    c_.LineTo(p.left, p.bottom);
    c_.LineTo(p.left, p.top);
    if (m_.GraphKind() == 2 && !m_.XLog() && !m_.YLog()) {
        const int cx = p.left + p.Width() / 2, cy = p.top + p.Height() / 2;
        c_.MoveTo(cx, p.top);
        c_.LineTo(cx, p.bottom);
        c_.MoveTo(p.left, cy);
        c_.LineTo(p.right, cy);
    }
}

void ScreenPainter::XAxis(const PlotRect& p) {
    const AxisRange r = m_.XRange();
    if (!(r.to > r.from) || p.Width() <= 0) return;
    const bool labels = !m_.HideAxisText() && m_.BottomScreen();
    const double kx = p.Width() / (r.to - r.from);
    auto pixel = [&](double v) { return p.left + ToPixelInt((v - r.from) * kx); };
    // A zero X step found at drawing time counts as 1.
    const AxisTickSet t =
        TicksOf({r.from, r.to, r.increment == 0.0 ? 1.0 : r.increment}, m_.XLog());
    const std::vector<double>& grid = t.grid;
    const std::vector<double>& labelled = t.labelled;
    const AxisPrefix& prefix = t.prefix;
    if (o_.drawGrid) {
        c_.SetPen(PenStyle::Dot, 1, Ink(m_.GridColour()));
        for (double v : grid) {
            const int px = pixel(v);
            c_.MoveTo(px, p.top);
            c_.LineTo(px, p.bottom);
        }
    }
    if (!labels) return;
    c_.SetTextColour(Fore());
    c_.SetTransparentText(true);
    const int y = p.bottom + h_ / 2;
    // A label that would run into the one drawn before it is left out (its
    // grid line stays), with a digit's width kept free between two labels.
    const int gap = w_ / 10;
    bool drawn = false;
    int lastRight = 0;
    for (double v : labelled) {
        const double at = m_.XLog() ? std::log10(v) : v;
        const std::string text = TickLabel(v, prefix);
        const Size s = c_.TextExtent(text);
        const int left = pixel(at) - s.cx / 2;
        if (drawn && left < lastRight + gap) continue;
        c_.TextOut(left, y, text);
        drawn = true;
        lastRight = left + s.cx;
    }
    const std::string name = DisplayName(m_.XTitle().empty() ? m_.XVariableName() : m_.XTitle());
    const std::string title = XAxisTitle(name, prefix.prefix);
    const Size s = c_.TextExtent(title);
    c_.TextOut(p.left + (p.Width() - s.cx) / 2, p.bottom + 2 * h_, title);
}

void ScreenPainter::YAxis(const PlotRect& p) {
    const AxisRange r = m_.YRange();
    if (!(r.to > r.from) || p.Height() <= 0) return;
    const double ky = p.Height() / (r.to - r.from);
    auto pixel = [&](double v) { return p.bottom - ToPixelInt((v - r.from) * ky); };
    const AxisTickSet t = TicksOf(r, m_.YLog());
    const std::vector<double>& grid = t.grid;
    const std::vector<double>& labelled = t.labelled;
    const AxisPrefix& prefix = t.prefix;
    if (o_.drawGrid) {
        c_.SetPen(PenStyle::Dot, 1, Ink(m_.GridColour()));
        for (double v : grid) {
            const int py = pixel(v);
            c_.MoveTo(p.left, py);
            c_.LineTo(p.right, py);
        }
    }
    if (m_.HideAxisText()) return;
    c_.SetTextColour(Fore());
    c_.SetTransparentText(true);
    // Labels go upward from the lowest; one that would cover the one drawn
    // before it is left out, its grid line stays.
    bool drawn = false;
    int lastTop = 0, lastBottom = 0;
    for (double v : labelled) {
        const double at = m_.YLog() ? std::log10(v) : v;
        const std::string text = TickLabel(v, prefix);
        const Size s = c_.TextExtent(text);
        const int top = pixel(at) - s.cy / 2;
        if (drawn && top < lastBottom && top + s.cy > lastTop) continue;
        c_.TextOut(p.left - w_ / 5 - s.cx, top, text);
        drawn = true;
        lastTop = top;
        lastBottom = top + s.cy;
    }
}

void ScreenPainter::Legend(const PlotRect& p) {
    if (o_.recordLegend) m_.LegendRects().clear();
    if (m_.HideAxisText()) return;
    c_.SetTransparentText(true);
    int x = p.left;
    const int y = p.top - static_cast<int>(1.5 * h_);
    for (std::int32_t i = 0; i < m_.CurveCount(); ++i) {
        const CCurveEntry& curve = m_.Curve(i);
        c_.SetTextColour(Ink(curve.colour));
        const std::string label = DisplayName(curve.label);
        c_.TextOut(x, y, label);
        const Size s = c_.TextExtent(label);
        if (o_.recordLegend) m_.LegendRects().push_back({x, y, x + s.cx, y + s.cy});
        x += s.cx + w_ / 2;
    }
}

void ScreenPainter::Marker(int symbol, int px, int py) {
    const int s = scale_;
    switch (symbol) {
        case kMarkerCircle:
            c_.Ellipse({px - 3 * s, py - 3 * s, px + 3 * s, py + 3 * s});
            break;
        case kMarkerRectangle:
            c_.Polygon({{px - 2 * s, py - 2 * s},
                        {px - 2 * s, py + 2 * s},
                        {px + 2 * s, py + 2 * s},
                        {px + 2 * s, py - 2 * s}});
            break;
        case kMarkerTriangle:
            c_.Polygon({{px, py - 3 * s}, {px - 3 * s, py + 3 * s}, {px + 3 * s, py + 3 * s}});
            break;
        case kMarkerStar:
            c_.Polygon({{px, py - 4 * s},
                        {px + 2 * s, py + 3 * s},
                        {px - 4 * s, py - s},
                        {px + 4 * s, py - s},
                        {px - 2 * s, py + 3 * s}});
            break;
        default:
            break;
    }
}

void ScreenPainter::Curves(const PlotRect& p) {
    const PixelMap map(p, m_.XRange(), m_.YRange());
    if (!map.Valid() || m_.CurveCount() == 0) return;
    const RefPtr<CResultVariable> x = m_.XColumn();
    if (!x) return;
    const IndexWindow win = m_.VisibleIndexWindow(m_.XRange().from, m_.XRange().to);
    if (win.Empty()) return;
    const std::int64_t count = static_cast<std::int64_t>(win.last) - win.first;
    const bool dense = count > 1000 && p.Width() > 0 && count / p.Width() > 5;
    c_.SetClip(nullptr);
    const bool sorted = m_.XIsSortedColumn();
    // In a sorted X column each pixel column is one run of indices, the same
    // for every curve.
    PixelColumns columns;
    if (dense && sorted && m_.GraphKind() != 2) {
        columns.left = p.left;
        columns.starts.resize(static_cast<size_t>(p.Width()) + 1);
        const std::int32_t end = std::min(win.last, x->Capacity() - 1) + 1;
        const double* xv = x->Values();
        std::int32_t from = win.first, width = 0;
        for (std::int32_t k = 0; k <= p.Width(); ++k) {
            const int column = p.left + k;
            auto before = [&](std::int32_t i) { return map.PixelX(xv[i]) < column; };
            // Columns hold about as many samples as the one before: the
            // search gallops out from there, so that it touches a few nearby
            // samples instead of bisecting the whole column of X.
            const std::int32_t guess = static_cast<std::int32_t>(
                std::min<std::int64_t>(static_cast<std::int64_t>(from) + width, end));
            std::int32_t lo, hi;
            if (guess < end && before(guess)) {
                lo = guess + 1;
                for (std::int64_t step = 1;; step *= 2) {
                    const std::int64_t probe = lo + step - 1;
                    if (probe >= end) {
                        hi = end;
                        break;
                    }
                    if (!before(static_cast<std::int32_t>(probe))) {
                        hi = static_cast<std::int32_t>(probe);
                        break;
                    }
                    lo = static_cast<std::int32_t>(probe) + 1;
                }
            } else {
                hi = guess;
                for (std::int64_t step = 1;; step *= 2) {
                    const std::int64_t probe = hi - step;
                    if (probe < from) {
                        lo = from;
                        break;
                    }
                    if (before(static_cast<std::int32_t>(probe))) {
                        lo = static_cast<std::int32_t>(probe) + 1;
                        break;
                    }
                    hi = static_cast<std::int32_t>(probe);
                }
            }
            while (lo < hi) {
                const std::int32_t mid = lo + (hi - lo) / 2;
                if (before(mid))
                    lo = mid + 1;
                else
                    hi = mid;
            }
            width = k == 0 ? 0 : lo - from;
            columns.starts[static_cast<size_t>(k)] = from = lo;
        }
    }
    for (std::int32_t i = 0; i < m_.CurveCount(); ++i) {
        CCurveEntry& curve = m_.Curve(i);
        Curve(curve, p, map, win, dense, *x, sorted, columns);
    }
}

void ScreenPainter::Curve(CCurveEntry& curve, const PlotRect& p, const PixelMap& map,
                          const IndexWindow& win, bool dense, const CResultVariable& xcol,
                          bool sortedColumn, const PixelColumns& columns) {
    const RefPtr<CResultVariable> ycol = m_.YColumn(curve);
    if (!ycol) return;
    const Colour colour = Ink(curve.colour);
    const int thickness = std::clamp(curve.thickness, 0, 100);
    c_.SetPen(PenStyle::Solid, thickness > 1 ? thickness * scale_ : thickness, colour);
    c_.SetBrush(colour);
    const std::int32_t last = std::min({win.last, xcol.Capacity() - 1, ycol->Capacity() - 1});
    const double* xv = xcol.Values();
    const std::uint8_t* xf = xcol.Flags();
    const double* yv = ycol->Values();
    const std::uint8_t* yf = ycol->Flags();
    const bool connect = curve.connect != 0;
    const int symbol = curve.markerSymbol;
    // In a sorted X column every pixel column is one contiguous index range.
    const bool sortedX = sortedColumn;
    // The banded kind gives every curve a strip of its own.
    const bool band = m_.GraphKind() == 2;
    const double bandScale = curve.bandScale == 0.0 ? 1.0 : curve.bandScale;
    const double bandK = p.Height() / (bandScale * 8.0);

    bool havePrev = false;  // a valid point precedes without a gap
    Point prev{};
    bool prevIn = false;
    bool inRun = false;  // a dense-mode vertical run is being collected
    int runX = 0, runMin = 0, runMax = 0;
    // Segments go to the canvas in batches: one call draws thousands of them.
    SegmentPath path(c_);
    auto flushRun = [&]() {
        if (!inRun) return;
        inRun = false;
        // One vertical line for the column, clipped to the plot.
        const int y0 = std::max(runMin, p.top + 1);
        const int y1 = std::min(runMax + 1, p.bottom - 1);
        if (y0 < y1) {
            path.Move({runX, y0});
            path.Line({runX, y1});
        }
        path.Move(prev);
    };
    // One sample of the walk.
    auto step = [&](std::int32_t i) {
        if (xf[i] != kPointValid || yf[i] != kPointValid) {
            flushRun();
            havePrev = false;
            return;
        }
        Point pt;
        pt.x = map.PixelX(xv[i]);
        pt.y = band ? p.bottom - ToPixelInt((yv[i] + curve.bandOffset - m_.YRange().from) * bandK)
                    : map.PixelY(yv[i]);
        const bool in = Inside(p, pt.x, pt.y);
        if (dense && connect) {
            if (inRun) {
                if (in && pt.x == runX) {
                    runMin = std::min(runMin, pt.y);
                    runMax = std::max(runMax, pt.y);
                    prev = pt;
                    return;
                }
                flushRun();
            } else if (havePrev && prevIn && in && pt.x == prev.x) {
                inRun = true;
                runX = pt.x;
                runMin = std::min(prev.y, pt.y);
                runMax = std::max(prev.y, pt.y);
                prev = pt;
                return;
            }
        }
        if (in && symbol != kMarkerNone) {
            path.Flush();  // markers go over the line that leads to them
            Marker(symbol, pt.x, pt.y);
        }
        if (connect) {
            if (!havePrev) {
                if (in) path.Move(pt);
            } else if (prevIn && in) {
                path.Line(pt);
            } else {
                Point a = prev, b = pt;
                if (ClipSegment(p, a, b)) {
                    path.Move(a);
                    path.Line(b);
                }
                if (in) path.Move(pt);
            }
        }
        prev = pt;
        prevIn = in;
        havePrev = true;
    };

    const double kx = map.Kx(), ky = map.Ky(), xFrom = map.XFrom(), yFrom = map.YFrom();
    const double rLimit = static_cast<double>(p.Height()) + 1.0;
    if (dense && connect && !band && !columns.starts.empty()) {
        // Column by column: a column of two or more samples, all valid and
        // inside the plot, is one vertical run from its first sample on; the
        // walk takes that first sample and whatever is not so plain. The
        // column's summary gives the same extremes from whole buckets.
        std::shared_ptr<const ColumnSummary> summary;
        if (o_.summaries) summary = m_.YSummary(curve);
        if (summary && summary->Source() != yv) summary.reset();
        // What is drawn of a column depends on the rows of its extremes
        // only: an end of it in a bucket whose extremes fall in the rows of
        // the rest of the column need not be read.
        auto rank = [&](double v) { return ToPixelInt((v - yFrom) * ky); };
        auto sameRows = [&](double lo, double hi, double mn, double mx) {
            return rank(lo) >= rank(mn) && rank(hi) <= rank(mx);
        };
        auto extents = [&](std::int32_t a, std::int32_t b, double& mn, double& mx) {
            return summary ? summary->CleanExtents(yv, yf, a, b, mn, mx, sameRows)
                           : CleanExtents(yv, yf, a, b, mn, mx);
        };
        // A column that leaves the plot or holds a gap is walked, but whole
        // buckets that only lengthen the open run, or that stay beyond the
        // edge the previous sample is beyond, change nothing but the
        // previous point: they are taken from the summary.
        constexpr std::int32_t kBucket = ColumnSummary::kBucket;
        // Walks samples from .. to - 1 of a column whose sample from - 1 has
        // been walked.
        auto walkColumn = [&](std::int32_t from, std::int32_t to) {
            std::int32_t j = from;
            while (j < to) {
                double bMin, bMax;
                if (j % kBucket == 0 && to - j >= kBucket && havePrev &&
                    summary->Bucket(j / kBucket, bMin, bMax)) {
                    const double rMin = (bMin - yFrom) * ky, rMax = (bMax - yFrom) * ky;
                    const bool lengthensRun = inRun && rMin >= 1.0 && rMax < rLimit;
                    const bool staysBeyond = !prevIn && ((rMin >= rLimit && prev.y < p.top) ||
                                                         (rMax < 1.0 && prev.y >= p.bottom));
                    if (lengthensRun) {
                        runMin = std::min(runMin, p.bottom - ToPixelInt(rMax));
                        runMax = std::max(runMax, p.bottom - ToPixelInt(rMin));
                    }
                    if (lengthensRun || staysBeyond) {
                        j += kBucket;
                        prev = {prev.x, map.PixelY(yv[j - 1])};
                        continue;
                    }
                }
                step(j++);
            }
        };
        // A clean column that leaves the plot, drawn by a thin plain pen,
        // paints one unbroken stretch of its pixel column: every line the walk
        // draws in it runs between two of its samples clamped to the plot
        // (a run from its smallest row to one past its largest), and each
        // such line meets the next at a sample. So its rows run from the
        // smallest clamped row to the largest end of those lines: the bottom
        // clamp when a sample lies below the plot, else the lowest sample's
        // row, one further when that sample lies in a run. The lines into and
        // out of the column are walked as ever.
        const bool merge =
            mergeColumns_ && thickness <= 1 && symbol == kMarkerNone && p.Height() > 2;
        auto rowOf = [&](std::int32_t j) { return map.PixelY(yv[j]); };
        auto mergeColumn = [&](int column, std::int32_t a, std::int32_t b, double rMin,
                               double rMax) -> void {
            const int top = p.top + 1, bottom = p.bottom - 1;
            const int lowRow = p.bottom - ToPixelInt(rMax), highRow = p.bottom - ToPixelInt(rMin);
            const int from = std::clamp(lowRow, top, bottom);
            int to = bottom;
            if (highRow < p.top) {
                to = from;  // all above: every line clamps to a point
            } else if (highRow < bottom) {
                // Inside at its lowest: one row further when a sample of that
                // row has an inside neighbour in the column.
                auto inside = [&](std::int32_t j) {
                    const int y = rowOf(j);
                    return y >= p.top && y < p.bottom;
                };
                auto inRunAt = [&](std::int32_t j) {
                    return rowOf(j) == highRow &&
                           ((j > a && inside(j - 1)) || (j + 1 < b && inside(j + 1)));
                };
                bool run = false;
                for (std::int32_t j = a; j < b && !run;) {
                    double bMin, bMax;
                    if (j % kBucket == 0 && b - j >= kBucket &&
                        summary->Bucket(j / kBucket, bMin, bMax) &&
                        p.bottom - ToPixelInt((bMin - yFrom) * ky) < highRow) {
                        j += kBucket;  // no sample of the bucket reaches that row
                        continue;
                    }
                    run = inRunAt(j++);
                }
                to = highRow + (run ? 1 : 0);
            }
            if (from < to) {
                path.Move({column, from});
                path.Line({column, to});
            }
            prev = {column, rowOf(b - 1)};
            prevIn = prev.y >= p.top && prev.y < p.bottom;
            havePrev = true;
            inRun = false;
            path.Move(prev);
        };
        const auto width = static_cast<std::int32_t>(columns.starts.size()) - 1;
        constexpr std::int32_t kAhead = 4;
        std::int32_t k = 0;
        for (std::int32_t i = win.first; i <= last; ++i) {
            while (k < width && columns.starts[static_cast<size_t>(k) + 1] <= i) ++k;
            const std::int32_t a = columns.starts[static_cast<size_t>(k)];
            const std::int32_t b =
                k < width ? std::min(columns.starts[static_cast<size_t>(k) + 1], last + 1) : a;
            if (i != a || b - a < 2) {
                step(i);
                continue;
            }
            // With a summary a column costs little but the wait for the samples
            // at its ends, in the bucket it shares with the column before: ask
            // for those of a column a few ahead now.
            if (summary && k + kAhead < width) {
                const std::int32_t c = columns.starts[static_cast<size_t>(k + kAhead)];
                const std::int32_t from = c - c % kBucket;
                const std::int32_t to = std::min(from + kBucket, last + 1);
                for (std::int32_t j = from; j < to; j += 8) __builtin_prefetch(yv + j);
                __builtin_prefetch(yf + from);
                __builtin_prefetch(xv + c);
                __builtin_prefetch(xf + c);
            }
            double yMin = 0.0, yMax = 0.0;
            const bool clean = extents(a, b, yMin, yMax);
            const double rMin = (yMin - yFrom) * ky, rMax = (yMax - yFrom) * ky;
            if (!clean || !(rMin >= 1.0 && rMax < rLimit)) {
                if (!summary) {
                    step(i);
                    continue;
                }
                step(a);  // the line into the column
                const int column = columns.left + k;
                if (clean && merge && column > p.left && column < p.right - 1)
                    mergeColumn(column, a, b, rMin, rMax);
                else
                    walkColumn(a + 1, b);
                i = b - 1;
                continue;
            }
            step(i);
            inRun = true;
            runX = columns.left + k;
            runMin = p.bottom - ToPixelInt(rMax);
            runMax = p.bottom - ToPixelInt(rMin);
            prev = {runX, map.PixelY(yv[b - 1])};
            prevIn = true;
            havePrev = true;
            i = b - 1;
        }
        flushRun();
        path.Flush();
        return;
    }

    // An open run swallows the samples that stay in its column a block at a
    // time: the same result as the walk, at the cost of a min/max pass.
    const bool fastRuns = dense && connect && !band;
    bool tryFast = fastRuns;
    auto absorb = [&](std::int32_t i) {
        constexpr std::int32_t kBlock = 64, kShortBlock = 8;
        const double c0 = runX - p.left, c1 = c0 + 1.0;
        const std::int32_t end = last + 1;
        // Pixel rows and columns grow with the data values, so a block's
        // smallest and largest values decide for every sample in it.
        std::int32_t j = i;
        double lastR = 0.0;
        // Long blocks while the column lasts, then short ones for its tail.
        enum class Block { Taken, Leaves, Bad };
        auto takeBlock = [&](std::int32_t size) {
            double yMin, yMax, xMin = 0, xMax = 0;
            if (!MinMax(yv + j, size, yMin, yMax)) return Block::Bad;
            // Eight flags at a time: every one must be 1 (valid).
            std::uint64_t bad = 0;
            for (std::int32_t k = j; k < j + size; k += 8) {
                std::uint64_t fx, fy;
                std::memcpy(&fx, xf + k, 8);
                std::memcpy(&fy, yf + k, 8);
                bad |= (fx ^ 0x0101010101010101ull) | (fy ^ 0x0101010101010101ull);
            }
            // In a sorted column the block stays in the pixel column when its
            // last sample does; otherwise its X extent must.
            if (sortedX) {
                xMin = xv[j];
                xMax = xv[j + size - 1];
            } else if (!MinMax(xv + j, size, xMin, xMax)) {
                return Block::Bad;
            }
            const double rMin = (yMin - yFrom) * ky, rMax = (yMax - yFrom) * ky;
            if (bad || !(rMin >= 1.0 && rMax < rLimit)) return Block::Bad;
            if (!((xMin - xFrom) * kx >= c0 && (xMax - xFrom) * kx < c1)) return Block::Leaves;
            runMin = std::min(runMin, p.bottom - ToPixelInt(rMax));
            runMax = std::max(runMax, p.bottom - ToPixelInt(rMin));
            lastR = (yv[j + size - 1] - yFrom) * ky;
            j += size;
            return Block::Taken;
        };
        Block b = Block::Taken;
        while (b == Block::Taken && end - j >= kBlock) b = takeBlock(kBlock);
        // A block that only ran past the column leaves a tail for short blocks.
        if (b != Block::Bad) b = Block::Taken;
        while (b == Block::Taken && end - j >= kShortBlock) b = takeBlock(kShortBlock);
        if (j > i) prev = {runX, p.bottom - ToPixelInt(lastR)};
        // What is left of the column is shorter than a block: walk it.
        tryFast = false;
        return j;
    };
    for (std::int32_t i = win.first; i <= last; ++i) {
        if (inRun && tryFast) {
            i = absorb(i);
            if (i > last) break;
        }
        const bool wasInRun = inRun;
        step(i);
        // A run begun here may swallow blocks from the next sample on.
        if (inRun && !wasInRun) tryFast = fastRuns;
    }
    flushRun();
    path.Flush();
}

void ScreenPainter::Cursors(const PlotRect& p) {
    const PixelMap map(p, m_.XRange(), m_.YRange());
    if (!map.Valid()) return;
    for (int which = 0; which < 2; ++which) {
        const MeasureCursor& cur = m_.Cursor(which);
        if (!cur.shown) continue;
        const Point pt = map.ToPixel(cur.x, cur.y);
        if (!(pt.x > p.left && pt.x < p.right)) continue;
        c_.SetPen(PenStyle::DashDot, 1, Fore());
        c_.MoveTo(pt.x, p.top);
        c_.LineTo(pt.x, p.bottom);
        if (m_.SelectedCurve() >= 0 && cur.horizontalLine && pt.y > p.top && pt.y < p.bottom) {
            c_.MoveTo(p.left, pt.y);
            c_.LineTo(p.right, pt.y);
        }
    }
}

void ScreenPainter::CentredText(const PlotRect& target, const std::string& text) {
    c_.SetTextColour(Fore());
    c_.SetTransparentText(true);
    Rect r = target;
    const int height = c_.DrawWrappedText(r, text, true);
    if (height < r.Height()) r.top += (r.Height() - height) / 2;
    c_.DrawWrappedText(r, text, false);
}

// The run before the last reload, faded and dashed, under the curves.
void DrawPreviousRun(CGraphCurve& model, Canvas& canvas, const PlotRect& plot,
                     const DrawOptions& o) {
    CGraphCurve* shadow = model.PreviousRunShown()->Follow(model);
    if (!shadow) return;
    std::lock_guard<std::recursive_mutex> hold(shadow->Data()->Lock());
    shadow->EnsureLogColumns();
    const int s = std::max(1, o.scale);
    DashedCanvas dashed(canvas, 6 * s, 4 * s);
    ScreenPainter shadowPainter(*shadow, dashed, o);
    shadowPainter.SetMergeColumns(false);
    shadowPainter.Curves(plot);
}

}  // namespace

PlotRect DrawScreen(CGraphCurve& model, Canvas& canvas, const DrawOptions& options,
                    DrawMemory& memory) {
    const PlotRect plot = PlotRectangle(model.GraphKind(), !model.HideAxisText(),
                                        model.BottomScreen() != 0, options.target, model.Metrics());
    if (model.BusyCount() > 0) return plot;
    model.SetPlot(plot);
    model.EnsureLogColumns();
    ScreenPainter painter(model, canvas, options);
    canvas.SelectFont(ToCanvasFont(model.Font(), options.printing ? options.scale : 1));

    if (model.GraphKind() == 2 && model.CurveCount() == 0) {
        canvas.FillRect(options.target, painter.Back());
        painter.Frame(plot);
        painter.CentredText(plot, "No Data");
        return plot;
    }

    CResultData* data = model.Data().Get();
    std::lock_guard<std::recursive_mutex> hold(data->Lock());
    DrawOptions o = options;
    if (data->ChangeCount() != memory.changeCount) {
        memory.changeCount = data->ChangeCount();
        o.force = true;
    }
    if (o.force) {
        memory.lastRow = 0;
        o.fullRedraw = true;
    }
    const std::int32_t n = model.SampleCount();
    if (memory.lastRow >= 1 && memory.lastRow >= n - 1) return plot;
    memory.lastRow = n - 1;

    canvas.SetInchMapping(o.printing);
    // A band screen is built up off screen and shown in one step.
    std::unique_ptr<Canvas> offscreen;
    if (model.GraphKind() == 2 && o.target.right > 0 && o.target.bottom > 0)
        offscreen = canvas.MakeOffscreen({o.target.right, o.target.bottom});
    Canvas& surface = offscreen ? *offscreen : canvas;
    if (offscreen) surface.SelectFont(ToCanvasFont(model.Font(), 1));
    ScreenPainter p(model, surface, o);
    if (o.force) surface.FillRect(o.target, p.Back());
    if (o.fullRedraw) {
        surface.SetTextColour(p.Fore());
        p.Frame(plot);
        p.XAxis(plot);
        p.YAxis(plot);
        p.Legend(plot);
    }
    if (o.force && model.PreviousRunShown()) DrawPreviousRun(model, surface, plot, o);
    p.Curves(plot);
    DrawAnnotations(model, surface, plot, o);
    if (o.recordLegend) p.Cursors(plot);
    if (offscreen) {
        canvas.SetClip(&o.target);
        canvas.Blit(*offscreen, 0, 0);
        canvas.SetClip(nullptr);
    }
    if (o.showSelectionMark && (model.DisplayFlags() & kDisplaySelected) &&
        model.GraphKind() == 0 && !canvas.IsPrinter()) {
        const int s = model.Metrics().textHeight / 2;
        canvas.FillRect({plot.right - s, plot.top - 2 * s, plot.right, plot.top - s},
                        MakeColour(255, 0, 0));
    }
    return plot;
}

}  // namespace kurvex
