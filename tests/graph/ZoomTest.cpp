#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <vector>

#include "formula/FormulaTestSupport.h"
#include "graph/Zoom.h"

namespace kurvex {
namespace {

using test::MakeData;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// A 100 x 100 pixel plot over 0 .. 10 on both axes: one pixel is 0.1, and
// pixel (20, 80) is the data point (2, 2).
CGraphCurve Square(std::int32_t kind = 0) {
    CGraphCurve g(kind);
    g.SetPlot({0, 0, 100, 100});
    g.StoreX({0, 10}, {0, 10, 2});
    g.StoreY({0, 10}, {0, 10, 2});
    return g;
}

// A screen showing column `column` of `data` over X column 0.
CGraphCurve Screen(const CResultDataRef& data, std::int32_t column) {
    CGraphCurve g;
    g.SetData(data);
    g.AddCurve(CCurveEntry::ForColumn(data, column));
    g.UpdateExtents();
    g.SetPlot({0, 0, 400, 200});
    return g;
}

void ExpectRange(const AxisRange& r, double from, double to) {
    EXPECT_NEAR(r.from, from, 1e-9);
    EXPECT_NEAR(r.to, to, 1e-9);
}

TEST(ZoomByFactor, InAndOutAgainReturnsToTheStart) {
    CGraphCurve g = Square();
    ASSERT_TRUE(ZoomByFactor(g, kZoomInFactor));
    ExpectRange(g.XRange(), 0.5, 9.5);
    ExpectRange(g.YRange(), 0.5, 9.5);
    ASSERT_TRUE(ZoomByFactor(g, kZoomOutFactor));
    ExpectRange(g.XRange(), 0, 10);
    ASSERT_EQ(g.UndoStack().size(), 2u);
    EXPECT_DOUBLE_EQ(g.UndoStack()[1]->xFrom, 0.5);
}

TEST(ZoomByFactor, RefusedAtTheZoomLimitLeavesNoTrace) {
    CGraphCurve g;
    g.SetPlot({0, 0, 1000, 1000});
    // 1000 px / 0.004 * 1000 = 2.5e8 pixels: just inside the limit; a tenth
    // narrower is beyond it on both axes.
    g.StoreX({0, 1000}, {0, 0.004, 0.001});
    g.StoreY({0, 1000}, {0, 0.004, 0.001});
    // The limit is the ranges' own; every zoom meets it there.
    EXPECT_FALSE(ZoomByFactor(g, kZoomInFactor));
    EXPECT_FALSE(UndoEnabled({&g}));
    EXPECT_EQ(g.XRange(), (AxisRange{0, 0.004, 0.001}));
    EXPECT_TRUE(ZoomByFactor(g, kZoomOutFactor));
}

TEST(Wheel, StepsKeepThePointUnderThePointerAndShareOneEntry) {
    CGraphCurve g = Square();
    ASSERT_TRUE(ZoomByFactor(g, kZoomInFactor));  // the run must not merge with this
    g.StoreX({0, 10}, {0, 10, 2});
    g.StoreY({0, 10}, {0, 10, 2});
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(Wheel(g, {20, 80}, true));
    ExpectRange(g.XRange(), 2 - 2 * 0.729, 2 + 8 * 0.729);  // 0.9 cubed about (2, 2)
    ExpectRange(g.YRange(), 2 - 2 * 0.729, 2 + 8 * 0.729);
    EXPECT_EQ(g.UndoStack().size(), 2u);
    EXPECT_TRUE(Undo({&g}).done);
    EXPECT_EQ(g.XRange(), (AxisRange{0, 10, 2}));

    // A new run after the undo saves again; joining the old run would let
    // the next undo skip back past the zoom.
    ASSERT_TRUE(Wheel(g, {20, 80}, false));
    ExpectRange(g.XRange(), 2 - 2 * 1.1, 2 + 8 * 1.1);
    Undo({&g});
    EXPECT_EQ(g.XRange(), (AxisRange{0, 10, 2}));
    EXPECT_EQ(g.UndoStack().size(), 1u);

    for (std::int32_t kind : {1, 2}) {
        CGraphCurve other = Square(kind);
        EXPECT_FALSE(Wheel(other, {50, 50}, true)) << kind;
    }
    CGraphCurve three = Square(3);
    EXPECT_TRUE(Wheel(three, {50, 50}, true));
}

TEST(Scroll, BarsCountGridStepsOverDataAndRange) {
    CGraphCurve g = Square();
    g.StoreX({0, 10}, {2, 4, 0.5});
    ScrollBarState h = ScrollBarFor(g, ScrollBar::Horizontal);
    ASSERT_TRUE(h.shown && h.set);
    EXPECT_EQ(h.max, 16);  // 20 steps of data, 4 visible
    EXPECT_EQ(h.page, 4);
    EXPECT_EQ(h.pos, 4);

    // A range reaching below the data counts from its own start, so one line
    // is one step.
    g.StoreX({0, 10}, {-2, 2, 1});
    h = ScrollBarFor(g, ScrollBar::Horizontal);
    EXPECT_EQ(h.max, 8);
    EXPECT_EQ(h.pos, 0);
    ASSERT_TRUE(Scroll(g, ScrollBar::Horizontal, ScrollAction::LineMore));
    EXPECT_EQ(g.XRange(), (AxisRange{-1, 3, 1}));

    // Only the bottom screen keeps a horizontal bar; kind 1 has none; without
    // a grid step a bar is left as it is.
    g.SetBottomScreen(0);
    EXPECT_FALSE(ScrollBarFor(g, ScrollBar::Horizontal).shown);
    EXPECT_FALSE(Scroll(g, ScrollBar::Horizontal, ScrollAction::End));
    EXPECT_FALSE(ScrollBarFor(Square(1), ScrollBar::Vertical).shown);
    g.StoreY({0, 10}, {0, 4, 0});
    EXPECT_TRUE(ScrollBarFor(g, ScrollBar::Vertical).shown);
    EXPECT_FALSE(ScrollBarFor(g, ScrollBar::Vertical).set);
    EXPECT_FALSE(Scroll(g, ScrollBar::Vertical, ScrollAction::LineMore));
}

TEST(Scroll, ActionsMoveWithinTheBar) {
    struct Case {
        AxisRange start;
        ScrollAction action;
        std::int32_t thumb;
        double wantFrom;  // NaN: nothing moves
        bool vertical = false;
    };
    // 2 .. 4 by 0.5 over data 0 .. 10 is position 4 of 0 .. 16.
    const AxisRange mid{2, 4, 0.5}, end{8, 10, 0.5};
    const Case cases[] = {
        {mid, ScrollAction::LineMore, 0, 2.5}, {mid, ScrollAction::LineLess, 0, 1.5},
        {mid, ScrollAction::PageMore, 0, 4},   {mid, ScrollAction::PageLess, 0, 0},
        {mid, ScrollAction::Home, 0, 0},       {mid, ScrollAction::End, 0, 8},
        {mid, ScrollAction::Thumb, 10, 5},     {mid, ScrollAction::Thumb, 99, 8},
        {mid, ScrollAction::Thumb, -3, 0},     {end, ScrollAction::LineMore, 0, kNaN},
        {end, ScrollAction::End, 0, kNaN},     {mid, ScrollAction::LineLess, 0, 1.5, true},
    };
    for (const Case& c : cases) {
        CGraphCurve g = Square();
        c.vertical ? g.StoreY({0, 10}, c.start) : g.StoreX({0, 10}, c.start);
        const ScrollBar bar = c.vertical ? ScrollBar::Vertical : ScrollBar::Horizontal;
        const bool moves = !std::isnan(c.wantFrom);
        ASSERT_EQ(Scroll(g, bar, c.action, c.thumb), moves);
        // Each bar saves one entry of its own kind for a run of steps.
        EXPECT_EQ(g.UndoStack().size(), moves ? 1u : 0u);
        if (moves) {
            EXPECT_EQ(g.LastUndoKind(), c.vertical ? kUndoVScroll : kUndoHScroll);
        }
        const double from = moves ? c.wantFrom : c.start.from;
        EXPECT_EQ(c.vertical ? g.YRange() : g.XRange(), (AxisRange{from, from + 2, 0.5}));
    }
}

TEST(Scroll, EveryLineMovesDespiteRounding) {
    // Steps of 0.1 land between doubles; each line must still move one step.
    CGraphCurve g = Square();
    g.StoreX({0, 10}, {0, 1, 0.1});
    for (int i = 1; i <= 90; ++i) {
        ASSERT_TRUE(Scroll(g, ScrollBar::Horizontal, ScrollAction::LineMore)) << i;
        ASSERT_EQ(ScrollBarFor(g, ScrollBar::Horizontal).pos, i);
        ASSERT_NEAR(g.XRange().from, i * 0.1, 1e-9);
    }
    EXPECT_FALSE(Scroll(g, ScrollBar::Horizontal, ScrollAction::LineMore));
    EXPECT_EQ(g.UndoStack().size(), 1u);
}

TEST(Undo, OnlyOnAViewOfOneScreen) {
    CGraphCurve a = Square(), b = Square();
    ASSERT_TRUE(ZoomByFactor(a, kZoomInFactor));
    ASSERT_TRUE(ZoomByFactor(b, kZoomInFactor));
    EXPECT_FALSE(UndoEnabled({&a, &b}));
    EXPECT_FALSE(Undo({&a, &b}).done);
    EXPECT_EQ(a.UndoStack().size(), 1u);
    EXPECT_FALSE(UndoEnabled({}));
    EXPECT_FALSE(Undo({nullptr}).done);
    EXPECT_TRUE(Undo({&a}).done);
}

TEST(Undo, SwitchesAScaleBackAndSaysSo) {
    const CResultDataRef data = MakeData({"Time", "V"}, {{1, 10, 100}, {-1, 2, 3}});
    CGraphCurve g = Screen(data, 1);
    ASSERT_TRUE(g.SetXYRange(1, 100, 0, -1, 3, 0, {}));
    g.PushUndo(kUndoZoom);
    g.SetXScale(1);
    ASSERT_TRUE(g.SetXRange(0, 2, 1, {}));
    const UndoResult u = Undo({&g});
    EXPECT_TRUE(u.done && u.scalesChanged);
    EXPECT_EQ(g.XLog(), 0);
    EXPECT_EQ(g.XRange(), (AxisRange{0, 100, 20}));  // as saved: 1 .. 100 on the X step rule
    EXPECT_EQ(g.XExtent(), (DataExtent{1, 100}));    // recomputed for the linear scale
    EXPECT_TRUE(g.UndoStack().empty());
}

TEST(ZoomBox, TenPixelsBothWaysOrNothing) {
    CGraphCurve g = Square();
    EXPECT_FALSE(ZoomBox(g, {10, 0}, {19, 200}));
    EXPECT_FALSE(ZoomBox(g, {0, 10}, {200, 19}));
    EXPECT_TRUE(g.UndoStack().empty());
    EXPECT_EQ(g.XRange(), (AxisRange{0, 10, 2}));
    // The corners become the ranges whichever way the box was dragged.
    const Point corners[][2] = {
        {{20, 30}, {60, 80}}, {{60, 80}, {20, 30}}, {{20, 80}, {60, 30}}, {{60, 30}, {20, 80}}};
    for (const auto& c : corners) {
        CGraphCurve h = Square();
        ASSERT_TRUE(ZoomBox(h, c[0], c[1]));
        ExpectRange(h.XRange(), 2, 6);
        ExpectRange(h.YRange(), 2, 7);  // pixel 80 is 2, pixel 30 is 7
        EXPECT_EQ(h.UndoStack().size(), 1u);
    }
}

TEST(ZoomAboutPoint, FactorBandsAndDirections) {
    const double bands[][2] = {{50, 1.5},       {-50, 0.5}, {-99, 0.01}, {-100, 0.009},
                               {-999, 0.00001}, {-1000, 1}, {kNaN, 1}};
    for (const auto& b : bands) EXPECT_NEAR(DragZoomFactor(b[0]), b[1], 1e-12) << b[0];

    const CGraphCurve model = Square();
    struct Case {
        Point current;
        double xFrom, xTo, yFrom, yTo;
    };
    // Press at (2, 2): right or up zooms out, left or down zooms in.
    const Case cases[] = {
        {{70, 80}, -1, 14, 0, 10},
        {{-30, 80}, 1, 6, 0, 10},
        {{20, 30}, 0, 10, -1, 14},
        {{20, 280}, 0, 10, 2 - 2 * 0.008, 2 + 8 * 0.008},  // 200 down: second band
        {{-1980, 80}, 0, 10, 0, 10},
    };
    for (const Case& c : cases) {
        CGraphCurve working = model;
        ZoomAboutPoint(working, model, {20, 80}, {90, 10});  // moves do not compound
        ASSERT_TRUE(ZoomAboutPoint(working, model, {20, 80}, c.current));
        ExpectRange(working.XRange(), c.xFrom, c.xTo);
        ExpectRange(working.YRange(), c.yFrom, c.yTo);
        EXPECT_TRUE(working.UndoStack().empty());
    }
    // A press at or below the lower end of either range does nothing.
    for (Point press : {Point{0, 50}, Point{50, 100}, Point{-10, 50}}) {
        CGraphCurve working = model;
        EXPECT_FALSE(ZoomAboutPoint(working, model, press, {press.x - 40, press.y}));
        EXPECT_EQ(working.XRange(), model.XRange());
    }
}

TEST(ZoomByAxisEnd, TheQuadrantChoosesTheEndsThatMove) {
    const CGraphCurve model = Square();
    struct Case {
        Point press;
        double xFrom, xTo, yFrom, yTo;
    };
    // Each drag is 10 pixels right and 10 up: one unit on both axes.
    const Case cases[] = {{{80, 20}, 0, 9, 0, 9},
                          {{20, 20}, -1, 10, 0, 9},
                          {{80, 80}, 0, 9, -1, 10},
                          {{20, 80}, -1, 10, -1, 10}};
    for (const Case& c : cases) {
        CGraphCurve working = model;
        ASSERT_TRUE(ZoomByAxisEnd(working, model, c.press, {c.press.x + 10, c.press.y - 10}));
        ExpectRange(working.XRange(), c.xFrom, c.xTo);
        ExpectRange(working.YRange(), c.yFrom, c.yTo);
        EXPECT_EQ(AxisEndsAt(model, c.press).right, c.xTo == 9);
        EXPECT_EQ(AxisEndsAt(model, c.press).upper, c.yTo == 9);
    }
}

TEST(Pan, GrabbedPointFollowsThePointerAndEndDragSavesTheStart) {
    CGraphCurve model = Square();
    model.PushUndo(kUndoWheel);  // a wheel run before the drag
    CGraphCurve working = model;
    const std::optional<DataPoint> grabbed = DataAt(model, {50, 50});
    ASSERT_TRUE(grabbed);
    EXPECT_EQ(*grabbed, (DataPoint{5, 5}));
    ASSERT_TRUE(PanTo(working, *grabbed, {70, 20}));
    ASSERT_TRUE(PanTo(working, *grabbed, {60, 40}));
    EXPECT_EQ(working.XRange(), (AxisRange{-1, 9, 2}));
    EXPECT_EQ(working.YRange(), (AxisRange{-1, 9, 2}));
    EXPECT_FALSE(PanTo(working, *grabbed, {60, 40}));

    // A reload or a measure step during the drag is kept: only the ranges are the drag's.
    model.AddCurve(CCurveEntry{});
    model.Cursor(0).x = 3;
    ASSERT_TRUE(EndDrag(model, working));
    EXPECT_EQ(model.XRange(), (AxisRange{-1, 9, 2}));
    EXPECT_EQ(model.YRange(), (AxisRange{-1, 9, 2}));
    EXPECT_EQ(model.CurveCount(), 1);
    EXPECT_EQ(model.Cursor(0).x, 3);
    ASSERT_EQ(model.UndoStack().size(), 2u);
    Undo({&model});
    EXPECT_EQ(model.XRange(), (AxisRange{0, 10, 2}));

    // Ranges dragged on a linear axis are dropped once the axis became logarithmic.
    model.StoreScales(1, 0, 0);
    EXPECT_FALSE(EndDrag(model, working));
    EXPECT_EQ(model.XRange(), (AxisRange{0, 10, 2}));
    EXPECT_EQ(model.UndoStack().size(), 1u);
}

TEST(Pan, AutoScrollMovesTheContentTowardThePointer) {
    struct Case {
        Point pointer;
        double dx, dy;
    };
    const Case cases[] = {
        {{100, 50}, -1, 0}, {{-5, 50}, 1, 0},  {{50, 100}, 0, 1},
        {{50, -1}, 0, -1},  {{-5, -5}, 1, -1},
    };
    for (const Case& c : cases) {
        CGraphCurve working = Square();
        DataPoint grabbed{5, 5};
        ASSERT_TRUE(AutoScrollStep(working, grabbed, c.pointer));
        ExpectRange(working.XRange(), c.dx, 10 + c.dx);
        ExpectRange(working.YRange(), c.dy, 10 + c.dy);
        // The grabbed point moved with the range and is still at its pixel.
        EXPECT_EQ(grabbed, (DataPoint{5 + c.dx, 5 + c.dy}));
        EXPECT_FALSE(PanTo(working, grabbed, {50, 50}));
    }
    CGraphCurve working = Square();
    DataPoint grabbed{5, 5};
    EXPECT_FALSE(AutoScrollStep(working, grabbed, {99, 0}));
    EXPECT_EQ(working.XRange(), (AxisRange{0, 10, 2}));
}

TEST(FitAll, ThreeScreensShareXAndEachGetsOneEntry) {
    const CResultDataRef data = MakeData({"Time", "A", "B", "C"}, {{0, 1, 2, 3, 4, 5, 6, 7},
                                                                   {0, 0.2, 0.4, 1.6, 1, 1, 1, 1},
                                                                   {0, 1.2, 0, 0, 0, 0, 0, 0},
                                                                   {-5, 5, 0, 0, 0, 0, 0, 0}});
    CGraphCurve a = Screen(data, 1), b = Screen(data, 2), c = Screen(data, 3);
    a.StoreX(a.XExtent(), {2, 3, 1});
    ASSERT_TRUE(FitAll({&a, &b, &c}));
    for (CGraphCurve* s : {&a, &b, &c}) {
        EXPECT_EQ(s->XRange(), (AxisRange{0, 8, 2}));  // 0 .. 7 on the X step rule
        EXPECT_EQ(s->UndoStack().size(), 1u);
    }
    EXPECT_EQ(a.UndoStack()[0]->xFrom, 2);
    // The Y step rule first (0 .. 1.6 gives 0 .. 1.75 by 0.25), then a tenth
    // of margin on each side.
    ExpectRange(a.YRange(), -0.175, 1.925);
    EXPECT_EQ(a.YRange().increment, 0.25);
    ExpectRange(b.YRange(), -0.12, 1.32);
    ExpectRange(c.YRange(), -7.2, 7.2);
    EXPECT_EQ(c.YRange().increment, 2);
}

TEST(FitAll, LogAxesStepByADecadeAndEmptyScreensStayFinite) {
    const CResultDataRef data = MakeData({"Time", "V"}, {{1, 10, 100}, {1, 10, 100}});
    CGraphCurve g = Screen(data, 1);
    g.SetXScale(1);
    g.SetYScale(1);
    ASSERT_TRUE(FitAll({&g}));
    EXPECT_EQ(g.XRange(), (AxisRange{0, 2, 1}));
    ExpectRange(g.YRange(), -0.2, 2.2);
    EXPECT_EQ(g.YRange().increment, 1);

    EXPECT_FALSE(FitAll({nullptr}));
    CGraphCurve empty;
    EXPECT_TRUE(FitAll({nullptr, &empty}));
    EXPECT_LT(empty.XRange().from, empty.XRange().to);
    EXPECT_LT(empty.YRange().from, empty.YRange().to);
}

CResultDataRef Squares() {
    std::vector<double> x = test::Ramp(10, 1.0), y;
    for (double v : x) y.push_back(v * v);
    CResultDataRef data = MakeData({"Time", "Y"}, {x, y});
    data->SetUniformX(1);
    return data;
}

TEST(FitYToVisibleX, FitsYToTheVisibleSamples) {
    const CResultDataRef data = Squares();
    CGraphCurve a = Screen(data, 1), b = Screen(data, 1);
    a.StoreX(a.XExtent(), {0, 9, 1});
    b.StoreX(b.XExtent(), {2, 4, 1});
    // Y 4 .. 16 over the last screen's X 2 .. 4, widened by 1.2 each way; the
    // Y step rule makes 2.8 .. 17.2 into 2 .. 18 by 2, then 0 .. 20 by 2.5.
    EXPECT_EQ(FitYToVisibleX({&a, &b}), FitYResult::FittedY);
    for (CGraphCurve* s : {&a, &b}) {
        EXPECT_EQ(s->YRange(), (AxisRange{0, 20, 2.5}));
        EXPECT_EQ(s->UndoStack().size(), 1u);
    }
    EXPECT_EQ(a.XRange(), (AxisRange{0, 9, 1}));
}

TEST(FitYToVisibleX, FitsAllWhenTooLittleOfTheDataIsVisible) {
    struct Case {
        double from, to;
        FitYResult want;
    };
    const Case cases[] = {
        {-1, 9, FitYResult::FittedY},    {-5, 5, FitYResult::FittedY},  // exactly half
        {-6, 5, FitYResult::FittedAll},  {20, 30, FitYResult::FittedAll},
        {-30, 0, FitYResult::FittedAll},  // touching is not overlapping
    };
    for (const Case& c : cases) {
        CGraphCurve g = Screen(Squares(), 1);
        g.StoreX(g.XExtent(), {c.from, c.to, 1});
        EXPECT_EQ(FitYToVisibleX({&g}), c.want) << c.from << " " << c.to;
        EXPECT_EQ(g.XRange().from, c.want == FitYResult::FittedAll ? 0 : c.from);
    }
}

TEST(BadInput, EmptyPlotRangesAndExtremePointsAreHarmless) {
    CGraphCurve g = Square();
    g.SetPlot({10, 10, 10, 50});
    CGraphCurve working = g;
    DataPoint grabbed{5, 5};
    // Wheel, box and point zooms find their data through DataAt.
    EXPECT_FALSE(DataAt(g, {10, 20}));
    EXPECT_FALSE(ZoomByAxisEnd(working, g, {10, 20}, {0, 0}));
    EXPECT_FALSE(PanTo(working, {5, 5}, {0, 0}));
    EXPECT_FALSE(AutoScrollStep(working, grabbed, {500, 500}));

    CGraphCurve s = Square();
    EXPECT_FALSE(ZoomByFactor(s, kNaN));
    EXPECT_TRUE(s.UndoStack().empty());
    // Corners far apart must not wrap round into a small box.
    EXPECT_TRUE(ZoomBox(s, {INT_MIN, INT_MIN}, {INT_MAX, INT_MAX}));
    EXPECT_LT(s.XRange().from, -1e6);
    const CGraphCurve model = Square();
    CGraphCurve w = model;
    ZoomAboutPoint(w, model, {50, 50}, {INT_MAX, INT_MIN});
    ZoomByAxisEnd(w, model, {50, 50}, {INT_MIN, INT_MAX});
    EXPECT_TRUE(std::isfinite(w.XRange().to));
    EXPECT_LT(w.XRange().from, w.XRange().to);
    // A huge data extent against a tiny step saturates the bar.
    s.StoreX({0, 1e300}, {0, 1, 1e-3});
    EXPECT_EQ(ScrollBarFor(s, ScrollBar::Horizontal).max, INT_MAX);
}

}  // namespace
}  // namespace kurvex
