#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "interaction/MouseMode.h"
#include "interaction/ScreenInput.h"

namespace kurvex {
namespace {

// A 100 x 100 pixel plot at (20, 20) over 0 .. 10 on both axes, with two
// curves whose legend labels were recorded above it: pixel (40, 100) is the
// data point (2, 2).
CGraphCurve Screen() {
    CGraphCurve g;
    g.SetPlot({20, 20, 120, 120});
    g.StoreX({0, 10}, {0, 10, 2});
    g.StoreY({0, 10}, {0, 10, 2});
    g.AddCurve(CCurveEntry{});
    g.AddCurve(CCurveEntry{});
    g.LegendRects() = {{20, 0, 50, 15}, {60, 0, 90, 15}, {95, 0, 120, 15}};
    return g;
}

TEST(PointerShapeAt, ModeQuadrantAndLegendChooseThePointer) {
    const CGraphCurve g = Screen();
    struct Case {
        std::int32_t mode;
        Point p;
        PointerShape shape;
        std::int32_t legend;
    };
    const Case cases[] = {
        {kModePan, {50, 50}, PointerShape::Pan, -1},
        {kModeZoomBox, {50, 50}, PointerShape::ZoomBox, -1},
        {kModeZoomPoint, {20, 20}, PointerShape::ZoomPoint, -1},  // the plot's first pixel
        {kModeText, {119, 119}, PointerShape::Text, -1},          // and its last
        {kModeMeasure, {50, 50}, PointerShape::Arrow, -1},
        {kModeZoomAxisEnd, {110, 30}, PointerShape::AxisEndRightUpper, -1},
        {kModeZoomAxisEnd, {110, 110}, PointerShape::AxisEndRightLower, -1},
        {kModeZoomAxisEnd, {30, 30}, PointerShape::AxisEndLeftUpper, -1},
        {kModeZoomAxisEnd, {30, 110}, PointerShape::AxisEndLeftLower, -1},
        {kModePan, {120, 50}, PointerShape::Arrow, -1},  // right of the plot
        {kModePan, {25, 5}, PointerShape::Legend, 0},    // whatever the mode
        {kModeZoomAxisEnd, {89, 14}, PointerShape::Legend, 1},
        {kModePan, {55, 5}, PointerShape::Arrow, -1},   // between two labels
        {kModePan, {100, 5}, PointerShape::Arrow, -1},  // a label no curve has any more
    };
    for (const Case& c : cases) {
        const std::string at = std::to_string(c.p.x) + "," + std::to_string(c.p.y);
        EXPECT_EQ(PointerShapeAt(g, c.mode, c.p), c.shape) << "mode " << c.mode << " at " << at;
        EXPECT_EQ(LegendCurveAt(g, c.p), c.legend) << at;
    }
}

TEST(AboveLowerEnds, PressMustLieAboveBothLowerEnds) {
    CGraphCurve g = Screen();
    // At X from is a refused drag's row.
    EXPECT_TRUE(AboveLowerEnds(g, {21, 118}));
    EXPECT_FALSE(AboveLowerEnds(g, {60, 120}));  // at Y from
    EXPECT_FALSE(AboveLowerEnds(g, {10, 60}));   // left of the plot: below X from
}

TEST(ZoomTargetScreen, FocusedScreenElseTheFirst) {
    EXPECT_EQ(ZoomTargetScreen(2, 3), 2);
    EXPECT_EQ(ZoomTargetScreen(-1, 3), 0);
    EXPECT_EQ(ZoomTargetScreen(3, 3), 0);
    EXPECT_EQ(ZoomTargetScreen(-1, 0), -1);
}

TEST(WheelAccumulator, OneStepPer120UnitsInEitherDirection) {
    struct Case {
        const char* name;
        std::vector<int> deltas;
        std::vector<int> steps;
    };
    const Case cases[] = {
        {"wheel notches", {120, 120, -120}, {1, 1, -1}},
        {"touchpad 30s", {30, 30, 30, 30, 30}, {0, 0, 0, 1, 0}},
        {"fine steps toward the user", {-40, -40, -40}, {0, 0, -1}},
        {"a turn back drops the rest", {90, -60, -60}, {0, 0, -1}},
        {"several notches at once", {360, -250}, {3, -2}},
        {"a fling is bounded", {2000000000, 2000000000}, {50, 50}},
    };
    for (const Case& c : cases) {
        WheelAccumulator w;
        std::vector<int> got;
        for (int d : c.deltas) got.push_back(w.Add(d));
        EXPECT_EQ(got, c.steps) << c.name;
    }
}

enum class End { Release, Cancel };

TEST(ScreenDrag, OnlyAReleasedDragChangesTheModelWithOneEntry) {
    struct Case {
        const char* name;
        DragKind kind;
        Point press;
        std::vector<Point> moves;
        End end;
        bool begins;
        bool changes;
        bool aboveLowerEnds = false;
    };
    using K = DragKind;
    const End R = End::Release, C = End::Cancel;
    const Case cases[] = {
        {"zoom box", K::ZoomBox, {30, 30}, {{60, 60}, {80, 90}}, R, true, true},
        {"zoom box of 9 pixels", K::ZoomBox, {30, 30}, {{39, 90}}, R, true, false},
        {"pan", K::Pan, {50, 50}, {{60, 40}, {70, 30}}, R, true, true},
        {"pan cancelled", K::Pan, {50, 50}, {{70, 30}}, C, true, false},
        {"a click in pan mode", K::Pan, {50, 50}, {}, R, true, false},
        {"zoom about a point", K::ZoomPoint, {70, 70}, {{40, 90}}, R, true, true},
        {"zoom at the lower X end", K::ZoomPoint, {20, 70}, {{40, 90}}, R, false, false},
        {"axis end", K::ZoomAxisEnd, {110, 30}, {{100, 50}}, R, true, true},
        {"press outside the plot", K::Pan, {10, 50}, {{70, 30}}, R, false, false},
        {"right zoom at the lower X end", K::ZoomBox, {20, 60}, {{100, 40}}, R, false, false, true},
        {"right zoom above both", K::ZoomBox, {60, 110}, {{100, 40}}, R, true, true, true},
    };
    for (const Case& c : cases) {
        CGraphCurve model = Screen();
        const CGraphCurve before = model;
        ScreenDrag drag;
        ASSERT_EQ(drag.Begin(model, c.kind, c.press, c.aboveLowerEnds), c.begins) << c.name;
        for (Point p : c.moves) drag.Move(p);
        // While dragging only the working copy moves.
        EXPECT_EQ(model.XRange(), before.XRange()) << c.name;
        if (c.begins && c.kind != DragKind::ZoomBox && !c.moves.empty()) {
            ASSERT_NE(drag.Working(), nullptr) << c.name;
            EXPECT_NE(drag.Working()->XRange(), before.XRange()) << c.name;
        }
        const Point last = c.moves.empty() ? c.press : c.moves.back();
        bool changed = false;
        if (c.end == End::Release)
            changed = drag.Release(model, last);
        else
            drag.Cancel();
        EXPECT_EQ(changed, c.changes) << c.name;
        EXPECT_FALSE(drag.Active()) << c.name;
        EXPECT_EQ(drag.Working(), nullptr) << c.name;
        if (c.changes) {
            ASSERT_EQ(model.UndoStack().size(), 1u) << c.name;
            EXPECT_EQ(model.UndoStack()[0]->xFrom, before.XRange().from) << c.name;
            EXPECT_NE(model.XRange(), before.XRange()) << c.name;
        } else {
            EXPECT_TRUE(model.UndoStack().empty()) << c.name;
            EXPECT_EQ(model.XRange(), before.XRange()) << c.name;
        }
    }
}

TEST(ScreenDrag, PanOutsideThePlotScrollsByItselfTowardThePointer) {
    CGraphCurve model = Screen();
    ScreenDrag drag;
    ASSERT_TRUE(drag.Begin(model, DragKind::Pan, {50, 50}));
    EXPECT_FALSE(drag.OutsidePlot());
    EXPECT_FALSE(drag.AutoScroll());
    drag.Move({150, 50});  // right of the plot: the content follows, X goes down
    ASSERT_TRUE(drag.OutsidePlot());
    const double from = drag.Working()->XRange().from;
    ASSERT_TRUE(drag.AutoScroll());
    EXPECT_NEAR(drag.Working()->XRange().from, from - 1.0, 1e-9);  // a tenth of 10
    EXPECT_EQ(drag.Working()->YRange(), model.YRange());
    ASSERT_TRUE(drag.Release(model, {150, 50}));
    EXPECT_NEAR(model.XRange().from, from - 1.0, 1e-9);
    EXPECT_EQ(model.UndoStack().size(), 1u);
}

}  // namespace
}  // namespace kurvex
