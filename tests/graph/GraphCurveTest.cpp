#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "formula/FormulaTestSupport.h"
#include "graph/GraphCurve.h"

namespace kurvex {
namespace {

using test::MakeData;

class NoteAnnotation : public CGraphAnnotation {
public:
    AnnotationType Type() const override { return kAnnotationText; }
};

// A screen with a column curve and two formula curves.
CGraphCurve ThreeCurveScreen(const CResultDataRef& data) {
    CGraphCurve g = test::ScreenOver(data, 0, 2);
    for (const char* text : {"V*2", "V+1"}) {
        CCurveEntry c = CCurveEntry::ForFormula(text);
        EXPECT_TRUE(c.Bind(data).ok);
        c.colour = 0x0000FF;
        g.AddCurve(c);
    }
    return g;
}

TEST(GraphCurve, CopySharesColumnsAndLeavesUndoAndAnnotationsBehind) {
    const CResultDataRef data = MakeData({"Time", "V"}, {{0, 1, 2}, {1, 2, 3}});
    CGraphCurve src = ThreeCurveScreen(data);
    src.PushUndo(kUndoZoom);
    src.AddAnnotation(std::make_unique<NoteAnnotation>());
    src.LegendRects().push_back({1, 2, 3, 4});
    src.Cursor(1) = MeasureCursor{1, 0.5, 1, 2.5};
    src.SetXTitle("t");
    src.Frequency().xColumn = RefPtr<CResultVariable>(CResultVariable::Create(4));

    const CGraphCurve copy(src);
    ASSERT_EQ(copy.CurveCount(), 3);
    for (std::int32_t i = 0; i < 3; ++i) EXPECT_NE(&copy.Curve(i), &src.Curve(i));
    EXPECT_EQ(copy.Curve(1).formulaResult.get(), src.Curve(1).formulaResult.get());
    EXPECT_EQ(src.Curve(1).formulaResult->RefCount(), 2);
    EXPECT_EQ(copy.Data().Get(), data.Get());
    EXPECT_EQ(copy.Cursor(1), src.Cursor(1));
    EXPECT_EQ(copy.XTitle(), "t");
    EXPECT_EQ(copy.Frequency().xColumn.get(), src.Frequency().xColumn.get());
    EXPECT_TRUE(copy.UndoStack().empty());
    EXPECT_TRUE(copy.Annotations().empty());
    EXPECT_TRUE(copy.LegendRects().empty());
}

TEST(GraphCurve, AssignmentKeepsTargetsUndoStackAndAnnotations) {
    const CResultDataRef data = MakeData({"Time", "V"}, {{0, 1, 2}, {1, 2, 3}});
    CGraphCurve screen = ThreeCurveScreen(data);
    screen.SetXRange(0, 2, 0, {});
    screen.PushUndo(kUndoWheel);
    CGraphAnnotation* note = screen.AddAnnotation(std::make_unique<NoteAnnotation>());
    screen.AnnotationSelection().push_back(note);

    // A drag tool's working copy changes the range and comes back.
    CGraphCurve work(screen);
    work.SetXRange(0.5, 1.5, 0, {});
    work.SetBackground(0x123456);
    screen = work;

    EXPECT_EQ(screen.XRange(), work.XRange());
    EXPECT_EQ(screen.Background(), 0x123456u);
    ASSERT_EQ(screen.UndoStack().size(), 1u);
    EXPECT_EQ(screen.LastUndoKind(), kUndoWheel);
    ASSERT_EQ(screen.Annotations().size(), 1u);
    EXPECT_EQ(screen.Annotations()[0].get(), note);
    ASSERT_EQ(screen.AnnotationSelection().size(), 1u);
    EXPECT_EQ(screen.CurveCount(), 3);
    EXPECT_EQ(screen.Curve(1).formulaResult->RefCount(), 2);  // screen and work

    screen = screen;  // self-assignment keeps everything
    EXPECT_EQ(screen.CurveCount(), 3);
}

TEST(CurveEntry, FormulaCurveKeepsItsBuiltVariable) {
    const CResultDataRef data = MakeData({"Time", "V"}, {{0, 1, 2}, {4, -1, 9}});
    CCurveEntry c = CCurveEntry::ForFormula("sqrt(v)");
    EXPECT_EQ(c.label, "sqrt(v)");
    const CurveBindResult r = c.Bind(data);
    ASSERT_TRUE(r.ok);
    EXPECT_TRUE(r.invalidPoints);  // the square root of -1
    ASSERT_TRUE(c.formulaResult);
    EXPECT_EQ(c.formulaResult->Kind(), kVariableFormula);
    EXPECT_NE(c.formulaResult->Formula(), nullptr);
    EXPECT_EQ(c.formulaResult->Values()[2], 3.0);
    EXPECT_EQ(c.formulaResult->Flags()[1], kPointInvalid);
}

TEST(CurveEntry, RejectedFormulaLeavesTheCurveAsItWas) {
    const CResultDataRef data = MakeData({"Time", "V"}, {{0, 1, 2}, {4, 1, 9}});
    CCurveEntry c = CCurveEntry::ForFormula("V+1");
    ASSERT_TRUE(c.Bind(data).ok);
    CResultVariable* before = c.formulaResult.get();
    c.formula = "V+";
    const CurveBindResult r = c.Bind(data);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error.message, "Invalid formula.");
    EXPECT_EQ(c.formulaResult.get(), before);
}

TEST(CurveEntry, ColumnCurveFindsItsColumnByNameIgnoringCase) {
    const CResultDataRef first = MakeData({"Time", "I1", "V1"}, {{0, 1}, {0, 0}, {1, 1}});
    CCurveEntry c = CCurveEntry::ForColumn(first, 2);
    EXPECT_EQ(c.formula, "V1");
    EXPECT_EQ(c.label, "V1");
    const CResultDataRef reloaded = MakeData({"Time", "v1", "I1"}, {{0, 1}, {1, 1}, {0, 0}});
    ASSERT_TRUE(c.Bind(reloaded).ok);
    EXPECT_EQ(c.columnIndex, 1);
    const CResultDataRef gone = MakeData({"Time", "I1"}, {{0, 1}, {0, 0}});
    EXPECT_FALSE(c.Bind(gone).ok);
    EXPECT_EQ(c.columnIndex, 1);
}

TEST(GraphCurve, RemovingCurvesClearsASelectionThatNoLongerExists) {
    const CResultDataRef data = MakeData({"Time", "V"}, {{0, 1}, {1, 2}});
    CGraphCurve g = ThreeCurveScreen(data);
    g.SetSelectedCurve(2);
    g.RemoveCurve(0);
    EXPECT_EQ(g.SelectedCurve(), -1);
    EXPECT_EQ(g.CurveCount(), 2);
    EXPECT_EQ(g.Curve(0).formula, "V*2");
    g.SetSelectedCurve(0);
    g.RemoveCurve(5);  // no such curve
    EXPECT_EQ(g.CurveCount(), 2);
    EXPECT_EQ(g.SelectedCurve(), 0);
}

TEST(GraphCurve, RemovedAnnotationLeavesTheSelection) {
    CGraphCurve g;
    CGraphAnnotation* a = g.AddAnnotation(std::make_unique<NoteAnnotation>());
    CGraphAnnotation* b = g.AddAnnotation(std::make_unique<NoteAnnotation>());
    g.AnnotationSelection() = {a, b};
    g.RemoveAnnotation(0);
    ASSERT_EQ(g.Annotations().size(), 1u);
    EXPECT_EQ(g.Annotations()[0].get(), b);
    ASSERT_EQ(g.AnnotationSelection().size(), 1u);
    EXPECT_EQ(g.AnnotationSelection()[0], b);
}

TEST(GraphCurve, ClearForLoadEmptiesCurvesAnnotationsAndCursors) {
    const CResultDataRef data = MakeData({"Time", "V"}, {{0, 1}, {1, 2}});
    CGraphCurve g = ThreeCurveScreen(data);
    g.AddAnnotation(std::make_unique<NoteAnnotation>());
    g.Cursor(0).shown = 1;
    g.SetSelectedCurve(1);
    g.SetBackground(0x00FF00);
    g.ClearForLoad();
    EXPECT_EQ(g.CurveCount(), 0);
    EXPECT_TRUE(g.Annotations().empty());
    EXPECT_EQ(g.Cursor(0).shown, 0);
    EXPECT_EQ(g.SelectedCurve(), -1);
    EXPECT_EQ(g.Background(), 0x00FF00u);  // settings stay
}

TEST(GraphCurve, AnXIndexPastTheColumnsNamesNoVariable) {
    CGraphCurve g;
    g.SetData(MakeData({"Time", "Freq"}, {{0, 1}, {1, 2}}));
    g.SetXIndex(7);
    EXPECT_EQ(g.XVariableName(), "");
}

}  // namespace
}  // namespace kurvex
