#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "TestSupport.h"
#include "formula/FormulaTestSupport.h"
#include "graph/GraphCurve.h"

namespace kurvex {
namespace {

using test::MakeData;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

constexpr RangeFlags kNoAutoStep{.autoIncrement = false};
constexpr RangeFlags kKeepStep{.setIncrement = true, .autoIncrement = false};

RangeFlags Undo(UndoKind kind) {
    return {.pushUndo = true, .undoKind = kind};
}

TEST(SetRange, EndsAndStepAsStored) {
    struct Case {
        const char* what;
        bool y;
        double from, to, increment;
        RangeFlags flags;
        AxisRange want;  // a NaN step is not looked at
    };
    const Case cases[] = {
        {"reversed ends are swapped", false, 10, 0, 0, {}, {0, 10, 2}},
        {"X chooses its step and aligns the ends", false, 0, 7, 0, {}, {0, 8, 2}},
        {"Y has thresholds of its own", true, 0, 1.6, 0, {}, {0, 1.75, 0.25}},
        {"a widened range takes a fifth as step", false, 5, 5, 123, kKeepStep, {4.5, 5.5, 0.2}},
        // Equal ends are widened as WidenExtent does (its own test has the
        // cases); Y chooses a step unless it has one, and the widening gives it one.
        {"zero X", false, 0, 0, 0, kNoAutoStep, {-0.9, 0.1, kNaN}},
        {"negative Y", true, -5, -5, 0, kKeepStep, {-5.5, -4.5, kNaN}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CGraphCurve g;
        ASSERT_TRUE(c.y ? g.SetYRange(c.from, c.to, c.increment, c.flags)
                        : g.SetXRange(c.from, c.to, c.increment, c.flags));
        const AxisRange r = c.y ? g.YRange() : g.XRange();
        EXPECT_DOUBLE_EQ(r.from, c.want.from);
        EXPECT_DOUBLE_EQ(r.to, c.want.to);
        if (!std::isnan(c.want.increment)) {
            EXPECT_DOUBLE_EQ(r.increment, c.want.increment);
        }
    }
}

TEST(SetRange, NonFiniteEndsAreRefusedAndChangeNothing) {
    CGraphCurve g;
    ASSERT_TRUE(g.SetXRange(0, 10, 0, {}));
    ASSERT_TRUE(g.SetYRange(0, 10, 0, {}));
    const double bad[][2] = {{kNaN, 1}, {0, kInf}, {-1e308, 1e308}, {1.7e308, 1.7e308}};
    for (const auto& b : bad) {
        EXPECT_FALSE(g.SetXRange(b[0], b[1], 0, Undo(kUndoZoom)));
        EXPECT_FALSE(g.SetYRange(b[0], b[1], 0, Undo(kUndoZoom)));
    }
    EXPECT_EQ(g.XRange(), (AxisRange{0, 10, 2}));
    EXPECT_EQ(g.YRange(), (AxisRange{0, 10, 2}));
    EXPECT_TRUE(g.UndoStack().empty());
}

TEST(SetRange, ZoomLimitRefusesScalesBeyondTwoToTheTwentyEight) {
    CGraphCurve g;
    g.SetPlot({0, 0, 1000, 500});
    g.StoreX({0, 1000}, {0, 1000, 200});
    g.StoreY({0, 1000}, {0, 1000, 200});
    // 1000 px / 0.001 * 1000 = 1e9 pixels for the whole data.
    EXPECT_FALSE(g.SetXRange(0, 0.001, 0, Undo(kUndoZoom)));
    EXPECT_EQ(g.XRange(), (AxisRange{0, 1000, 200}));
    EXPECT_TRUE(g.UndoStack().empty());
    // 1e8 pixels are fine.
    EXPECT_TRUE(g.SetXRange(0, 0.01, 0, {}));
    // Y is measured against the plot height: 500 / 0.002 * 1000 = 2.5e8.
    EXPECT_TRUE(g.SetYRange(0, 0.002, 0, {}));
    EXPECT_FALSE(g.SetYRange(0, 0.0015, 0, {}));
    // Exactly 2^28 - 1 pixels is refused; a hair less is taken.
    g.StoreX({0, 268435455}, {0, 268435455, 0});
    EXPECT_FALSE(g.SetXRange(0, 1000, 0, {}));
    EXPECT_TRUE(g.SetXRange(0, 1000.001, 0, {}));
}

TEST(SetRange, AutoIncrementAdjustsAKeptIncrement) {
    CGraphCurve g;
    const RangeFlags f{.setIncrement = true};
    // 0.2 gives 50 divisions of 0 .. 10; the passes make it 2.
    ASSERT_TRUE(g.SetXRange(0, 10, 0.2, f));
    EXPECT_DOUBLE_EQ(g.XRange().increment, 2);
    // A later range keeps the stored step and only adjusts it: for 0 .. 3,
    // 2 becomes 0.2 (15 divisions) and then 0.4, not a newly chosen 0.5.
    ASSERT_TRUE(g.SetXRange(0, 3, 0, {}));
    EXPECT_DOUBLE_EQ(g.XRange().increment, 0.4);
}

TEST(SetRange, WithoutAutoIncrementXKeepsItsStepButYNeedsOne) {
    CGraphCurve g;
    ASSERT_TRUE(g.SetXRange(1, 7, 0, kNoAutoStep));
    EXPECT_EQ(g.XRange(), (AxisRange{1, 7, 0}));  // drawing treats 0 as 1
    ASSERT_TRUE(g.SetYRange(1, 7, 0, kNoAutoStep));
    EXPECT_GT(g.YRange().increment, 0.0);
    ASSERT_TRUE(g.SetYRange(1, 7, 0.1, kKeepStep));
    EXPECT_EQ(g.YRange(), (AxisRange{1, 7, 0.1}));
    // A non-finite increment is never stored.
    ASSERT_TRUE(g.SetYRange(1, 7, kInf, kKeepStep));
    EXPECT_EQ(g.YRange().increment, 0.1);
}

TEST(SetRange, ClampKeepsTheRangeWithinTheData) {
    CGraphCurve g;
    g.StoreX({0, 10}, {0, 10, 2});
    const RangeFlags f{.autoIncrement = false, .clamp = true};
    ASSERT_TRUE(g.SetXRange(-5, 5, 0, f));
    EXPECT_EQ(g.XRange().from, 0);
    EXPECT_EQ(g.XRange().to, 5);
    // Nothing of the data would be left: refused, not reversed.
    EXPECT_FALSE(g.SetXRange(20, 30, 0, f));
    EXPECT_EQ(g.XRange().from, 0);
    EXPECT_EQ(g.XRange().to, 5);
}

TEST(PushUndo, RunsOfScrollOrWheelStepsShareOneEntry) {
    struct Case {
        std::vector<UndoKind> pushes;
        size_t entries;
    };
    const Case cases[] = {
        {{kUndoZoom, kUndoZoom}, 2},
        {{kUndoWheel, kUndoWheel, kUndoWheel}, 1},
        {{kUndoHScroll, kUndoHScroll, kUndoVScroll, kUndoVScroll, kUndoHScroll}, 3},
        {{kUndoWheel, kUndoZoom, kUndoWheel}, 3},
    };
    for (const Case& c : cases) {
        CGraphCurve g;
        for (UndoKind k : c.pushes) g.PushUndo(k);
        EXPECT_EQ(g.UndoStack().size(), c.entries);
        EXPECT_EQ(g.LastUndoKind(), c.pushes.back());
    }
}

TEST(SetXYRange, RefusedChangeLeavesNoUndoEntry) {
    CGraphCurve g;
    ASSERT_TRUE(g.SetXYRange(0, 10, 0, 0, 5, 0, {}));
    g.PushUndo(kUndoHScroll);
    const AxisRange x = g.XRange();

    EXPECT_FALSE(g.SetXYRange(kNaN, 1, 0, 0, kInf, 0, Undo(kUndoWheel)));
    EXPECT_EQ(g.UndoStack().size(), 1u);
    EXPECT_EQ(g.LastUndoKind(), kUndoHScroll);  // the next scroll step still joins its run
    EXPECT_EQ(g.XRange(), x);
    g.PushUndo(kUndoHScroll);
    EXPECT_EQ(g.UndoStack().size(), 1u);
}

// Refused on both axes is the refusal above; refused on one, the other's change stays.
TEST(SetXYRange, TheZoomLimitOnOneAxisKeepsTheEntry) {
    CGraphCurve g;
    g.SetPlot({0, 0, 1000, 1000});
    g.StoreX({0, 1000}, {0, 1000, 200});
    g.StoreY({0, 1000}, {0, 1000, 200});
    EXPECT_TRUE(g.SetXYRange(0, 100, 0, 0, 1e-4, 0, Undo(kUndoZoom)));
    ASSERT_EQ(g.UndoStack().size(), 1u);
    EXPECT_EQ(g.UndoStack()[0]->xTo, 1000);
    EXPECT_EQ(g.XRange().to, 100);
    EXPECT_EQ(g.YRange().to, 1000);
}

TEST(Extent, XExtentFromTheColumnWidenedWhenSingle) {
    struct Case {
        std::vector<double> x;
        DataExtent want;
    };
    const Case cases[] = {{{5}, {4.5, 5.5}}, {{0, 2, 1}, {0, 2}}, {{}, {0, 0}}};
    for (const Case& c : cases) {
        const CResultDataRef data = MakeData({"Time"}, {c.x});
        CGraphCurve g;
        g.SetData(data);
        EXPECT_FALSE(g.SetXScale(0));
        EXPECT_EQ(g.XExtent(), c.want);
    }
}

TEST(Extent, YExtentSpansAllCurves) {
    const CResultDataRef data = MakeData({"Time", "A", "B"}, {{0, 1, 2}, {1, 5, 3}, {-2, 0, 4}});
    CGraphCurve g;
    g.SetData(data);
    EXPECT_FALSE(g.SetYScale(0));
    EXPECT_EQ(g.YExtent(), (DataExtent{0, 0}));  // no curves
    g.AddCurve(CCurveEntry::ForColumn(data, 1));
    g.AddCurve(CCurveEntry::ForFormula("A+"));  // never built: counts as zero
    CCurveEntry f = CCurveEntry::ForFormula("A*10");
    ASSERT_TRUE(f.Bind(data).ok);
    g.AddCurve(f);
    g.SetYScale(0);
    EXPECT_EQ(g.YExtent(), (DataExtent{0, 50}));
    g.AddCurve(CCurveEntry::ForColumn(data, 2));
    g.SetYScale(0);
    EXPECT_EQ(g.YExtent(), (DataExtent{-2, 50}));
}

TEST(Extent, LogAxisReportsInvalidPointsAndUsesLogarithms) {
    const CResultDataRef data = MakeData({"Time", "V"}, {{0, 10, 1000}, {-1, 0.01, 100}});
    CGraphCurve g = test::ScreenOver(data, 0, 1000);
    EXPECT_FALSE(g.UpdateExtents());
    EXPECT_TRUE(g.SetXScale(1));  // the 0 at the start
    EXPECT_EQ(g.XExtent(), (DataExtent{1, 3}));
    EXPECT_TRUE(g.SetYScale(1));  // the -1
    EXPECT_EQ(g.YExtent(), (DataExtent{-2, 2}));
    // Asked again, the shared columns still tell.
    EXPECT_TRUE(g.UpdateExtents());
    EXPECT_TRUE(g.EnsureLogColumns());
}

TEST(Extent, FormulaCurveOnLogAxisGetsItsOwnLogColumn) {
    const CResultDataRef data = MakeData({"Time", "V"}, {{0, 1, 2}, {1, -5, 100}});
    CGraphCurve g;
    g.SetData(data);
    CCurveEntry f = CCurveEntry::ForFormula("V*10");
    ASSERT_TRUE(f.Bind(data).ok);
    g.AddCurve(f);
    EXPECT_TRUE(g.SetYScale(1));
    ASSERT_TRUE(g.Curve(0).formulaLog);
    EXPECT_EQ(g.Curve(0).formulaLog->Flags()[1], kPointInvalid);
    EXPECT_EQ(g.YExtent(), (DataExtent{1, 3}));
    EXPECT_TRUE(g.SetYScale(1));  // reported again from the kept column
}

CResultDataRef Ramp10(bool uniform) {
    std::vector<double> x = test::Ramp(10, 1.0), y;
    for (double v : x) y.push_back(v * v);
    CResultDataRef data = MakeData({"Time", "Y"}, {x, y});
    data->SetUniformX(uniform);
    return data;
}

TEST(IndexWindow, ReachesOneSampleBeyondEachEnd) {
    for (bool uniform : {true, false}) {
        CGraphCurve g;
        g.SetData(Ramp10(uniform));
        SCOPED_TRACE(uniform ? "uniform" : "scanned");
        EXPECT_EQ(g.VisibleIndexWindow(2.5, 6.5), (IndexWindow{2, 7}));
        // A sample exactly at the bound: computed, it is the bound itself;
        // scanned, the one before (after) it.
        EXPECT_EQ(g.VisibleIndexWindow(3, 3), uniform ? (IndexWindow{3, 3}) : (IndexWindow{2, 4}));
        // A range beyond the data falls back to the whole column.
        EXPECT_EQ(g.VisibleIndexWindow(20, 30).first, 0);
        EXPECT_EQ(g.VisibleIndexWindow(-30, -20).last, 9);
    }
    // Unsorted: the first sample at or above 3 and the last at or below 6, one beyond each.
    CGraphCurve u;
    u.SetData(MakeData({"Time"}, {{0, 2, 1, 3, 4, 5, 6, 7, 8, 9}}));
    EXPECT_EQ(u.VisibleIndexWindow(3, 6), (IndexWindow{2, 7}));

    // No data, no samples or an X column that is not there: an empty window.
    CGraphCurve g;
    EXPECT_TRUE(g.VisibleIndexWindow(0, 1).Empty());
    g.SetData(MakeData({"Time"}, {{}}));
    EXPECT_TRUE(g.VisibleIndexWindow(0, 1).Empty());
    g.SetXIndex(3);
    EXPECT_TRUE(g.VisibleIndexWindow(0, 1).Empty());
}

TEST(YExtentOver, OnlySamplesInsideTheInterval) {
    const CResultDataRef data = Ramp10(true);
    CGraphCurve g = test::ScreenOver(data, 0, 9);
    const std::optional<DataExtent> e = g.YExtentOver(2, 4);
    ASSERT_TRUE(e);
    EXPECT_EQ(*e, (DataExtent{4, 16}));
    EXPECT_EQ(g.YExtentOver(4, 2), e);
    EXPECT_FALSE(g.YExtentOver(20, 30));
    EXPECT_FALSE(g.YExtentOver(kNaN, 3));
    data->Variable(1)->Flags()[3] = kPointInvalid;
    EXPECT_EQ(g.YExtentOver(2.5, 3.5), std::nullopt);
}

TEST(YExtentOver, UsesTheLogScaleOnALogAxis) {
    const CResultDataRef data = MakeData({"Time", "Y"}, {{0, 1, 2, 3}, {1, 10, -1, 1000}});
    CGraphCurve g = test::ScreenOver(data, 0, 3);
    g.SetYScale(1);
    EXPECT_EQ(g.YExtentOver(0, 3), (DataExtent{0, 3}));
}

}  // namespace
}  // namespace kurvex
