#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <map>
#include <set>

#include "CacheHome.h"
#include "data/BinaryTestSupport.h"
#include "formula/FormulaTestSupport.h"
#include "graph/GraphText.h"
#include "graph/RecordingCanvas.h"
#include "graph/render/CurveDrawing.h"
#include "graph/render/Renderer.h"

namespace kurvex {
namespace {

using test::MakeData;
using test::RecordingCanvas;

constexpr Colour kRed = MakeColour(255, 0, 0);
constexpr Colour kGreen = MakeColour(0, 255, 0);
constexpr Colour kBlue = MakeColour(0, 0, 255);

// A screen over `data` with one curve per listed column, ranges set as given.
struct Screen {
    Screen(const CResultDataRef& data, std::vector<std::int32_t> columns, AxisRange x, AxisRange y,
           std::vector<Colour> colours = {kRed, kGreen, kBlue}, std::int32_t kind = 0)
        : model(kind) {
        model.SetData(data);
        for (size_t i = 0; i < columns.size(); ++i) {
            CCurveEntry c = CCurveEntry::ForColumn(data, columns[i]);
            c.colour = colours[i % colours.size()];
            model.AddCurve(c);
        }
        model.UpdateExtents();
        model.SetXRange(x.from, x.to, x.increment, test::kKeepRange);
        model.SetYRange(y.from, y.to, y.increment, test::kKeepRange);
    }
    // Puts the Y axis on a log scale over the given exponents.
    void LogY(double from, double to) {
        model.SetYScale(1);
        model.SetYRange(from, to, 1, test::kKeepRange);
    }
    // Draws into a 600 × 400 target with a plot of 500 × 300 pixels at (100, 30).
    PlotRect Draw(RecordingCanvas& canvas, DrawOptions o = {}) {
        o.target = {0, 0, 600, 400};
        return DrawScreen(model, canvas, o, memory);
    }
    CGraphCurve model;
    DrawMemory memory;
};

TEST(Renderer, PlotRectangleOfEachKind) {
    const CharMetrics m{75, 15};
    const PlotRect t{0, 0, 600, 400};
    EXPECT_EQ(PlotRectangle(0, true, true, t, m), (PlotRect{112, 30, 563, 340}));
    EXPECT_EQ(PlotRectangle(0, true, false, t, m), (PlotRect{112, 30, 563, 393}));
    EXPECT_EQ(PlotRectangle(0, false, true, t, m), (PlotRect{7, 7, 593, 397}));
    EXPECT_EQ(PlotRectangle(1, true, true, t, m), (PlotRect{75, 22, 593, 363}));
    EXPECT_EQ(PlotRectangle(3, true, false, t, m), (PlotRect{75, 22, 593, 378}));
    EXPECT_EQ(PlotRectangle(3, false, false, t, m), (PlotRect{3, 3, 597, 397}));
    EXPECT_EQ(PlotRectangle(2, true, true, t, m), (PlotRect{7, 7, 593, 393}));
}

TEST(Renderer, PixelMapConvertsBothWaysAndRefusesEmptyRanges) {
    const PixelMap map({100, 0, 600, 200}, {0, 10, 1}, {-1, 1, 0.5});
    ASSERT_TRUE(map.Valid());
    EXPECT_EQ(map.ToPixel(0, -1), (Point{100, 200}));
    EXPECT_EQ(map.ToPixel(5, 0), (Point{350, 100}));
    EXPECT_EQ(map.PixelX(9.99), 599);
    EXPECT_DOUBLE_EQ(map.DataY(50), 0.5);  // the way back in X is the pan's test
    // Far-off data pins to a far-off pixel instead of overflowing.
    EXPECT_LT(map.PixelX(-1e300), -100000000);
    EXPECT_FALSE(PixelMap({0, 0, 100, 100}, {1, 1, 0}, {0, 1, 0}).Valid());
    EXPECT_FALSE(PixelMap({0, 0, 0, 100}, {0, 1, 0}, {0, 1, 0}).Valid());
    EXPECT_FALSE(PixelMap({0, 0, 100, 100}, {0, 1, 0}, {0, std::nan(""), 0}).Valid());
}

TEST(Renderer, ClipSegmentMovesOutsideEndsOntoTheInnerLines) {
    const PlotRect plot{0, 0, 100, 100};
    struct Case {
        Point a, b;
        bool drawn;
        Point wantA, wantB;
    };
    const Case cases[] = {
        {{10, 10}, {90, 80}, true, {10, 10}, {90, 80}},    // inside: unchanged
        {{40, -50}, {60, 150}, true, {45, 1}, {55, 99}},   // crosses top to bottom
        {{50, 50}, {250, 50}, true, {50, 50}, {99, 50}},   // horizontal: clamped
        {{0, -10}, {0, 500}, false, {}, {}},               // vertical on the frame
        {{99, -10}, {99, 500}, false, {}, {}},             // on the right inner line
        {{98, -10}, {98, 500}, true, {98, 1}, {98, 99}},   // one pixel inside it
        {{1, 500}, {1, -10}, true, {1, 99}, {1, 1}},       // on the left inner line
        {{-10, 99}, {500, 99}, false, {}, {}},             // on the bottom inner line
        {{500, 1}, {-10, 1}, true, {99, 1}, {1, 1}},       // on the top inner line
        {{50, 50}, {150, 200}, true, {50, 50}, {83, 99}},  // leaves by the bottom
        {{50, 50}, {150, 150}, false, {}, {}},             // leaves exactly by a corner
        {{-50, 150}, {150, 120}, false, {}, {}},           // passes below the plot
        {{-100, -100}, {-10, 300}, false, {}, {}},         // bounding box left of the plot
        // Both ends beyond one edge would clamp to a single point: not drawn.
        {{30, -40}, {30, -10}, false, {}, {}},         // above the top
        {{30, 1}, {30, -10}, false, {}, {}},           // from the top inner line upwards
        {{1, 50}, {-3, 52}, false, {}, {}},            // its clip point is its inner end
        {{30, 2}, {30, -10}, true, {30, 2}, {30, 1}},  // one pixel inside: still drawn
    };
    for (const Case& c : cases) {
        Point a = c.a, b = c.b;
        const bool drawn = ClipSegment(plot, a, b);
        EXPECT_EQ(drawn, c.drawn) << c.a.x << "," << c.a.y << " " << c.b.x << "," << c.b.y;
        if (drawn && c.drawn) {
            EXPECT_EQ(a, c.wantA) << c.a.x << "," << c.a.y;
            EXPECT_EQ(b, c.wantB) << c.b.x << "," << c.b.y;
        }
    }
}

TEST(Renderer, MissingSampleBreaksTheLineAndMarkersStayOnValidPoints) {
    CResultDataRef d = MakeData({"Time", "V"}, {{0, 1, 2, 3, 4}, {0, 1, 0, 1, 0}});
    d->Variable(1)->Flags()[2] = kPointMissing;
    d.UpdateExtents();
    Screen s(d, {1}, {0, 4, 1}, {0, 1, 0.5});
    s.model.Curve(0).markerSymbol = kMarkerCircle;
    RecordingCanvas canvas;
    const PlotRect plot = s.Draw(canvas);
    const auto lines = canvas.LinesOf(kRed);
    // Two pieces of one segment each: 0-1 and 3-4; nothing reaches x of sample 2.
    ASSERT_EQ(lines.size(), 2u);
    const int x2 = plot.left + plot.Width() / 2;
    for (const auto& l : lines) EXPECT_TRUE(l.to.x < x2 || l.from.x > x2);
    size_t circles = 0;
    for (const auto& sh : canvas.shapes) circles += sh.kind == RecordingCanvas::Shape::Ellipse;
    // Samples at X 0 and V 0 lie on the plot's bottom edge, which is outside.
    EXPECT_EQ(circles, 2u);
}

// What drawing one curve must give, walked sample by sample as the rules
// say: a dense-mode run for each stretch of consecutive valid samples inside
// the plot in one pixel column (from its smallest to its largest row + 1,
// clipped), segments between the other points (clipped), and markers on the
// points outside runs.
struct Walked {
    std::vector<std::array<int, 4>> lines;  // from x, y, to x, y
    std::vector<Point> markers;
};
Walked WalkCurve(const CGraphCurve& model, const CResultDataRef& d, std::int32_t column,
                 const PlotRect& p, IndexWindow win) {
    const PixelMap map(p, model.XRange(), model.YRange());
    const CCurveEntry& curve = model.Curve(0);
    const bool dense = win.last - win.first > 1000 && (win.last - win.first) / p.Width() > 5;
    const bool connect = curve.connect != 0;
    Walked w;
    bool havePrev = false, prevIn = false, inRun = false;
    Point prev;
    int lo = 0, hi = 0, runX = 0;
    auto flush = [&]() {
        if (inRun && std::max(lo, p.top + 1) < std::min(hi + 1, p.bottom - 1))
            w.lines.push_back(
                {runX, std::max(lo, p.top + 1), runX, std::min(hi + 1, p.bottom - 1)});
        inRun = false;
    };
    for (std::int32_t i = win.first; i <= win.last; ++i) {
        if (d->Variable(0)->Flags()[i] != kPointValid ||
            d->Variable(column)->Flags()[i] != kPointValid) {
            flush();
            havePrev = false;
            continue;
        }
        const Point pt = map.ToPixel(d->Variable(0)->Values()[i], d->Variable(column)->Values()[i]);
        const bool in = pt.x >= p.left && pt.x < p.right && pt.y >= p.top && pt.y < p.bottom;
        if (dense && connect) {
            if (inRun && in && pt.x == runX) {
                lo = std::min(lo, pt.y);
                hi = std::max(hi, pt.y);
                prev = pt;
                continue;
            }
            const bool wasRun = inRun;
            flush();
            if (!wasRun && havePrev && prevIn && in && pt.x == prev.x) {
                inRun = true;
                runX = pt.x;
                lo = std::min(prev.y, pt.y);
                hi = std::max(prev.y, pt.y);
                prev = pt;
                continue;
            }
        }
        if (in && curve.markerSymbol != kMarkerNone) w.markers.push_back(pt);
        if (connect && havePrev) {
            Point a = prev, b = pt;
            if ((prevIn && in) || ClipSegment(p, a, b)) w.lines.push_back({a.x, a.y, b.x, b.y});
        }
        prev = pt;
        prevIn = in;
        havePrev = true;
    }
    flush();
    return w;
}

// The red lines a draw made, as from x, y, to x, y.
std::vector<std::array<int, 4>> RedEnds(const RecordingCanvas& canvas) {
    std::vector<std::array<int, 4>> ends;
    for (const auto& l : canvas.LinesOf(kRed)) ends.push_back({l.from.x, l.from.y, l.to.x, l.to.y});
    return ends;
}

// What a one-pixel pen paints for `lines`: a vertical line covers its rows
// from the upper end to before the lower one (its one row when both are
// equal); other lines are kept as they are, in order.
struct Painting {
    std::set<std::pair<int, int>> vertical;
    std::vector<std::array<int, 4>> other;
    bool operator==(const Painting&) const = default;
};
Painting Painted(const std::vector<std::array<int, 4>>& lines) {
    Painting p;
    for (const auto& l : lines) {
        if (l[0] != l[2]) {
            p.other.push_back(l);
            continue;
        }
        const int from = std::min(l[1], l[3]), to = std::max(std::max(l[1], l[3]), from + 1);
        for (int y = from; y < to; ++y) p.vertical.insert({l[0], y});
    }
    return p;
}

// Dense curves take whole pixel columns at a time. Whatever the samples, the
// sample-by-sample drawing gives the lines and markers of the walk in the
// same order; with the column summaries, a column that leaves the plot may
// become one line, but a thin pen paints the same pixels.
TEST(Renderer, DenseColumnsDrawWhatTheSampleWalkDraws) {
    const size_t n = 300000;
    const char* const kinds[] = {"noise",       "uneven",       "gaps",      "NaNs",
                                 "outliers",    "on the edges", "sparse",    "markers",
                                 "unconnected", "unsorted",     "saturated", "past the end",
                                 "above only",  "thick pen"};
    for (int run = 0; run < 28; ++run) {
        const std::string kind = kinds[run % 14];
        const bool summaries = run >= 14;  // else sample by sample
        SCOPED_TRACE(kind + (summaries ? " with summaries" : ""));
        std::vector<double> x(n), y(n);
        double t = 0;
        for (size_t i = 0; i < n; ++i) {
            x[i] = kind == "uneven" ? t : static_cast<double>(i);
            t += 0.5 + static_cast<double>((i * 7919) % 100) / 100.0;
            // A slow wave with noise that spans several rows per column.
            y[i] = std::sin(static_cast<double>(i) * 1e-4) * 0.8 + ((i * 31) % 17) * 0.01;
        }
        if (kind == "outliers")
            for (size_t i = 0; i < n; i += 997) y[i] = i % 2 ? 5.0 : -5.0;
        if (kind == "NaNs" || kind == "unsorted")
            for (size_t i = 0; i < n; i += 1499) y[i] = std::nan("");
        if (kind == "NaNs") x[150700] = std::nan("");  // in a column of no NaN Y
        if (kind == "unsorted") {                      // X steps back now and then, and is NaN once
            for (size_t i = 5; i < n; i += 7) std::swap(x[i], x[i - 3]);
            x[150001] = std::nan("");
        }
        if (kind == "on the edges")  // the plot's top and bottom rows, and just outside them
            for (size_t i = 0; i < n; i += 613)
                y[i] = (i / 613) % 4 < 2 ? 0.99999 : -0.99999 - (i % 2) * 0.01;
        if (kind == "sparse")  // columns of one sample and none between the dense ones
            for (size_t i = 100000; i < 200000; ++i) x[i] = 100000 + (i - 100000) * 0.001;
        if (kind == "sparse")
            for (size_t i = 200000; i < n; ++i) x[i] = static_cast<double>(i) - 100000 + 100;
        // Long stretches beyond the top and the bottom.
        if (kind == "saturated" || kind == "thick pen")
            for (size_t i = 0; i < n; ++i) y[i] *= 2.5;
        if (kind == "thick pen")  // and later jumps from below the plot to above it and back
            for (size_t i = n / 2; i < n; ++i) y[i] = (i / 192) % 2 ? 3.0 : -3.0;
        if (kind == "above only")  // beyond the top only, rows in and out at the lowest
            for (size_t i = 0; i < n; ++i) y[i] = y[i] * 1.5 + 0.35 + (i % 3 == 0) * 0.003;
        if (kind == "past the end")  // flat stretches, all left of the range shown
            for (size_t i = 0; i < n; ++i) y[i] = std::round(y[i] * 4) / 4;
        CResultDataRef d = MakeData({"Time", "V"}, {x, y});
        if (kind == "gaps")
            for (size_t i = 1000; i < n; i += 4099) d->Variable(1)->Flags()[i] = kPointInvalid;
        d->SetUniformX(CResultDataRef::UniformTest(d->Variable(0)->Values(), 0, d->RowCount() - 1));
        const AxisRange shown = kind == "past the end"
                                    ? AxisRange{x[n - 1] + 1000, x[n - 1] + 2000, 0}
                                    : AxisRange{x[1000], x[n - 2000], 0};
        Screen s(d, {1}, shown, {-1, 1, 0.5});
        if (kind == "markers") s.model.Curve(0).markerSymbol = kMarkerRectangle;
        if (kind == "unconnected") {
            s.model.Curve(0).connect = 0;
            s.model.Curve(0).markerSymbol = kMarkerCircle;
        }
        if (kind == "thick pen") s.model.Curve(0).thickness = 3;
        RecordingCanvas canvas;
        DrawOptions o;
        o.summaries = summaries;
        const PlotRect plot = s.Draw(canvas, o);
        const Walked want =
            WalkCurve(s.model, d, 1, plot, s.model.VisibleIndexWindow(shown.from, shown.to));
        const std::vector<std::array<int, 4>> got = RedEnds(canvas);
        // No segment of no length: a dot under a thick pen.
        EXPECT_EQ(std::count_if(got.begin(), got.end(),
                                [](const auto& l) { return l[0] == l[2] && l[1] == l[3]; }),
                  0);
        // A thick pen or a marker draws each line the walk draws.
        if (!summaries || kind == "thick pen" || kind == "markers")
            EXPECT_EQ(got, want.lines);
        else
            EXPECT_TRUE(Painted(got) == Painted(want.lines));
        ASSERT_EQ(canvas.shapes.size(), want.markers.size());
        const int half = kind == "markers" ? 2 : 3;  // the rectangle's and the circle's
        for (size_t k = 0; k < want.markers.size(); ++k) {
            const Point corner = canvas.shapes[k].points[0];
            EXPECT_EQ((Point{corner.x + half, corner.y + half}), want.markers[k]) << k;
        }
        // Most columns are dense runs, each a few lines whatever its samples.
        if (kind == "noise") {
            EXPECT_GT(want.lines.size(), static_cast<size_t>(plot.Width()));
            EXPECT_LT(got.size(), 4 * static_cast<size_t>(plot.Width()) + 100);
        }
    }
}

// An X that passes the equal-spacing test: the pixel columns worked out from
// its steps are those the search finds, with samples on every column's edge,
// steps that differ in their low bits, deep zooms and ranges past the data.
TEST(Renderer, EvenColumnsAreTheSearchedColumns) {
    constexpr std::int32_t n = 20000;
    struct Case {
        const char* name;
        double x0, step, wobble;  // each step off by up to wobble * 2^-38; < 0: short, then long
        double from, to;          // as fractions of the data's span
    };
    const Case cases[] = {
        {"samples on every edge", 0.0, 1.0, 0.0, 0.0, n / (n - 1.0)},
        {"steps off in the low bits", 0.25, 0.37, 1.0, 0.0, 1.0},
        {"a few samples a column near the end", 0.25, 0.37, 1.0, 0.98, 0.99},
        {"through zero, past both ends", -0.37 * n / 2, 0.37, 0.7, -0.2, 1.3},
        {"left of the data", 1e3, 1.0 / 3.0, 0.0, -2.0, -1.0},
        // The middle sample lies below where the steps put it, on a column's edge.
        {"a sample short of the edge it seems on", 7.0, 0.37, -1.0, 0.0, 1.0},
    };
    const PlotRect plot{100, 30, 600, 330};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // The step's lowest 16 bits in their middle: the wobble and the
        // rounding of X leave its upper 48 bits alone.
        std::uint64_t bits;
        std::memcpy(&bits, &c.step, sizeof bits);
        bits = (bits & ~0xffffull) | (c.wobble != 0.0 ? 0x8000 : bits & 0xffff);
        double step;
        std::memcpy(&step, &bits, sizeof step);
        std::vector<double> x(n);
        std::uint64_t seed = 12345;
        x[0] = c.x0;
        for (std::int32_t i = 1; i < n; ++i) {
            seed = seed * 6364136223846793005ull + 1442695040888963407ull;
            const double u = c.wobble < 0.0 ? (i <= n / 2 ? 1.0 : -1.0)
                                            : static_cast<double>(seed >> 11) * 0x1p-53 * 2.0 - 1.0;
            x[i] = x[i - 1] + step * (1.0 + c.wobble * u * 0x1p-38);
        }
        ASSERT_EQ(CResultDataRef::UniformTest(x.data(), 0, n - 1), 1) << "not even";
        const double span = x[n - 1] - x[0], mean = span / (n - 1);
        double from = x[0] + c.from * span, to = x[0] + c.to * span;
        if (c.wobble < 0.0) {
            // Column 250's left edge exactly where the steps put sample n / 2:
            // 2^-10 a pixel keeps the arithmetic exact.
            from = x[0] + (n / 2) * mean - 250 * 0x1p-10;
            to = from + plot.Width() * 0x1p-10;
        }
        const PixelMap map(plot, {from, to, 0}, {0, 1, 0});
        for (const auto& [first, end] : {std::pair{0, n}, std::pair{1000, n - 7}}) {
            const PixelColumns even =
                FindEvenPixelColumns(map, plot, x.data(), first, end, x[0], mean);
            EXPECT_EQ(even.starts, FindPixelColumns(map, plot, x.data(), first, end).starts)
                << first << ".." << end;
        }
    }
}

// A cached result drawn whole, its X stepping evenly (columns worked out) or
// not (columns searched through the pyramid), with NaNs and stretches beyond
// the plot: the same lines as the same samples drawn from memory.
TEST(Renderer, CachedResultDrawsWhatItsSamplesInMemoryDraw) {
    constexpr std::int64_t kPoints = 300000;
    for (const bool even : {true, false}) {
        SCOPED_TRACE(even ? "even X" : "uneven X");
        test::CacheHome home(even ? "render-even" : "render-uneven");
        const auto value = [even](int v, std::int64_t p) {
            if (v == 0) return even ? p * 0x1p-10 : p * 1e-3;
            if (v == 2 || p % 4099 == 7) return std::nan("");
            return 1.3 * std::sin(p * 1e-4) + ((p * 31) % 17) * 0.01;
        };
        test::Spit(home.dir / "a.raw", test::NgspicePlot("Transient Analysis", kPoints, value));
        CacheConvertOptions options;
        options.limit = UINT64_MAX;
        const CacheConversion c = ConvertToCache((home.dir / "a.raw").string(), options);
        CResultDataRef cached;
        std::string error;
        ASSERT_TRUE(c.entry && OpenCachedResult(c.entry, cached, error)) << c.error << error;
        EXPECT_EQ(CachedEvenSteps(cached->Variable(0)->Values()).has_value(), even);
        std::vector<double> xs(kPoints), ys(kPoints);
        for (std::int64_t p = 0; p < kPoints; ++p) xs[p] = value(0, p), ys[p] = value(1, p);
        CResultDataRef memory = MakeData({"time", "v(out)"}, {xs, ys});
        for (std::int32_t v = 0; v < 2; ++v)  // the converter's flags: NaNs are invalid
            std::copy_n(cached->Variable(v)->Flags(), kPoints, memory->Variable(v)->Flags());
        memory.UpdateExtents();
        memory->SetUniformX(CResultDataRef::UniformTest(xs.data(), 0, kPoints - 1));
        std::vector<std::array<int, 4>> lines[2];
        for (const bool fromCache : {false, true}) {
            Screen s(fromCache ? cached : memory, {1}, {xs.front(), xs.back(), 0}, {-1, 1, 0.5});
            RecordingCanvas canvas;
            s.Draw(canvas);
            lines[fromCache] = RedEnds(canvas);
        }
        EXPECT_GT(lines[0].size(), 500u);
        EXPECT_EQ(lines[1], lines[0]);
    }
}

// On a log axis the summaries are those of the log column, gaps included.
TEST(Renderer, DenseLogAxisPaintsTheSameWithSummaries) {
    const size_t n = 200000;
    std::vector<double> x(n), y(n);
    for (size_t i = 0; i < n; ++i) {
        x[i] = static_cast<double>(i);
        y[i] = std::pow(10.0, 2.5 * std::sin(static_cast<double>(i) * 4e-5)) *
               (1.0 + ((i * 31) % 17) * 0.2);
        if (i % 5003 == 0) y[i] = -1.0;  // no logarithm: a gap
    }
    CResultDataRef d = MakeData({"Time", "V"}, {x, y});
    Painting painted[2];
    for (const bool summaries : {false, true}) {
        Screen s(d, {1}, {1000, 190000, 0}, {0, 3, 1});
        s.LogY(-2.0, 2.0);  // cut at both edges
        RecordingCanvas canvas;
        DrawOptions o;
        o.summaries = summaries;
        s.Draw(canvas, o);
        painted[summaries] = Painted(RedEnds(canvas));
    }
    EXPECT_GT(painted[0].vertical.size(), 10000u);
    EXPECT_TRUE(painted[1] == painted[0]);
}

TEST(Renderer, BlackAndWhiteDrawsEverythingBlackOnWhite) {
    Screen s(MakeData({"Time", "A", "B", "C"},
                      {{0, 1, 2}, {0.2, 0.5, 0.7}, {0.3, 0.6, 0.4}, {0.5, 0.5, 0.5}}),
             {1, 2, 3}, {0, 2, 1}, {0, 1, 0.5});
    s.model.SetBackground(kBlue);
    s.model.SetDisplayFlags(kDisplayBlackWhite);
    RecordingCanvas canvas;
    s.Draw(canvas);
    ASSERT_FALSE(canvas.fills.empty());
    EXPECT_EQ(canvas.fills.front().colour, kRgbWhite);
    for (const auto& l : canvas.lines) EXPECT_EQ(l.colour, kRgbBlack);
    for (const auto& t : canvas.texts) EXPECT_EQ(t.colour, kRgbBlack);
    EXPECT_GE(canvas.LinesOf(kRgbBlack).size(), 3u * 2u);
}

TEST(Renderer, LogAxisLeavesGapsAtNonPositiveSamples) {
    CResultDataRef d = MakeData({"Time", "V"}, {{0, 1, 2, 3, 4, 5}, {1, 10, -5, 100, 0, 1000}});
    Screen s(d, {1}, {0, 5, 1}, {0, 3, 1});
    s.LogY(-0.5, 3.5);
    RecordingCanvas canvas;
    s.Draw(canvas);
    // Segments 0-1 only: -5 and 0 have no logarithm and break the line twice.
    const auto lines = canvas.LinesOf(kRed);
    ASSERT_EQ(lines.size(), 1u);
    // Labels of the log axis are the values themselves (in the span's prefix).
    bool labelled = false;
    for (const auto& t : canvas.texts) labelled = labelled || t.text == "0.10K";
    EXPECT_TRUE(labelled);
}

TEST(Renderer, AxisTextTitleLegendAndSelectionMark) {
    // Names in Windows-1252 are drawn as their text.
    Screen s(MakeData({"Time", "Vout\xB5"}, {{0, 0.001, 0.002}, {0, 1500, 2000}}), {1},
             {0, 0.002, 0.0005}, {0, 2000, 500});
    s.model.SetDisplayFlags(kDisplaySelected);
    RecordingCanvas canvas;
    DrawOptions o;
    o.showSelectionMark = true;
    const PlotRect plot = s.Draw(canvas, o);
    std::vector<std::string> texts;
    for (const auto& t : canvas.texts) texts.push_back(t.text);
    auto has = [&](const std::string& t) { return std::count(texts.begin(), texts.end(), t) > 0; };
    EXPECT_TRUE(has("0.0K"));  // zero takes the prefix as every label does
    EXPECT_TRUE(has("Time (ms)"));
    EXPECT_TRUE(has("Vout\xC2\xB5"));
    ASSERT_EQ(s.model.LegendRects().size(), 1u);
    EXPECT_EQ(s.model.LegendRects()[0].left, plot.left);
    // The red square of the selected screen, top right above the plot.
    const int h = 7;
    const Rect mark{plot.right - h, plot.top - 2 * h, plot.right, plot.top - h};
    EXPECT_TRUE(std::any_of(canvas.fills.begin(), canvas.fills.end(),
                            [&](const auto& f) { return f.rect == mark && f.colour == kRed; }));
    // A custom X title is drawn as its text too.
    s.model.SetXTitle("Zeit \xB5s");
    RecordingCanvas titled;
    s.Draw(titled, o);
    EXPECT_TRUE(std::any_of(titled.texts.begin(), titled.texts.end(),
                            [](const auto& t) { return t.text == "Zeit \xC2\xB5s (m )"; }));
    // Not on a printer, and not unless asked.
    RecordingCanvas printer;
    printer.printer = true;
    s.Draw(printer, o);
    EXPECT_EQ(printer.fills.size(), 1u);
}

TEST(Renderer, DrawsOnlyWhatIsNewUnlessForced) {
    CResultDataRef d = MakeData({"Time", "V"}, {{0, 1, 2}, {0.1, 0.5, 0.9}});
    Screen s(d, {1}, {0, 4, 1}, {0, 1, 0.5});
    RecordingCanvas first;
    s.Draw(first);
    EXPECT_FALSE(first.lines.empty());
    DrawOptions again;
    again.force = false;
    again.fullRedraw = false;
    RecordingCanvas second;
    s.Draw(second, again);
    EXPECT_TRUE(second.lines.empty() && second.fills.empty());
    // A new row changes the data set: everything is drawn again.
    const double row[2] = {3, 0.3};
    const std::uint8_t flags[2] = {1, 1};
    d.SetRow(3, row, flags, 0, 2);
    RecordingCanvas third;
    s.Draw(third, again);
    EXPECT_EQ(third.LinesOf(kRed).size(), 3u);

    s.model.EnterBusy();
    RecordingCanvas busy;
    s.Draw(busy);
    EXPECT_TRUE(busy.lines.empty() && busy.fills.empty() && busy.texts.empty());
}

TEST(Renderer, AnnotationsAreDrawnOverTheCurves) {
    // Counts the red lines already drawn when each text comes.
    struct OrderCanvas : RecordingCanvas {
        std::map<std::string, size_t> redBefore;
        void TextOut(int x, int y, const std::string& text) override {
            redBefore[text] = LinesOf(kRed).size();
            RecordingCanvas::TextOut(x, y, text);
        }
    };
    Screen s(MakeData({"Time", "V"}, {{0, 1, 2}, {0.1, 0.5, 0.9}}), {1}, {0, 2, 1}, {0, 1, 0.5});
    auto text = std::make_unique<CGraphText>();
    text->SetAnchor(1, 0.5);
    text->SetText(u"note");
    s.model.AddAnnotation(std::move(text));
    OrderCanvas canvas;
    s.Draw(canvas);
    ASSERT_EQ(canvas.redBefore.count("note"), 1u);
    // Both segments of the curve come before the note, and no red line after it.
    EXPECT_GE(canvas.redBefore["note"], 2u);
    EXPECT_EQ(canvas.redBefore["note"], canvas.LinesOf(kRed).size());
}

TEST(Renderer, MarksOnALogAxisAreDrawnWhereTheyFallInsideThePlot) {
    Screen s(MakeData({"Frequency", "V"}, {{10, 100, 1000}, {0.1, 0.5, 0.9}}), {1}, {1, 3, 1},
             {0, 1, 0.5});
    s.model.SetXScale(1);
    s.model.SetXRange(1, 3, 1, test::kKeepRange);
    // In view; beyond the X range; no place on a log axis.
    s.model.SetMarks({{100, 0.5, "PM 45"}, {1e6, 0.5, "far"}, {-5, 0.5, "negative"}});
    RecordingCanvas canvas;
    const PlotRect plot = s.Draw(canvas);
    std::vector<RecordingCanvas::Shape> circles;
    for (const auto& sh : canvas.shapes)
        if (sh.kind == RecordingCanvas::Shape::Ellipse) circles.push_back(sh);
    ASSERT_EQ(circles.size(), 1u);
    const Point centre{plot.left + plot.Width() / 2, plot.top + plot.Height() / 2};
    EXPECT_LE(std::abs((circles[0].points[0].x + circles[0].points[1].x) / 2 - centre.x), 1);
    EXPECT_LE(std::abs((circles[0].points[0].y + circles[0].points[1].y) / 2 - centre.y), 1);
    std::set<std::string> texts;
    for (const auto& t : canvas.texts) texts.insert(t.text);
    EXPECT_TRUE(texts.count("PM 45"));
    EXPECT_FALSE(texts.count("far") || texts.count("negative"));
}

TEST(Renderer, CursorLinesAreDashDot) {
    Screen s(MakeData({"Time", "V"}, {{0, 1, 2}, {0.1, 0.5, 0.9}}), {1}, {0, 2, 1}, {0, 1, 0.5});
    s.model.Cursor(0) = MeasureCursor{1, 1.0, 1, 0.5};
    s.model.SetSelectedCurve(0);
    // Cursor 1 has no horizontal line; at X 5 it is off the plot and not drawn.
    for (const double x1 : {1.5, 5.0}) {
        s.model.Cursor(1) = MeasureCursor{1, x1, 0, 0.5};
        RecordingCanvas canvas;
        const PlotRect plot = s.Draw(canvas);
        std::vector<RecordingCanvas::Line> dashDot;
        for (const auto& l : canvas.lines)
            if (l.style == PenStyle::DashDot) dashDot.push_back(l);
        ASSERT_EQ(dashDot.size(), x1 < 2 ? 3u : 2u) << x1;
        // The vertical and the horizontal line of cursor 0 come first.
        EXPECT_EQ(dashDot[0].from, (Point{plot.left + plot.Width() / 2, plot.top}));
        EXPECT_EQ(dashDot[1].from.x, plot.left);
    }
}

TEST(Renderer, BandScreensDrawEachCurveInItsOwnStripOffScreen) {
    const auto data = MakeData({"Time", "A", "B"}, {{0, 1, 2}, {0.5, 0.5, 0.5}, {1.5, 1.5, 1.5}});
    Screen s(data, {1, 2}, {0, 2, 1}, {0, 4, 1}, {kRed, kBlue}, kScreenBanded);
    for (std::int32_t i : {0, 1}) {
        s.model.Curve(i).bandScale = 0.5;
        s.model.Curve(i).bandOffset = i == 0 ? 1.0 : -1.0;
    }
    RecordingCanvas canvas;
    const PlotRect plot = test::DrawInto(s.model, canvas, 400, 407);
    EXPECT_EQ(canvas.blits, 1);
    // Both curves sit at (value + offset) × plot height ÷ (scale × 8) above the bottom.
    const double k = plot.Height() / (0.5 * 8);
    const auto red = canvas.LinesOf(kRed);
    const auto blue = canvas.LinesOf(kBlue);
    ASSERT_FALSE(red.empty());
    ASSERT_FALSE(blue.empty());
    EXPECT_EQ(red[0].to.y, plot.bottom - static_cast<int>(std::floor(1.5 * k)));
    EXPECT_EQ(blue[0].to.y, plot.bottom - static_cast<int>(std::floor(0.5 * k)));

    CGraphCurve empty(2);
    empty.SetData(data);
    RecordingCanvas none;
    test::DrawInto(empty, none, 400, 407);
    ASSERT_EQ(none.texts.size(), 1u);
    EXPECT_EQ(none.texts[0].text, "No Data");
}

TEST(Renderer, UnitsAFileGaveShowInTheLegendAndTheXTitle) {
    const CResultDataRef data = MakeData({"Time", "Ia", "Vb"}, {{0, 1}, {1, 2}, {3, 4}});
    data.Get()->Variable(1)->SetUnit("kA");
    CCurveEntry ia = CCurveEntry::ForColumn(data, 1), vb = CCurveEntry::ForColumn(data, 2);
    EXPECT_EQ(LegendText(ia, data.Get()), "Ia [kA]");
    EXPECT_EQ(LegendText(vb, data.Get()), "Vb");
    EXPECT_EQ(LegendText(CCurveEntry::ForFormula("Ia*2"), data.Get()), "Ia*2");
    ia.columnIndex = 7;  // a column the data set lost on reload
    EXPECT_EQ(LegendText(ia, data.Get()), "Ia");
    ia.columnIndex = 1;
    ia.label.clear();  // no legend entry, so no unit either
    EXPECT_EQ(LegendText(ia, data.Get()), "");
    EXPECT_EQ(XAxisTitle("Time", "m", "h"), "Time (mh)");
    EXPECT_EQ(XAxisTitle("Angle", "", "deg"), "Angle (deg)");
}

}  // namespace
}  // namespace kurvex
