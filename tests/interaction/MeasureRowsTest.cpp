#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>
#include <vector>

#include "formula/FormulaTestSupport.h"
#include "graph/PreviousRun.h"
#include "graph/RunColours.h"
#include "interaction/MeasureRows.h"

namespace kurvex {
namespace {

using test::MakeData;

constexpr Rgb kRed = 0x0000FF;
constexpr Rgb kBlue = 0xFF0000;
const MeasureRow kSeparator{"___", "", 0x808080};
const MeasureRow kGap{"", "", 0x808080};

// A screen titled `title` with columns 1.. of `d` as curves labelled
// "c1", "c2" ... in red, blue, red ...
CGraphCurve Screen(const CResultDataRef& d, const char* title) {
    CGraphCurve g;
    g.SetData(d);
    for (std::int32_t c = 1; c < d->VariableCount(); ++c) {
        CCurveEntry e = CCurveEntry::ForColumn(d, c);
        e.label = "c" + std::to_string(c);
        e.colour = c % 2 ? kRed : kBlue;
        g.AddCurve(e);
    }
    g.SetXTitle(title);
    return g;
}

MeasureWindowState Cursors(std::vector<CGraphCurve*> screens, int moved, double x1, double x2) {
    MeasureWindowState w;
    w.resultMode = false;
    w.movedCursor = moved;
    w.cursor1X = x1;
    w.cursor2X = x2;
    w.screens = std::move(screens);
    return w;
}

// Cursor 1's rows of X and each curve's value are in the previous run's test below.
TEST(MeasureRows, ACurveWithoutALabelIsListedByItsSource) {
    const auto d = MakeData({"Time", "V", "I"}, {{0, 1, 2, 3}, {0, 10, 20, 30}, {5, 5, 1, 1}});
    CGraphCurve g = Screen(d, "Time");
    g.Curve(1).label.clear();  // a layout file may leave it out
    EXPECT_EQ(MeasureRows(Cursors({&g}, 0, 1.5, 3.0)).back(), (MeasureRow{"I", "3", kBlue}));
}

TEST(MeasureRows, EachShownRunGetsARowAtItsOwnSamples) {
    // V = k t on run k (from 1), each at its own time step; "c" ends at 1, the last lacks V.
    const auto d = MakeData({"Time", "V"}, {{0, 1, 2, 3}, {0, 1, 2, 3}});
    d->SetRunName(0, "a");
    d->AddRun(MakeData({"Time", "V"}, {test::Ramp(6, 0.4), {0, .8, 1.6, 2.4, 3.2, 4}}).Get(), "b");
    d->AddRun(MakeData({"Time", "V"}, {test::Ramp(5, 0.25), {0, .75, 1.5, 2.25, 3}}).Get(), "c");
    d->AddRun(MakeData({"Time", "W"}, {{0, 3}, {9, 9}}).Get(), "");
    const struct {
        std::vector<std::int32_t> hidden;
        std::int32_t measured;
        int moved;
        double x1, x2;
        std::vector<const char*> values;  // the curve's, then each shown run's
    } cases[] = {
        {{}, 0, 0, 1.1, 0, {"1.1", "1.1", "2.2", "", ""}},
        {{1}, 0, 0, 1.1, 0, {"1.1", "1.1", "", ""}},
        {{}, 0, 1, 0.5, 1.0, {"0.5", "0.5", "1", "1.5", ""}},
        {{1, 2, 3}, 0, 0, 1.1, 0, {"1.1"}},  // one shown run: no run rows
        {{}, 1, 0, 1.1, 0, {"2.2", "1.1", "2.2", "", ""}},
        {{}, 2, 0, 2.5, 0, {"", "2.5", "", "", ""}},  // the measured run ends before
    };
    for (const auto& t : cases) {
        SCOPED_TRACE(testing::Message() << "measured " << t.measured << " x1 " << t.x1);
        CGraphCurve g = Screen(d, "Time");
        for (const std::int32_t k : t.hidden) g.SetRunShown(k, false);
        g.SetMeasuredRun(t.measured);
        const auto rows = MeasureRows(Cursors({&g}, t.moved, t.x1, t.x2));
        std::vector<std::string> values;
        for (auto r = std::find(rows.begin(), rows.end(), kSeparator) + 1; r < rows.end(); ++r)
            values.push_back(r->value);
        EXPECT_EQ(values, std::vector<std::string>(t.values.begin(), t.values.end()));
        // Rows name the run and take the colour it is drawn with; the last has no name.
        if (t.values.size() < 5) continue;
        EXPECT_EQ(rows.end()[-4], (MeasureRow{"c1 [a]", t.values[1], kRed}));
        EXPECT_EQ(rows.back(),
                  (MeasureRow{"c1 [run 4]", "", RunAppearance(kRed, 3, 4, 1, false).colour}));
    }
}

TEST(MeasureRows, CursorTwoShowsDifferencesAndTheFrequencyOnATimeAxis) {
    const auto d = MakeData({"Time", "V"}, {{0, 1, 2, 3}, {0, 10, 20, 40}});
    struct Case {
        const char* title;
        double x1, x2;
        const char *dx, *frequency, *dv;  // frequency null: no such row
    } cases[] = {
        {"Time", 0.5, 2.5, "2", "0.5", "25"}, {"time", 2.5, 0.5, "-2", "-0.5", "-25"},
        {"Time", 1.25, 1.25, "0", "0", "0"},  {"Times", 0.5, 2.5, "2", nullptr, "25"},
        {"", 0.5, 2.5, "2", "0.5", "25"},  // no title: the X variable's name, as the axis shows it
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        CGraphCurve g = Screen(d, c.title);
        std::vector<MeasureRow> expected = {{*c.title ? c.title : "Time", c.dx, 0}};
        if (c.frequency) expected.push_back({"Frequency", c.frequency, 0});
        expected.insert(expected.end(), {kSeparator, {"c1", c.dv, kRed}});
        EXPECT_EQ(MeasureRows(Cursors({&g}, 1, c.x1, c.x2)), expected);
    }
}

TEST(MeasureRows, InvalidValuesLeaveTheTextEmpty) {
    const auto d = MakeData({"Time", "V", "I"}, {{0, 1, 2, 3}, {0, 10, 20, 30}, {1, 2, 3, 4}});
    d->Variable(1)->Flags()[2] = kPointInvalid;
    d->Variable(2)->Flags()[0] = kPointMissing;  // missing still interpolates
    CGraphCurve g = Screen(d, "Time");
    EXPECT_EQ(MeasureRows(Cursors({&g}, 0, 1.5, 0)),
              (std::vector<MeasureRow>{
                  {"Time", "1.5", 0}, kSeparator, {"c1", "", kRed}, {"c2", "2.5", kBlue}}));
    // A difference needs a valid value at both cursors.
    EXPECT_EQ(MeasureRows(Cursors({&g}, 1, 0.5, 1.5)),
              (std::vector<MeasureRow>{{"Time", "1", 0},
                                       {"Frequency", "1", 0},
                                       kSeparator,
                                       {"c1", "", kRed},
                                       {"c2", "1", kBlue}}));
}

TEST(MeasureRows, AnXYCurveCrossedThreeTimesListsEveryValue) {
    // X goes 0 → 2 → 0 → 2: the cursor at 1 meets it three times.
    const auto d = MakeData({"X", "V", "W"}, {{0, 2, 0, 2}, {0, 10, 20, 30}, {1, 1, 1, 1}});
    d->Variable(2)->Flags()[3] = kPointInvalid;
    CGraphCurve g = Screen(d, "X");
    EXPECT_EQ(MeasureRows(Cursors({&g}, 0, 1.0, 0)),
              (std::vector<MeasureRow>{
                  {"X", "1", 0}, kSeparator, {"c1", "5, 15, 25", kRed}, {"c2", "1, 1, ", kBlue}}));
    // Touching a turning point is one place, not two.
    EXPECT_EQ(MeasureRows(Cursors({&g}, 0, 2.0, 0))[2], (MeasureRow{"c1", "10, 30", kRed}));
    // Differences take the first place of each cursor.
    EXPECT_EQ(MeasureRows(Cursors({&g}, 1, 1.0, 0.5))[2], (MeasureRow{"c1", "-2.5", kRed}));

    // What the curve was drawn along (a Nyquist curve's frequency) follows at the same places;
    // a companion the data lacks is left out.
    const auto n = MakeData({"f", "Re", "Im"}, {{1, 2, 3}, {0, 2, 4}, {5, 6, 7}});
    CGraphCurve nyquist;
    nyquist.SetData(n);
    nyquist.AddCurve(CCurveEntry::ForColumn(n, 2));
    nyquist.SetXIndex(1);
    nyquist.SetCursorCompanions({"f", "missing"});
    const std::vector<MeasureRow> rows = MeasureRows(Cursors({&nyquist}, 0, 3.0, 0));
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[2].value, "6.5");
    EXPECT_EQ(rows[3], (MeasureRow{"f", "2.5", kRgbBlack}));
    EXPECT_EQ(MeasureRows(Cursors({&nyquist}, 1, 1.0, 3.0))[3], (MeasureRow{"f", "1", kRgbBlack}));
    // Cursors moving along f stand on one point each where Re turns back.
    const auto back = MakeData({"f", "Re", "Im"}, {{1, 2, 3}, {0, 2, 0}, {5, 6, 7}});
    nyquist.SetData(back);
    EXPECT_EQ(MeasureRows(Cursors({&nyquist}, 0, 1.0, 0))[2].value, "5.5, 6.5");
    nyquist.SetCursorAlong("f");
    nyquist.Cursor(0).along = 2.5;
    EXPECT_EQ(MeasureRows(Cursors({&nyquist}, 0, 1.0, 0)),
              (std::vector<MeasureRow>{{"Re", "1", kRgbBlack},
                                       kSeparator,
                                       {"Im", "6.5", nyquist.Curve(0).colour},
                                       {"f", "2.5", kRgbBlack}}));
}

TEST(MeasureRows, ScreensAreSeparatedByGapsAndAnUnlocatedCursorEndsTheList) {
    const auto d = MakeData({"Time", "V", "I"}, {{0, 1, 2}, {0, 10, 20}, {4, 2, 0}});
    CGraphCurve top = Screen(d, "ignored");
    top.RemoveCurve(1);
    CGraphCurve bottom = Screen(d, "Time");
    bottom.RemoveCurve(0);
    const std::vector<CGraphCurve*> both = {&top, &bottom};
    EXPECT_EQ(MeasureRows(Cursors(both, 0, 0.5, 0)),
              (std::vector<MeasureRow>{
                  {"Time", "0.5", 0}, kSeparator, {"c1", "5", kRed}, kGap, {"c2", "3", kBlue}}));
    const std::vector<MeasureRow> header = {{"Time", "5", 0}, kSeparator};
    EXPECT_EQ(MeasureRows(Cursors(both, 0, 5.0, 0)), header);
    EXPECT_EQ(MeasureRows(Cursors(both, 1, 1.0, 6.0)),
              (std::vector<MeasureRow>{{"Time", "5", 0}, {"Frequency", "0.2", 0}, kSeparator}));
    EXPECT_TRUE(MeasureRows(Cursors({}, 0, 1.0, 0)).empty());
}

TEST(MeasureRows, LogAxesShowPowersOfTen) {
    const auto d = MakeData({"Hz", "G"}, {{1, 10, 100, 1000}, {1, 10, 100, 1000}});
    CGraphCurve g = Screen(d, "Hz");
    g.StoreScales(1, 1, 0);
    // Cursor positions are decades; so are the curve's samples.
    const auto rows = [](const char* v) {
        return std::vector<MeasureRow>{{"Hz", v, 0}, kSeparator, {"c1", v, kRed}};
    };
    EXPECT_EQ(MeasureRows(Cursors({&g}, 0, 2.0, 0)), rows("100"));
    EXPECT_EQ(MeasureRows(Cursors({&g}, 1, 1.0, 3.0)), rows("990"));
}

TEST(MeasureRows, RowsScrollFarEnoughToShowTheWidestValueWhole) {
    const std::tuple<int, int, MeasureColumns> cases[] = {
        {260, 50, {130, 110, 140, 990, 1000}},     // the window as made
        {260, 1500, {130, 110, 140, 1640, 1650}},  // values at many crossings
        {1400, 100, {700, 680, 710, 1390, 1400}},  // wide enough to need no scrolling
        {10, 0, {5, 0, 15, 990, 1000}},
        {260, 2147483647, {130, 110, 140, (1 << 20) - 10, 1 << 20}},
    };
    for (const auto& [visible, widest, want] : cases)
        EXPECT_EQ(MeasureColumnsFor(visible, widest), want) << visible << " " << widest;
}

TEST(MeasureRows, ResultModeShowsOneRow) {
    MeasureWindowState w;
    w.resultLabel = "V(out)";
    w.resultValue = 0.000123456789;
    w.resultColour = kBlue;
    EXPECT_EQ(MeasureRows(w), (std::vector<MeasureRow>{{"V(out)", "0.000123457", kBlue}}));
    // A new window: an empty label is a gap, so nothing shows.
    EXPECT_EQ(MeasureRows(MeasureWindowState{})[0].label, "");
}

TEST(MeasureRows, ThePreviousRunFollowsEachCurveWithItsValueAndTheChange) {
    const auto now = MakeData({"Time", "V", "I"}, {{0, 1, 2, 3}, {0, 10, 20, 30}, {5, 5, 1, 1}});
    // The previous run: other time steps, no I, and V ending before cursor 2.
    const auto before = MakeData({"Time", "V"}, {{0, 2}, {0, 16}});
    CGraphCurve g = Screen(now, "Time");
    g.ShowPreviousRun(std::make_shared<PreviousRun>(before));
    const Rgb fadedRed = FadedColour(kRed, kRgbWhite);
    EXPECT_EQ(MeasureRows(Cursors({&g}, 0, 1.5, 3.0)),
              (std::vector<MeasureRow>{{"Time", "1.5", kRgbBlack},
                                       kSeparator,
                                       {"c1", "15", kRed},
                                       {"c1 (previous)", "12 (+3)", fadedRed},
                                       {"c2", "3", kBlue}}));
    EXPECT_EQ(MeasureRows(Cursors({&g}, 1, 0.5, 1.5))[4],
              (MeasureRow{"c1 (previous)", "8 (+2)", fadedRed}));
    // Beyond the previous run's X: the row stays, without a value.
    EXPECT_EQ(MeasureRows(Cursors({&g}, 1, 0.5, 3.0))[4],
              (MeasureRow{"c1 (previous)", "", fadedRed}));
}

}  // namespace
}  // namespace kurvex
