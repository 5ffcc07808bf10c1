#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "analysis/FigureRequest.h"
#include "formula/FormulaTestSupport.h"

namespace kurvex {
namespace {

// A gate V(g) of period 10 s and a current I(L) = 1 + gate over 0 .. 99 s.
CResultDataRef Converter() {
    return test::GateData(100, {"Time", "V(g)", "I(L)"});
}

TEST(FigureRequest, NumberEntriesAreOneFiniteNumberOrBlank) {
    struct Case {
        const char* text;
        bool ok;
        std::optional<double> value;
    };
    const std::vector<Case> cases = {
        {"  \t", true, std::nullopt}, {" -3e-6 ", true, -3e-6},     {"+4", true, 4.0},
        {"1,5", false, std::nullopt}, {"abc", false, std::nullopt}, {"1e999", false, std::nullopt},
    };
    for (const Case& c : cases) {
        const NumberEntry e = ParseNumberEntry(c.text);
        EXPECT_EQ(e.ok, c.ok) << '"' << c.text << '"';
        EXPECT_EQ(e.value, c.value) << '"' << c.text << '"';
    }
}

TEST(FigureRequest, CycleAverageFormulaBuildsOverColumnAndFormulaCurves) {
    const CResultDataRef d = Converter();
    CCurveEntry sum = CCurveEntry::ForFormula("I(L)+V(g)");
    ASSERT_TRUE(sum.Bind(d).ok);
    const CCurveEntry gate = CCurveEntry::ForColumn(d, 1);
    const CCurveEntry current = CCurveEntry::ForColumn(d, 2);

    EXPECT_EQ(CycleAverageFormula(current, current), "CYCAVG(I(L),I(L))");
    const std::string mixed = CycleAverageFormula(sum, gate);
    EXPECT_EQ(mixed, "CYCAVG((I(L)+V(g)),V(g))");
    // The bracketed formula is one argument: over the gate's cycles the sum averages
    // 1 + 2 * 10 * 3/10 = 7.
    CCurveEntry c = CCurveEntry::ForFormula(mixed);
    ASSERT_TRUE(c.Bind(d).ok);
    EXPECT_NEAR(c.formulaResult->Values()[50], 7.0, 1e-9);
}

TEST(FigureRequest, InputKeyMovesWithWhatTheTablesReadOnly) {
    const CResultDataRef d = Converter();
    const CGraphCurve base = test::ScreenOver(d, 0, 99, 10);
    const std::string key = FigureInputKey({&base});
    struct Case {
        const char* what;
        std::function<void(CGraphCurve&)> change;
        bool moves;
    };
    const std::vector<Case> cases = {
        {"zoom",
         [](CGraphCurve& s) {
             s.StoreX(DataExtent{0, 99}, AxisRange{10, 50, 10});
         },
         true},
        {"selection", [](CGraphCurve& s) { s.SetSelectedCurve(1); }, true},
        {"curve added", [&](CGraphCurve& s) { s.AddCurve(CCurveEntry::ForColumn(d, 1)); }, true},
        {"reloaded data", [](CGraphCurve& s) { s.SetData(Converter()); }, true},
        {"spectra shown", [](CGraphCurve& s) { s.StoreScales(0, 0, 1); }, true},
        {"colour", [](CGraphCurve& s) { s.Curve(0).colour = 0x123456; }, true},
        {"cursor moved", [](CGraphCurve& s) { s.Cursor(0).x = 42.0; }, false},
        {"Y zoomed", [](CGraphCurve& s) { s.SetYRange(-1, 1, 0, RangeFlags{}); }, false},
    };
    for (const Case& c : cases) {
        CGraphCurve changed = base;
        c.change(changed);
        EXPECT_EQ(FigureInputKey({&changed}) != key, c.moves) << c.what;
    }
}

TEST(FigureRequest, SnapshotShowingADragsRangeMeasuresWhatTheDragShows) {
    const CResultDataRef d = Converter();
    CGraphCurve top = test::ScreenOver(d, 0, 99, 10);
    CGraphCurve zoomed = test::ScreenOver(d, 0, 99, 10);
    zoomed.StoreX(DataExtent{0, 99}, AxisRange{15, 62, 10});

    std::vector<CGraphCurve> copies = SnapshotScreens({&top}, AxisRange{15, 62, 10});
    ASSERT_EQ(copies.size(), 1u);
    FigureRequest cycles;
    const FigureResult dragged = ComputeFigures({&copies[0]}, cycles);
    const FigureResult expected = ComputeFigures({&zoomed}, cycles);
    EXPECT_EQ(FigureResultText(dragged), FigureResultText(expected));
    EXPECT_NE(dragged.table.title.find("4 cycles"), std::string::npos) << dragged.table.title;
    // The screen itself keeps its range; the copy shares its samples.
    EXPECT_DOUBLE_EQ(top.XRange().from, 0.0);
    EXPECT_EQ(copies[0].Data().Get(), top.Data().Get());

    FigureRequest edges;
    edges.kind = FigureKind::kEdges;
    edges.deadFrom = CurvePlace{0, 0};
    edges.deadTo = CurvePlace{0, 1};
    const FigureResult both = ComputeFigures({&top}, edges);
    ASSERT_TRUE(both.dead);
    const std::string text = FigureResultText(both);
    EXPECT_NE(text.find("\n\nDead times between V(g) and I(L)\n"), std::string::npos) << text;
    // Nine rises at 9.5, 19.5, ... s and ten falls, each a 1 s step: 0.8 s from 10 % to 90 %.
    EXPECT_EQ(FigureRowsText(both.table).substr(0, 17), "V(g)\t0.8\t0.8\t9\t10");
}

}  // namespace
}  // namespace kurvex
