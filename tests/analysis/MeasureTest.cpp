#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <random>
#include <tuple>
#include <vector>

#include "analysis/Averages.h"
#include "analysis/Measure.h"
#include "analysis/MeasureTables.h"
#include "formula/FormulaTestSupport.h"
#include "graph/RunColours.h"

namespace kurvex {
namespace {

using test::MakeData;
using test::Ramp;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Samples straight from arrays, so the search rules can be tabled; the
// arrays must outlive the result.
CurveSamples Raw(const std::vector<double>& x, const std::vector<std::uint8_t>& xf,
                 const std::vector<double>& y = {}, const std::vector<std::uint8_t>& yf = {}) {
    CurveSamples s;
    s.x = x.data();
    s.xFlags = xf.data();
    s.count = static_cast<std::int32_t>(x.size());
    s.y = y.empty() ? nullptr : y.data();
    s.yFlags = yf.empty() ? nullptr : yf.data();
    s.yCount = static_cast<std::int32_t>(y.size());
    return s;
}

std::vector<std::uint8_t> AllValid(size_t n) {
    return std::vector<std::uint8_t>(n, kPointValid);
}

struct LocateCase {
    const char* name;
    std::vector<double> x;
    std::vector<std::uint8_t> flags;
    double sought;
    std::int32_t start;
    std::optional<XLocation> expected;
};

TEST(MeasureLocate, FollowsTheWalkRules) {
    const std::vector<double> ramp = {0, 1, 2, 3};
    const auto ok = AllValid(4);
    const double nearly2 = std::nextafter(std::nextafter(2.0, 3.0), 3.0);
    const LocateCase cases[] = {
        {"first sample exact", ramp, ok, 0.0, -1, XLocation{0, 0, 0.0, true}},
        {"between samples", ramp, ok, 1.5, -1, XLocation{1, 2, 0.5, false}},
        {"later sample exact", ramp, ok, 2.0, -1, XLocation{1, 2, 1.0, true}},
        {"low 16 bits ignored", ramp, ok, nearly2, -1, XLocation{1, 2, 1.0, true}},
        {"more than 16 bits apart", ramp, ok, 2.0 * (1 + 1e-9), -1, XLocation{2, 3, 2e-9, false}},
        {"before the data", ramp, ok, -1.0, -1, std::nullopt},
        {"NaN sought", ramp, ok, kNaN, -1, std::nullopt},
        {"missing counts", ramp, {1, 0, 1, 1}, 0.5, -1, XLocation{0, 1, 0.5, false}},
        {"invalid skipped", ramp, {1, 2, 1, 1}, 2.5, -1, XLocation{2, 3, 0.5, false}},
        {"invalid breaks the pair", ramp, {1, 1, 2, 1}, 2.5, -1, std::nullopt},
        {"NaN sample breaks the pair", {0, kNaN, 2, 3}, ok, 2.5, -1, XLocation{2, 3, 0.5, false}},
        {"NaN sample between sides", {0, kNaN, 2, 3}, ok, 1.0, -1, std::nullopt},
        {"descending X", {3, 2, 1, 0}, ok, 1.5, -1, XLocation{1, 2, 0.5, false}},
        {"last crossing", {0, 2, 0, 2}, ok, 1.0, 1, XLocation{2, 3, 0.5, false}},
        {"start past the end", ramp, ok, 1.0, 3, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto at = LocateX(Raw(c.x, c.flags), c.sought, c.start);
        ASSERT_EQ(at.has_value(), c.expected.has_value());
        if (!at) continue;
        EXPECT_EQ(at->lower, c.expected->lower);
        EXPECT_EQ(at->upper, c.expected->upper);
        EXPECT_NEAR(at->t, c.expected->t, 1e-9);
        EXPECT_EQ(at->exact, c.expected->exact);
    }
}

TEST(MeasureLocate, BisectionOnSortedXAgreesWithTheWalk) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> step(0.0, 1.0);
    std::vector<double> x(300);
    double v = -50.0;
    for (auto& e : x) {
        e = v;
        v += step(rng) < 0.2 ? 0.0 : step(rng);  // repeats as well as gaps
    }
    const auto ok = AllValid(x.size());
    CurveSamples walk = Raw(x, ok);
    CurveSamples bisect = walk;
    bisect.sortedX = true;
    std::uniform_real_distribution<double> where(-60.0, v + 10.0);
    for (int i = 0; i < 2000; ++i) {
        const double sought = i % 10 == 0 ? x[static_cast<size_t>(i) % x.size()] : where(rng);
        const std::int32_t start = i % 7 == 0 ? 100 : -1;
        const auto a = LocateX(walk, sought, start);
        const auto b = LocateX(bisect, sought, start);
        ASSERT_EQ(a.has_value(), b.has_value()) << sought;
        if (!a) continue;
        EXPECT_EQ(std::tuple(a->lower, a->upper, a->t), std::tuple(b->lower, b->upper, b->t))
            << sought;
    }
}

TEST(MeasureLocate, VisibleRangeReachesTheSampleBeyondEachEdge) {
    const std::vector<double> x = Ramp(11, 1.0);
    const auto flags = AllValid(x.size());
    const auto s = Raw(x, flags);
    EXPECT_EQ(VisibleRange(s, 5.5, 20.0), (SampleRange{5, 10}));
    // Both edges inside one sample step.
    EXPECT_EQ(VisibleRange(s, 2.2, 2.4), (SampleRange{2, 3}));
    // The left edge before the data must not stretch the range to the end.
    EXPECT_EQ(VisibleRange(s, -5.0, 4.5), (SampleRange{0, 5}));
    EXPECT_EQ(VisibleRange(Raw({}, {}), 0.0, 1.0), (SampleRange{0, -1}));
}

TEST(MeasureCursor, SetInterpolatesAndKnowsWhenYIsValid) {
    const auto d = MakeData({"Time", "V"}, {{0, 1, 2, 3}, {0, 10, 20, 30}});
    d->Variable(1)->Flags()[3] = kPointInvalid;
    d->Variable(1)->Flags()[0] = kPointMissing;
    CGraphCurve g = test::ScreenOver(d, 0, 3);
    struct Case {
        double x;
        MeasureLineStyle style;
        bool found, valid;
        double y;
        std::int32_t line;
    } cases[] = {
        {0.5, kMeasureCross, true, true, 5.0, 1},  // a missing sample still counts
        {2.5, kMeasureCross, true, false, 25.0, 0},
        {7.0, kMeasureCross, false, false, 25.0, 0},  // Y stays where it was
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.x);
        const CursorPlacement p = SetCursorAt(g, 0, 1, c.x, c.style);
        EXPECT_EQ(std::pair(p.found, p.valid), std::pair(c.found, c.valid));
        EXPECT_EQ(g.Cursor(1), (MeasureCursor{0, c.x, c.line, c.y}));
    }
    EXPECT_EQ(g.Cursor(0), MeasureCursor{});
}

TEST(MeasureCursor, MovesAlongAnotherVariableWhereXTurnsBack) {
    // Im over Re with Re turning back: Re = 1 is passed at f = 1.5 and f = 2.5,
    // but a cursor moving along f stands on one point of the curve.
    const auto d = MakeData({"f", "Re", "Im"}, {{1, 2, 3, 4}, {0, 2, 0, -2}, {5, 6, 7, 8}});
    CGraphCurve g = test::ScreenOver(d, -2, 2);
    g.RemoveCurve(0);
    g.SetXIndex(1);
    g.StoreY(DataExtent{5, 8}, AxisRange{4, 8, 1});
    g.SetPlot(PlotRect{0, 0, 400, 400});
    g.SetCursorAlong("F");
    const CursorPlacement p = SetCursorAt(g, 0, 0, 2.5, kMeasureVerticalBar);
    EXPECT_TRUE(p.found && p.valid);
    EXPECT_EQ(g.Cursor(0), (MeasureCursor{0, 1.0, 1, 6.5, 2.5}));
    EXPECT_EQ(CursorPlace(g, 0), 2.5);
    // The nearest point is found in pixels: (0.1, 6.95) lies on the segment
    // from f = 2 to 3, though Re = 0.1 is nearer f = 1 and f = 3 in X alone.
    for (const auto& [x, y, along] : std::vector<std::tuple<double, double, double>>{
             {0.1, 6.95, 2.95}, {1.0, 6.5, 2.5}, {-5.0, 9.0, 4.0}, {-0.1, 5.0, 1.0}}) {
        EXPECT_NEAR(NearestAlong(g, 0, x, y).value_or(kNaN), along, 1e-9) << x << " " << y;
    }
    // Point steps go by f, not by Re.
    SetCursorAt(g, 0, 0, 2.0, kMeasureVerticalBar);
    g.Cursor(0).shown = 1;
    EXPECT_EQ(RunMeasureSearch({&g}, MeasureSearch::NextPoint, kMeasureVerticalBar), 2);
    EXPECT_EQ(g.Cursor(0), (MeasureCursor{1, 0.0, 1, 7.0, 3.0}));
    EXPECT_EQ(RunMeasureSearch({&g}, MeasureSearch::PreviousPoint, kMeasureVerticalBar), 1);
    EXPECT_EQ(RunMeasureSearch({&g}, MeasureSearch::Max, kMeasureVerticalBar), 3);
    EXPECT_EQ(g.Cursor(0).along, 4.0);
    g.SetCursorAlong("missing");
    EXPECT_FALSE(NearestAlong(g, 0, 0, 6).has_value());
}

TEST(MeasureCursor, ANewCurveTakesOverTheShownCursors) {
    const auto d = MakeData({"Time", "A", "B"}, {{0, 1, 2}, {0, 10, 20}, {5, 4, 3}});
    CGraphCurve g = test::ScreenOver(d, 0, 2);
    g.SetSelectedCurve(0);
    SetCursorAt(g, 0, 0, 0.5, kMeasureCross);
    g.Cursor(0).shown = 1;
    g.Cursor(1) = MeasureCursor{0, 1.5, 0, -7.0};
    EXPECT_EQ(SelectMeasureCurve(g, 1, kMeasureCross), 1);
    EXPECT_EQ(g.SelectedCurve(), 1);
    EXPECT_EQ(g.Cursor(0).y, 4.5);
    EXPECT_EQ(g.Cursor(1).y, -7.0);  // hidden: left alone
    g.Cursor(0).y = 0.0;
    EXPECT_EQ(SelectMeasureCurve(g, 1, kMeasureCross), 0);
    EXPECT_EQ(g.Cursor(0).y, 0.0);
    // A new line style redraws the shown cursors on the same curve.
    EXPECT_EQ(ResetShownCursors(g, 1, kMeasureVerticalBar), 1);
    EXPECT_EQ(g.Cursor(0), (MeasureCursor{1, 0.5, 0, 4.5}));
}

MeasureCursor At(double x) {
    return MeasureCursor{1, x, 0, 0.0};
}
const MeasureCursor kHidden{};

struct SearchCase {
    const char* name;
    std::vector<double> y;
    std::vector<std::uint8_t> yFlags;  // all valid when empty
    SampleRange visible;               // all samples when empty
    MeasureCursor cursor;
    MeasureSearch search;
    std::optional<std::int32_t> expected;
};

// SearchSample over Y samples at X = 0, 1, 2, ...
TEST(MeasureSearch, ExtremaAndPointStepsFollowTheSearchRules) {
    using S = MeasureSearch;
    const std::vector<std::uint8_t> gap = {1, 1, 2, 1, 1};
    const std::vector<double> y = {0, 1, 2, 3, 4};
    const SearchCase cases[] = {
        // Max and Min take the first of equal valid values in range.
        {"repeated maximum", {0, 3, 1, 3, 2}, {}, {}, kHidden, S::Max, 1},
        {"repeated minimum", {2, -1, 4, -1}, {}, {}, kHidden, S::Min, 1},
        {"invalid maximum skipped", {0, 9, 1, 3}, {1, 2, 1, 1}, {}, kHidden, S::Max, 3},
        {"missing is not valid", {0, 9, 1, 3}, {1, 0, 1, 1}, {}, kHidden, S::Max, 3},
        {"only the visible range", {9, 1, 5, 2, 9}, {}, {1, 3}, kHidden, S::Max, 2},
        {"no valid sample", {1, 2}, {2, 0}, {}, kHidden, S::Max, std::nullopt},
        {"NaN never wins", {kNaN, 1, kNaN, 0}, {}, {}, kHidden, S::Max, 1},
        // Next extrema: edges and neighbours.
        {"hidden cursor, low left edge", {-3, -1, -2, -4}, {}, {}, kHidden, S::NextMax, 1},
        // A cursor left of the range starts at its edge.
        {"left of the range", {0, 1, 5, 1, 2, 8, 3}, {}, {3, 6}, At(0.5), S::NextMax, 5},
        // Between samples the upper one is skipped.
        {"between samples", {0, 1, 5, 1, 0, 3, 0}, {}, {}, At(1.5), S::NextMax, 5},
        // An invalid neighbour's stored value is still compared.
        {"invalid neighbour", {0, 5, 9, 1, 0}, {1, 1, 2, 1, 1}, {}, kHidden, S::NextMax, {}},
        {"invalid peak", {0, 5, 1, 0, 3, 0}, {1, 2, 1, 1, 1, 1}, {}, kHidden, S::NextMax, 4},
        {"nothing after the last peak", {0, 5, 0}, {}, {}, At(1.0), S::NextMax, std::nullopt},
        {"next minimum mirrors", {5, 3, 4, 1, 2}, {}, {}, kHidden, S::NextMin, 1},
        // Point steps skip invalid samples and stop at the ends.
        {"next from hidden", y, {}, {}, kHidden, S::NextPoint, 0},
        {"next from between", y, {}, {}, At(0.5), S::NextPoint, 2},
        {"next over invalid", y, gap, {}, At(1.0), S::NextPoint, 3},
        {"previous from hidden", y, {}, {}, kHidden, S::PreviousPoint, std::nullopt},
        {"previous from between", y, {}, {}, At(2.5), S::PreviousPoint, 1},
        {"previous over invalid", y, gap, {}, At(3.0), S::PreviousPoint, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<double> x = Ramp(c.y.size(), 1.0);
        const auto flags = c.yFlags.empty() ? AllValid(c.y.size()) : c.yFlags;
        const auto xFlags = AllValid(x.size());
        const auto s = Raw(x, xFlags, c.y, flags);
        const SampleRange r = c.visible.Empty()
                                  ? SampleRange{0, static_cast<std::int32_t>(c.y.size()) - 1}
                                  : c.visible;
        EXPECT_EQ(SearchSample(s, r, c.cursor, c.search), c.expected);
    }
}

TEST(MeasureSearch, NextMaxWalksPeaksAndStepsAlongAFlatTop) {
    const std::vector<double> y = {1, 2, 5, 3, 4, 4, 4, 2, 6};
    const std::vector<double> x = Ramp(y.size(), 1.0);
    const auto flags = AllValid(x.size());
    const auto s = Raw(x, flags, y, flags);
    const SampleRange all{0, 8};
    // Hidden cursor: the left edge beats the value 0; then the peak, the
    // flat top one sample at a time, and finally the higher right edge.
    MeasureCursor c = kHidden;
    std::vector<std::int32_t> visited;
    while (const auto j = SearchSample(s, all, c, MeasureSearch::NextMax)) {
        visited.push_back(*j);
        c = At(x[static_cast<size_t>(*j)]);
        ASSERT_LT(visited.size(), 20u);
    }
    EXPECT_EQ(visited, (std::vector<std::int32_t>{0, 2, 4, 5, 6, 8}));
}

TEST(MeasureCommand, MaxWithoutASelectionMeasuresTheFirstScreensFirstCurve) {
    const auto d = MakeData({"Time", "A", "B"}, {{0, 1, 2, 3}, {1, 7, 2, 7}, {9, 0, 0, 0}});
    CGraphCurve top = test::ScreenOver(d, 0, 3);
    CGraphCurve bottom = test::ScreenOver(d, 0, 3);
    const std::vector<CGraphCurve*> screens = {&top, &bottom};
    top.Cursor(0).shown = 1;
    MeasureTarget used;
    EXPECT_EQ(RunMeasureSearch(screens, MeasureSearch::Max, kMeasureCross, &used), 1);
    EXPECT_EQ(std::tuple(used.screen, used.curve, used.newlySelected), std::tuple(0, 0, true));
    EXPECT_EQ(top.SelectedCurve(), 0);
    EXPECT_EQ(top.Cursor(0), (MeasureCursor{1, 1.0, 1, 7.0}));

    // A selection on a later screen wins over the fallback.
    top.SetSelectedCurve(-1);
    bottom.SetSelectedCurve(1);
    EXPECT_EQ(RunMeasureSearch(screens, MeasureSearch::Max, kMeasureCross), 0);
    EXPECT_EQ(bottom.Cursor(0).y, 9.0);
    EXPECT_EQ(top.SelectedCurve(), -1);

    // Nothing happens without a curve to measure.
    CGraphCurve empty;
    empty.SetData(d);
    CGraphCurve other = test::ScreenOver(d, 0, 3);
    EXPECT_FALSE(RunMeasureSearch({&empty, &other}, MeasureSearch::Max, kMeasureCross));
    EXPECT_EQ(other.SelectedCurve(), -1);
    EXPECT_FALSE(FindMeasureTarget({}).has_value());
}

TEST(MeasureCommand, SearchesLookOnlyAtTheVisibleSamples) {
    const auto d = MakeData({"Time", "A"}, {Ramp(10, 1.0), {9, 0, 1, 4, 2, 3, 0, 1, 0, 9}});
    CGraphCurve g = test::ScreenOver(d, 2.5, 6.5);  // samples 2 .. 7
    g.SetSelectedCurve(0);
    EXPECT_EQ(RunMeasureSearch({&g}, MeasureSearch::Max, kMeasureVerticalBar), 3);
    g.Cursor(0).shown = 0;
    EXPECT_EQ(RunMeasureSearch({&g}, MeasureSearch::NextMax, kMeasureVerticalBar), 2);
}

TEST(MeasureCommand, CursorSearchesAndAveragesWorkOnTheMeasuredRun) {
    // V = 4 t on run 1 at half the time step, ending at 2.5; run 2 lacks V.
    const auto d = MakeData({"Time", "V"}, {{0, 1, 2, 3}, {1, 2, 3, 4}});
    d->AddRun(MakeData({"Time", "V"}, {Ramp(6, 0.5), {0, 2, 4, 6, 8, 10}}).Get(), "b");
    d->AddRun(MakeData({"Time", "W"}, {{0, 3}, {9, 9}}).Get(), "c");
    struct Case {
        std::int32_t run;
        bool formula, yLog;
        double y, maxX, maxY, mean;  // y at cursor 1.25; NaN: none
    } cases[] = {
        {0, false, false, 2.25, 3, 4, 2.5},
        {1, false, false, 5, 2.5, 10, 5},
        {1, false, true, std::log10(std::sqrt(24.0)), 2.5, 1, kNaN},  // log 4 .. log 6
        {2, false, false, kNaN, kNaN, kNaN, kNaN},
        {7, false, false, 2.25, 3, 4, 2.5},  // no such run: the first
        {1, true, false, 2.25, 3, 4, 2.5},   // formulas live on the first run
    };
    const auto near = [](std::optional<double> got, double want) {
        return got ? std::abs(*got - want) < 1e-12 : std::isnan(want);
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.run + 10 * c.formula + 100 * c.yLog);
        CGraphCurve g = test::ScreenOver(d, 0, 3);
        if (c.formula) {
            g.Curve(0) = CCurveEntry::ForFormula("V");
            g.Curve(0).formulaResult = RefPtr<CResultVariable>(d->Variable(1));
        }
        g.SetYScale(c.yLog ? 1 : 0);
        g.SetMeasuredRun(c.run);
        const CursorPlacement p = SetCursorAt(g, 0, 0, 1.25, kMeasureVerticalBar);
        EXPECT_TRUE(p.found && near(p.valid ? g.Cursor(0).y : std::optional<double>(), c.y));
        g.SetSelectedCurve(0);
        const auto max = RunMeasureSearch({&g}, MeasureSearch::Max, kMeasureVerticalBar);
        EXPECT_TRUE(max ? g.Cursor(0).x == c.maxX && near(g.Cursor(0).y, c.maxY)
                        : std::isnan(c.maxX));
        const auto mean = AverageCommand({&g}, AverageKind::Mean);
        if (c.yLog) continue;
        EXPECT_TRUE(near(mean->value, c.mean));
        // A later run's figure names the run, in the colour the run is drawn with.
        const std::int32_t run = c.run < 3 && !c.formula ? c.run : 0;
        EXPECT_EQ(mean->label, run == 0 ? "V" : run == 1 ? "V [b]" : "V [c]");
        EXPECT_EQ(mean->colour, RunAppearance(g.Curve(0).colour, run, 3, 1, false).colour);
    }
}

TEST(MeasurePlaceText, ShowsPowersOfTenOnLogAxes) {
    struct Case {
        std::int32_t xLog, yLog;
        double x, y;
        const char* text;
    } cases[] = {
        {1, 0, 2.0, 3.5, "[100 , 3.5]"},
        {0, 1, 0.25, -1.0, "[0.25 , 0.1]"},
    };
    CGraphText defaults;
    defaults.SetColour(0x0000FF);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        CGraphCurve g;
        g.StoreScales(c.xLog, c.yLog, 0);
        g.SetSelectedCurve(0);
        g.Cursor(0) = MeasureCursor{1, c.x, 0, c.y};
        const CGraphText* t = PlaceCursorText({&g}, defaults);
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(t->TextUtf8(), c.text);
        EXPECT_EQ(std::tuple(t->X(), t->Y(), t->Colour(), t->Owner()),
                  std::tuple(c.x, c.y, 0x0000FFu, &g));
        ASSERT_EQ(g.Annotations().size(), 1u);
        EXPECT_EQ(g.Annotations()[0].get(), t);
    }
}

TEST(MeasurePlaceText, NeedsASelectedCurveWithItsCursorShown) {
    CGraphCurve g;
    g.Cursor(0) = MeasureCursor{1, 1.0, 0, 2.0};
    EXPECT_FALSE(PlaceCursorTextEnabled({&g}));  // no selection: no fallback here
    g.SetSelectedCurve(0);
    g.Cursor(0).shown = 0;
    EXPECT_FALSE(PlaceCursorTextEnabled({&g}));
    EXPECT_EQ(PlaceCursorText({&g}, CGraphText{}), nullptr);
    g.Cursor(0) = MeasureCursor{1, 1.0, 0, kNaN};
    EXPECT_TRUE(PlaceCursorTextEnabled({&g}));
    EXPECT_EQ(PlaceCursorText({&g}, CGraphText{}), nullptr);
    EXPECT_TRUE(g.Annotations().empty());
}

}  // namespace
}  // namespace kurvex
