#include <gtest/gtest.h>

#include "formula/FormulaTestSupport.h"
#include "graph/CurveEdit.h"
#include "graph/ViewLayout.h"

namespace kurvex {
namespace {

using test::MakeData;

std::vector<CurveEditRecord> WithPaletteColours(const std::vector<int>& indices) {
    std::vector<CurveEditRecord> shown;
    for (const int i : indices) {
        CurveEditRecord r;
        r.name = "V" + std::to_string(shown.size());
        r.colour = kNewCurvePalette[static_cast<std::size_t>(i)];
        shown.push_back(r);
    }
    return shown;
}

TEST(CurveEdit, NextColourSearchesFromTheCountThenFromTheStart) {
    struct Case {
        std::vector<int> shown;
        int expected;
    };
    const Case cases[] = {
        {{}, 0},
        {{0, 1}, 2},
        {{0, 2}, 3},                                     // starts at n = 2, which is taken
        {{2, 3, 4, 5, 6, 7, 8, 9, 10, 11}, 0},           // n = 10 on are taken: from the start
        {{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 3}, 1},  // all taken: palette[13 mod 12]
    };
    for (const Case& c : cases) {
        const Rgb got = NextCurveColour(WithPaletteColours(c.shown));
        EXPECT_EQ(got, kNewCurvePalette[static_cast<std::size_t>(c.expected)])
            << "with " << c.shown.size() << " shown";
    }
}

TEST(CurveEdit, AvailableListLeavesOutTimeOnlyAsFirstVariableAndSortsIgnoringCase) {
    const auto data =
        MakeData({"TIME", "b", "A", "time", "a"}, {{0, 1}, {0, 1}, {0, 1}, {0, 1}, {0, 1}});
    EXPECT_EQ(AvailableVariables(*data.Get()), (std::vector<std::int32_t>{2, 4, 1, 3}));
    const auto freq = MakeData({"Freq", "amp"}, {{0, 1}, {0, 1}});
    EXPECT_EQ(AvailableVariables(*freq.Get()), (std::vector<std::int32_t>{1, 0}));
}

TEST(CurveEdit, AddingVariablesTakesPaletteColoursInOrderAndSkipsShownNames) {
    const auto data = MakeData({"Time", "A", "B", "C"}, {{0, 1}, {1, 2}, {3, 4}, {5, 6}});
    std::vector<CurveEditRecord> shown;
    EXPECT_EQ(AddVariables(shown, *data.Get(), {1, 2, 3}), 3);
    ASSERT_EQ(shown.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(shown[i].colour, kNewCurvePalette[i]);
        EXPECT_EQ(shown[i].source, static_cast<std::int32_t>(i) + 1);
        EXPECT_EQ(shown[i].label, shown[i].name);
        EXPECT_EQ(shown[i].origin, -1);
    }
    EXPECT_EQ(shown[2].name, "C");
    EXPECT_EQ(AddVariables(shown, *data.Get(), {2, 7, -1}), 0);
    EXPECT_EQ(shown.size(), 3u);
}

TEST(CurveEdit, FormulaAddIsCheckedByTheEngine) {
    const auto data = MakeData({"Time", "A"}, {{0, 1, 2}, {1, 2, 3}});
    std::vector<CurveEditRecord> shown;
    struct Case {
        std::string text;
        FormulaAddOutcome outcome;
        std::string message;
        std::int32_t position;
    };
    const Case cases[] = {
        {"A*2", FormulaAddOutcome::Added, "", 0},
        {"A*2", FormulaAddOutcome::AlreadyShown, "", 0},
        {"a*2", FormulaAddOutcome::Added, "", 0},  // not the same text
        {"A>0", FormulaAddOutcome::Rejected, "Invalid entry.", 1},
    };
    for (const Case& c : cases) {
        const FormulaAddResult r = AddFormula(shown, data, c.text);
        EXPECT_EQ(r.outcome, c.outcome) << c.text;
        EXPECT_EQ(r.error.message, c.message) << c.text;
        EXPECT_EQ(r.error.position, c.position) << c.text;
    }
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[1].kind, kEditFormula);
    EXPECT_EQ(shown[1].source, -1);
    EXPECT_EQ(shown[1].colour, kNewCurvePalette[1]);
    // The engine counts positions in the trimmed text.
    EXPECT_EQ(FormulaErrorOffset("  A>0 ", 1), 3u);
    EXPECT_EQ(FormulaErrorOffset("A", 7), 1u);
}

TEST(CurveEdit, RemovingGivesBackTheTopmostRemovedFormula) {
    std::vector<CurveEditRecord> shown = {NewFormulaRecord("A+1", 0), NewFormulaRecord("A+2", 0),
                                          NewFormulaRecord("A+3", 0), NewFormulaRecord("A+4", 0)};
    shown[0].kind = kEditVariable;
    EXPECT_EQ(RemoveCurves(shown, {3, 1, 0, 3}), std::optional<std::string>("A+2"));
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].name, "A+3");
    shown[0].kind = kEditVariable;
    EXPECT_EQ(RemoveCurves(shown, {0, 5}), std::nullopt);
    EXPECT_TRUE(shown.empty());
}

TEST(CurveEdit, FormulaPiecesAreAppendedWithoutBlanks) {
    EXPECT_EQ(AppendToFormula(" A + B ", "SQRT("), "A+BSQRT(");
    EXPECT_EQ(AppendToFormula("", "V(OUT)"), "V(OUT)");
}

TEST(CurveEdit, CurvesPageChoicesStoreThicknessAndConnect) {
    struct Case {
        std::int32_t choice;
        std::int32_t thickness;
        std::int32_t connect;
    };
    for (const Case c : {Case{0, 0, 0}, Case{3, 3, 1}, Case{1, 1, 1}}) {
        CurveEditRecord r;
        StoreCurveChoices(r, "lbl", 0x123456, c.choice, 2);
        EXPECT_EQ(r.thickness, c.thickness);
        EXPECT_EQ(r.connect, c.connect);
        EXPECT_EQ(ThicknessChoiceOf(r), c.choice);
    }
    CurveEditRecord odd;
    odd.thickness = 40;  // from a hand-edited settings file
    EXPECT_EQ(ThicknessChoiceOf(odd), 6);
}

TEST(CurveEdit, ApplyingKeepsKeptCurvesAndBuildsNewOnes) {
    const auto data = MakeData({"Time", "A", "B"}, {{0, 1, 2}, {1, 2, 3}, {-5, 0, 5}});
    CGraphCurve screen;
    screen.SetData(data);
    CCurveEntry formula = CCurveEntry::ForFormula("A*10");
    ASSERT_TRUE(formula.Bind(data).ok);
    formula.bandScale = 3.0;
    screen.AddCurve(CCurveEntry::ForColumn(data, 1));
    screen.AddCurve(formula);
    screen.SetSelectedCurve(1);
    screen.UpdateExtents();
    const CResultVariable* built = screen.Curve(1).formulaResult.get();

    std::vector<CurveEditRecord> records = CurveEditRecordsOf(screen);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1].kind, kEditFormula);
    EXPECT_EQ(records[1].origin, 1);
    records.erase(records.begin());  // A goes
    records[0].label = "ten A";
    ASSERT_EQ(AddVariables(records, *data.Get(), {2}), 1);
    ASSERT_EQ(AddFormula(records, data, "B+100").outcome, FormulaAddOutcome::Added);

    EXPECT_FALSE(ApplyCurveEdits(screen, records));
    ASSERT_EQ(screen.CurveCount(), 3);
    EXPECT_EQ(screen.Curve(0).formulaResult.get(), built);  // not built again
    EXPECT_EQ(screen.Curve(0).bandScale, 3.0);
    EXPECT_EQ(screen.Curve(0).label, "ten A");
    EXPECT_EQ(screen.SelectedCurve(), 0);  // the selection follows its curve
    EXPECT_EQ(screen.Curve(1).formula, "B");
    EXPECT_EQ(screen.Curve(1).columnIndex, 2);
    EXPECT_EQ(screen.Curve(1).colour, records[1].colour);
    ASSERT_TRUE(screen.Curve(2).formulaResult);
    EXPECT_EQ(screen.Curve(2).formulaResult->Values()[2], 105.0);
    EXPECT_EQ(screen.YExtent(), (DataExtent{-5, 105}));  // over the new curves

    // A formula that no longer fits the data is left out, not kept empty.
    std::vector<CurveEditRecord> stale = {NewFormulaRecord("GONE+1", 0)};
    ApplyCurveEdits(screen, stale);
    EXPECT_EQ(screen.CurveCount(), 0);
    EXPECT_EQ(screen.SelectedCurve(), -1);
}

TEST(CurveEdit, SharedDisplayGoesToTheScreenWithItsFontMeasured) {
    struct FixedMeasure : TextMeasure {
        TextSize Measure(const GraphFont& f, const std::string& t) const override {
            return {static_cast<std::int32_t>(t.size()) * 8, f.height + 1};
        }
    } measure;
    CGraphCurve screen;
    SharedDisplay d = SharedDisplayOf(screen);
    EXPECT_EQ(d.grid, kRgbGrey);
    d.background = 0x010203;
    d.gridShown = 0;
    d.hideAxisText = 1;
    d.font.faceName = "Courier";
    d.font.height = 20;
    ApplySharedDisplay(screen, d, &measure);
    EXPECT_EQ(SharedDisplayOf(screen), d);
    EXPECT_EQ(screen.Metrics(), (CharMetrics{80, 21}));
}

TEST(CurveEdit, ChosenFontKeepsTheHeightKindAndCutsLongFacesWhole) {
    GraphFont cell;
    cell.charSet = 2;
    GraphFont character = cell;
    character.height = -12;
    const GraphFont a = ChosenFont(cell, "Liberation Sans", 20, 700, true);
    EXPECT_EQ(a.height, 20);
    EXPECT_EQ(a.weight, 700);
    EXPECT_EQ(a.italic, 1);
    EXPECT_EQ(a.charSet, 2);
    EXPECT_EQ(a.faceName, "Liberation Sans");
    EXPECT_EQ(ChosenFont(character, "X", 20, 400, false).height, -20);
    // 30 ASCII bytes then a two-byte letter: the letter would be cut in half.
    const std::string face = std::string(30, 'a') + "\xC3\xA9z";
    EXPECT_EQ(ChosenFont(cell, face, 0, 400, false).faceName, std::string(30, 'a'));
    EXPECT_EQ(ChosenFont(cell, face, 0, 400, false).height, 1);
}

}  // namespace
}  // namespace kurvex
