#include <gtest/gtest.h>

#include <memory>

#include "formula/FormulaTestSupport.h"
#include "graph/GraphCurve.h"
#include "graph/PreviousRun.h"
#include "graph/RecordingCanvas.h"
#include "graph/canvas/DashedCanvas.h"
#include "graph/render/Renderer.h"

namespace kurvex {
namespace {

using test::MakeData;
using test::RecordingCanvas;

constexpr Colour kRed = MakeColour(255, 0, 0);
constexpr Colour kFadedRed = MakeColour(255, 127, 127);

TEST(DashedCanvas, DashesRunOnAcrossLinesAndEverythingElsePassesThrough) {
    // Pieces shorter than a dash: the pattern goes on across every join.
    const std::vector<Point> path = {{0, 0}, {3, 0}, {6, 0}, {9, 0}, {12, 0}, {15, 0}};
    const std::vector<std::pair<int, int>> dashes = {{0, 3}, {3, 6}, {10, 12}, {12, 15}};
    RecordingCanvas out;
    {
        DashedCanvas dashed(out, 6, 4);
        dashed.SetPen(PenStyle::Dot, 2, kRed);
        dashed.MoveTo(path[0].x, path[0].y);
        for (size_t i = 1; i < path.size(); ++i) dashed.LineTo(path[i].x, path[i].y);
    }
    ASSERT_EQ(out.lines.size(), dashes.size());
    for (size_t i = 0; i < dashes.size(); ++i) {
        EXPECT_EQ(std::make_pair(out.lines[i].from.x, out.lines[i].to.x), dashes[i]) << i;
        EXPECT_EQ(out.lines[i].style, PenStyle::Solid);
        EXPECT_EQ(out.lines[i].width, 2);
    }
    // A slanted line: dashes measured along it.
    RecordingCanvas slant;
    {
        DashedCanvas dashed(slant, 5, 5);
        dashed.Segments({{0, 0}, {30, 40}});
        dashed.Polygon({{1, 1}, {2, 2}, {1, 2}});
    }
    ASSERT_EQ(slant.lines.size(), 5u);
    EXPECT_EQ(slant.lines[1].from, (Point{6, 8}));
    EXPECT_EQ(slant.lines[1].to, (Point{9, 12}));
    EXPECT_EQ(slant.shapes.size(), 1u);
}

// A screen of one red curve over `current`, with the previous run shown.
struct TwoRuns {
    TwoRuns(const CResultDataRef& current, const CResultDataRef& previous,
            const std::string& formula = "V") {
        model.SetData(current);
        CCurveEntry c = CCurveEntry::ForFormula(formula);
        if (formula == "V") c = CCurveEntry::ForColumn(current, 1);
        c.Bind(current);
        c.colour = kRed;
        model.AddCurve(c);
        model.UpdateExtents();
        model.SetXRange(0, 4, 1, test::kKeepRange);
        model.SetYRange(0, 40, 10, test::kKeepRange);
        run = std::make_shared<PreviousRun>(previous);
        model.ShowPreviousRun(run);
    }
    // The 600 × 400 target of the renderer's tests: plot (112, 30) to (562, 340).
    PlotRect Draw(RecordingCanvas& canvas) { return test::DrawInto(model, canvas); }
    CGraphCurve model;
    std::shared_ptr<PreviousRun> run;
};

// Index of the first line drawn in `colour`, or -1.
long FirstLineOf(const RecordingCanvas& c, Colour colour) {
    for (size_t i = 0; i < c.lines.size(); ++i)
        if (c.lines[i].colour == colour) return static_cast<long>(i);
    return -1;
}

TEST(PreviousRun, DrawnFadedAndDashedUnderTheCurvesAtItsOwnValues) {
    const CResultDataRef now = MakeData({"Time", "V"}, {{0, 1, 2, 3, 4}, {10, 10, 10, 10, 10}});
    const CResultDataRef before =
        MakeData({"time", "W", "v"}, {{0, 2, 4}, {0, 0, 0}, {30, 30, 30}});
    TwoRuns s(now, before);
    RecordingCanvas canvas;
    const PlotRect plot = s.Draw(canvas);
    const long faded = FirstLineOf(canvas, kFadedRed), red = FirstLineOf(canvas, kRed);
    ASSERT_GE(faded, 0);
    ASSERT_GE(red, 0);
    EXPECT_LT(faded, red);  // under the curve
    const PixelMap map(plot, s.model.XRange(), s.model.YRange());
    std::size_t dashes = 0;
    for (const auto& l : canvas.lines) {
        if (l.colour != kFadedRed) continue;
        ++dashes;
        EXPECT_EQ(l.from.y, map.PixelY(30));  // the previous run's V, found by name
        EXPECT_LE(l.to.x - l.from.x, 6);
    }
    EXPECT_GT(dashes, 20u);

    // The shadow follows a zoom of the screen.
    s.model.SetYRange(20, 40, 5, test::kKeepRange);
    RecordingCanvas zoomed;
    s.Draw(zoomed);
    const PixelMap map2(plot, s.model.XRange(), s.model.YRange());
    ASSERT_GE(FirstLineOf(zoomed, kFadedRed), 0);
    EXPECT_EQ(zoomed.lines[static_cast<size_t>(FirstLineOf(zoomed, kFadedRed))].from.y,
              map2.PixelY(30));
}

TEST(PreviousRun, FormulasAreComputedOnThePreviousRunAndMissingCurvesLeftOut) {
    const CResultDataRef now = MakeData({"Time", "V"}, {{0, 1, 2, 3, 4}, {1, 1, 1, 1, 1}});
    const CResultDataRef before = MakeData({"Time", "V"}, {{0, 4}, {5, 5}});
    TwoRuns s(now, before, "V*4");
    RecordingCanvas canvas;
    const PlotRect plot = s.Draw(canvas);
    const PixelMap map(plot, s.model.XRange(), s.model.YRange());
    const long faded = FirstLineOf(canvas, kFadedRed);
    ASSERT_GE(faded, 0);
    EXPECT_EQ(canvas.lines[static_cast<size_t>(faded)].from.y, map.PixelY(20));
    EXPECT_EQ(s.run->CurveOf(0), 0);

    // A previous run without the variable, or without the X variable, shows nothing.
    for (const CResultDataRef& other :
         {MakeData({"Time", "U"}, {{0, 4}, {5, 5}}), MakeData({"Step", "V"}, {{0, 4}, {5, 5}})}) {
        TwoRuns t(now, other, "V*4");
        RecordingCanvas c;
        t.Draw(c);
        EXPECT_EQ(FirstLineOf(c, kFadedRed), -1);
        EXPECT_EQ(t.run->Follow(t.model), nullptr);
    }
}

TEST(PreviousRun, ShowsThePreviousGenerationOfEveryShownRunByName) {
    CResultDataRef now = MakeData({"Time", "V"}, {{0, 4}, {1, 1}});
    CResultDataRef before = MakeData({"Time", "V"}, {{0, 4}, {5, 5}});
    const CResultDataRef nowB = MakeData({"Time", "V"}, {{0, 4}, {2, 2}});
    const CResultDataRef beforeC = MakeData({"Time", "V"}, {{0, 4}, {7, 7}});
    const CResultDataRef beforeB = MakeData({"Time", "V"}, {{0, 4}, {6, 6}});
    now->SetRunName(0, "a");
    now->AddRun(nowB.Get(), "b");
    before->SetRunName(0, "a");
    before->AddRun(beforeC.Get(), "c");  // gone since
    before->AddRun(beforeB.Get(), "b");
    TwoRuns s(now, before);
    const auto shown = [&s] {
        CGraphCurve* shadow = s.run->Follow(s.model);
        return std::vector<bool>{shadow->RunShown(0), shadow->RunShown(1), shadow->RunShown(2)};
    };
    EXPECT_EQ(shown(), (std::vector<bool>{true, true, true}));
    s.model.SetRunShown(1, false);
    EXPECT_EQ(shown(), (std::vector<bool>{true, false, false}));
    s.model.SetRunShown(1, true);
    s.model.SetRunShown(0, false);
    EXPECT_EQ(shown(), (std::vector<bool>{false, false, true}));
}

TEST(PreviousRun, FollowsLogAxesAndWaitsForItsSpectra) {
    const CResultDataRef now = MakeData({"Time", "V"}, {{1, 10, 100}, {1, 1, 1}});
    const CResultDataRef before = MakeData({"Time", "V"}, {{1, 10, 100}, {100, 100, 100}});
    TwoRuns s(now, before);
    s.model.SetYScale(1);
    s.model.SetYRange(-1, 3, 1, test::kKeepRange);
    CGraphCurve* shadow = s.run->Follow(s.model);
    ASSERT_NE(shadow, nullptr);
    EXPECT_EQ(shadow->YLog(), 1);
    EXPECT_DOUBLE_EQ(shadow->YColumn(shadow->Curve(0))->Values()[0], 2.0);  // log10 of 100

    // Showing spectra: nothing until the previous run's are stored.
    RefPtr<CResultVariable> plan(CResultVariable::Create(2));
    s.model.Frequency().xColumn = plan;
    s.model.Frequency().fftStart = 1;
    s.model.Frequency().fftEnd = 100;
    s.model.StoreScales(0, 0, 1);
    EXPECT_EQ(s.run->Follow(s.model), nullptr);
    auto job = s.run->SpectraWanted(s.model);
    ASSERT_TRUE(job.has_value());
    EXPECT_EQ(job->curves.size(), 1u);
    EXPECT_EQ(job->rows, 3);
    EXPECT_DOUBLE_EQ(job->end, 100.0);
    RefPtr<CResultVariable> freq(CResultVariable::Create(2));
    RefPtr<CResultVariable> amp(CResultVariable::Create(2));
    s.run->StoreSpectra(*job, freq, {amp});
    EXPECT_FALSE(s.run->SpectraWanted(s.model).has_value());
    shadow = s.run->Follow(s.model);
    ASSERT_NE(shadow, nullptr);
    EXPECT_EQ(shadow->XColumn().get(), freq.get());
    // Another analysis (a new plan) wants spectra of its own.
    s.model.Frequency().xColumn = RefPtr<CResultVariable>(CResultVariable::Create(2));
    EXPECT_TRUE(s.run->SpectraWanted(s.model).has_value());
}

TEST(PreviousRun, TheScreenLetsThePreviousRunGo) {
    CResultDataRef before = MakeData({"Time", "V"}, {{0, 4}, {5, 5}});
    {
        TwoRuns s(MakeData({"Time", "V"}, {{0, 4}, {1, 1}}), before);
        RecordingCanvas c;
        s.Draw(c);
        CGraphCurve copy(s.model);  // a drag's working copy shows it too
        EXPECT_EQ(copy.PreviousRunShown(), s.run.get());
        s.run.reset();
        s.model.ShowPreviousRun(nullptr);
        EXPECT_GT(before->RefCount(), 1);  // still shown by the copy
    }
    EXPECT_EQ(before->RefCount(), 1);
}

TEST(PreviousRun, AFitAfterAReloadMakesRoomForThePreviousRun) {
    const CResultDataRef now = MakeData({"Time", "V"}, {{0, 1, 2, 3, 4}, {10, 10, 10, 10, 10}});
    // Beyond the visible X (4 .. 8) the previous run's 99 does not count.
    const CResultDataRef before = MakeData({"Time", "V"}, {{0, 2, 4, 6, 8}, {30, 30, 30, 99, 99}});
    TwoRuns s(now, before);
    s.model.SetYRange(0, 12, 2, test::kKeepRange);
    EXPECT_TRUE(FitYToPreviousRun({&s.model}));
    EXPECT_LE(s.model.YRange().from, 8.0);
    EXPECT_GE(s.model.YRange().to, 32.0);
    EXPECT_LT(s.model.YRange().to, 99.0);
    EXPECT_TRUE(s.model.UndoStack().empty());
    // Already in view: nothing changes; without a previous run neither.
    EXPECT_FALSE(FitYToPreviousRun({&s.model}));
    s.model.ShowPreviousRun(nullptr);
    s.model.SetYRange(0, 12, 2, test::kKeepRange);
    EXPECT_FALSE(FitYToPreviousRun({&s.model}));
}

}  // namespace
}  // namespace kurvex
