#include <gtest/gtest.h>

#include <cmath>

#include "formula/FormulaTestSupport.h"
#include "interaction/AxisDialogRules.h"

namespace kurvex {
namespace {

using test::MakeData;

// A screen over X = 0 .. 10 showing Y = X squared, both axes linear.
CGraphCurve Screen() {
    std::vector<double> x = test::Ramp(11, 1.0), y;
    for (double v : x) y.push_back(v * v);
    CGraphCurve s = test::ScreenOver(MakeData({"Time", "Y"}, {x, y}), 0, 10);
    s.UpdateExtents();
    s.SetXRange(0, 10, 0, {});
    s.SetYRange(0, 100, 0, {});
    return s;
}

TEST(AxisDialogRules, FieldsShowTheRangeAndLogEndsAsPowersOfTen) {
    CGraphCurve s = Screen();
    AxisFields x = AxisFieldsOf(s, Axis::X);
    EXPECT_EQ(x, (AxisFields{false, true, false, "0", "10", "5"}));
    s.StoreScales(1, 0, 0);
    s.StoreX(s.XExtent(), AxisRange{-1.0, 2.5, 1.0});
    x = AxisFieldsOf(s, Axis::X);
    EXPECT_EQ(x.from, "0.1");
    EXPECT_EQ(x.to, "316.228");
    EXPECT_TRUE(x.log);

    struct Case {
        bool log, autoGrid, autoScale;
        AxisEnables expected;
    };
    const Case cases[] = {
        {false, true, false, {true, true, false}},
        {false, false, false, {true, true, true}},
        {true, false, false, {true, false, false}},
        {false, false, true, {false, false, false}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(AxisEnablesFor(c.log, c.autoGrid, c.autoScale), c.expected)
            << c.log << c.autoGrid << c.autoScale;
}

TEST(AxisDialogRules, LinearRangesAreExchangedClampedAndStored) {
    struct Case {
        const char* name;
        Axis axis;
        const char* from;  // typed, or null: left as shown
        const char* to;
        const char* divisions;  // typed with the automatic grid off, or null
        AxisStoreResult::Outcome outcome;
        double wantFrom, wantTo, increment;
        std::int32_t storedDivisions;
        const char* rewrittenFrom;  // null: no rewrite
        const char* rewrittenTo;
    };
    using R = AxisStoreResult;
    const Case cases[] = {
        {"reversed", Axis::X, "10", "2", nullptr, R::Changed, 2, 10, 2, 5, "2", "10"},
        {"35 divisions", Axis::X, nullptr, nullptr, "35", R::Changed, 0, 10, 0.5, 20, nullptr,
         nullptr},
        // No count of divisions: the automatic step.
        {"suffixes", Axis::Y, "-2k", "0.5k", "0", R::Changed, -2000, 500, 500, 5, nullptr, nullptr},
        {"too large", Axis::X, nullptr, "1e999", nullptr, R::Refused, 0, 10, -1, 5, nullptr,
         nullptr},
    };
    for (const Case& c : cases) {
        CGraphCurve s = Screen();
        s.SetYAutoScale(0);
        const AxisRange before = c.axis == Axis::X ? s.XRange() : s.YRange();
        const AxisFields shown = AxisFieldsOf(s, c.axis);
        AxisFields typed = shown;
        typed.autoScale = false;
        if (c.from) typed.from = c.from;
        if (c.to) typed.to = c.to;
        if (c.divisions) {
            typed.autoGrid = false;
            typed.divisions = c.divisions;
        }
        const AxisStoreResult r = StoreAxisFields(s, c.axis, shown, typed);
        EXPECT_EQ(r.outcome, c.outcome) << c.name;
        const AxisRange& range = c.axis == Axis::X ? s.XRange() : s.YRange();
        EXPECT_EQ(range.from, c.wantFrom) << c.name;
        EXPECT_EQ(range.to, c.wantTo) << c.name;
        EXPECT_EQ(range.increment, c.increment < 0 ? before.increment : c.increment) << c.name;
        EXPECT_EQ(c.axis == Axis::X ? s.XDivisions() : s.YDivisions(), c.storedDivisions) << c.name;
        EXPECT_EQ(r.rewrite, c.rewrittenFrom != nullptr) << c.name;
        if (c.rewrittenFrom) {
            EXPECT_EQ(r.from, c.rewrittenFrom) << c.name;
            EXPECT_EQ(r.to, c.rewrittenTo) << c.name;
        }
    }
}

TEST(AxisDialogRules, ANewXRangeFitsYToTheDataInsideIt) {
    CGraphCurve s = Screen();
    AxisFields f = AxisFieldsOf(s, Axis::X);
    f.from = "2";
    f.to = "4";
    ASSERT_EQ(StoreAxisFields(s, Axis::X, AxisFieldsOf(s, Axis::X), f).outcome,
              AxisStoreResult::Changed);
    // Y 4 .. 16 with 10 % margins, then onto the Y grid: the fit's own test has the numbers.
    EXPECT_LE(s.YRange().from, 4 - 1.2);
    EXPECT_LT(s.YRange().to, 20.01);

    // A range outside the data sets X only.
    const AxisRange y = s.YRange();
    f.from = "20";
    f.to = "30";
    ASSERT_EQ(StoreAxisFields(s, Axis::X, AxisFieldsOf(s, Axis::X), f).outcome,
              AxisStoreResult::Changed);
    EXPECT_EQ(s.XRange().from, 20);
    EXPECT_EQ(s.YRange(), y);
}

TEST(AxisDialogRules, NonPositiveLogEndsKeepTheCurrentOnes) {
    // Already logarithmic: From 0 keeps the lower end, To -5 the upper one.
    CGraphCurve s = Screen();
    s.SetXScale(1);
    s.SetXRange(0.0, 1.0, 1.0, {});  // 1 .. 10
    AxisFields shown = AxisFieldsOf(s, Axis::X);
    AxisFields f = shown;
    f.from = "0";
    f.to = "5";
    AxisStoreResult r = StoreAxisFields(s, Axis::X, shown, f);
    EXPECT_EQ(r.outcome, AxisStoreResult::Changed);
    EXPECT_EQ(s.XRange().from, 0.0);
    EXPECT_DOUBLE_EQ(s.XRange().to, std::log10(5.0));
    EXPECT_TRUE(r.rewrite);
    EXPECT_EQ(r.from, "1");
    EXPECT_EQ(r.to, "5");

    // Switching a linear axis to log with From 0: the lowest positive X.
    CGraphCurve lin = Screen();
    shown = AxisFieldsOf(lin, Axis::X);
    f = shown;
    f.log = true;
    r = StoreAxisFields(lin, Axis::X, shown, f);
    EXPECT_EQ(r.outcome, AxisStoreResult::Changed);
    EXPECT_TRUE(r.invalidPoints);  // X = 0 has no logarithm
    EXPECT_EQ(lin.XLog(), 1);
    EXPECT_EQ(lin.XRange().from, 0.0);  // log10(1)
    EXPECT_DOUBLE_EQ(lin.XRange().to, 1.0);
    EXPECT_EQ(r.from, "1");
}

TEST(AxisDialogRules, NothingShownChangedLeavesTheRecordAlone) {
    CGraphCurve s = Screen();
    // Ends that "%lg" cannot show exactly, after a zoom.
    s.SetXRange(1.23456789, 7.7777777, 0.37, {});
    s.SetXAutoGrid(1);
    const CGraphCurve before = s;
    for (const Axis axis : {Axis::X, Axis::Y}) {
        const AxisFields shown = AxisFieldsOf(s, axis);
        AxisFields f = shown;
        f.autoScale = false;
        EXPECT_EQ(StoreAxisFields(s, axis, shown, f).outcome, AxisStoreResult::Unchanged);
    }
    EXPECT_EQ(s.XRange(), before.XRange());
    EXPECT_EQ(s.YRange(), before.YRange());
    EXPECT_EQ(s.UndoStack().size(), 0u);
}

TEST(AxisDialogRules, YAutoScaleFitsTheDataOfTheXRangeShown) {
    CGraphCurve s = Screen();
    s.SetXRange(0, 5, 1, {});
    s.SetYRange(-1000, 1000, 500, {});
    const AxisFields shown = AxisFieldsOf(s, Axis::Y);
    ASSERT_TRUE(shown.autoScale);
    EXPECT_EQ(StoreAxisFields(s, Axis::Y, shown, shown).outcome, AxisStoreResult::Changed);
    EXPECT_LE(s.YRange().from, -2.5);  // 0 .. 25 with 10 % margins
    EXPECT_GE(s.YRange().to, 27.5);
}

TEST(AxisDialogRules, SetXAxisListsEveryVariableUnlessAnFftShows) {
    CGraphCurve s = Screen();
    s.SetXIndex(1);
    XVariableChoices c = XVariableChoicesOf(s);
    EXPECT_EQ(c.names, (std::vector<std::string>{"Time", "Y"}));
    EXPECT_EQ(c.selected, 1);
    EXPECT_TRUE(c.enabled);
    s.StoreScales(0, 0, 1);
    c = XVariableChoicesOf(s);
    EXPECT_TRUE(c.names.empty());
    EXPECT_FALSE(c.enabled);
}

}  // namespace
}  // namespace kurvex
