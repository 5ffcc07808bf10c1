#include <gtest/gtest.h>

#include <algorithm>

#include "formula/FormulaTestSupport.h"
#include "graph/RecordingCanvas.h"
#include "graph/RunColours.h"
#include "graph/render/Renderer.h"

namespace kurvex {
namespace {

using test::MakeData;
using test::RecordingCanvas;

constexpr Colour kRed = MakeColour(255, 0, 0);
constexpr Colour kBlue = MakeColour(0, 0, 255);
constexpr Colour kGreen = MakeColour(0, 255, 0);

TEST(RunDrawing, ColourRuleTable) {
    struct Case {
        Rgb colour;
        std::int32_t run, runs, curves;
        bool blackWhite;
        RunLook want;
    };
    const Case cases[] = {
        // One curve: run 0 its own colour, then the new-curve palette after it.
        {kRed, 0, 3, 1, false, {kRed, 0, 0}},
        {kRed, 1, 3, 1, false, {kBlue, 0, 0}},
        {kRed, 11, 13, 1, false, {MakeColour(0, 127, 127), 0, 0}},
        {kRed, 12, 13, 1, false, {kBlue, 0, 0}},  // the own colour never comes back
        {MakeColour(0, 127, 127), 1, 2, 1, false, {kRed, 0, 0}},
        {MakeColour(1, 2, 3), 1, 2, 1, false, {kRed, 0, 0}},  // a colour not in the palette
        // Several curves: a middle colour steps lighter and darker in turn...
        {kRed, 1, 3, 2, false, {MakeColour(255, 166, 166), 0, 0}},
        {kRed, 2, 3, 2, false, {MakeColour(102, 0, 0), 0, 0}},
        // ...a dark one only lighter, a light one only darker.
        {MakeColour(0, 0, 127), 1, 3, 2, false, {MakeColour(83, 83, 169), 0, 0}},
        {MakeColour(255, 255, 0), 2, 3, 2, false, {MakeColour(102, 102, 0), 0, 0}},
        // Black and white: black, runs after the first dashed, each its own way.
        {kRed, 0, 3, 1, true, {kRgbBlack, 0, 0}},
        {kRed, 1, 3, 2, true, {kRgbBlack, 6, 4}},
        {kRed, 2, 3, 1, true, {kRgbBlack, 2, 3}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RunAppearance(c.colour, c.run, c.runs, c.curves, c.blackWhite), c.want)
            << std::hex << c.colour << std::dec << " run " << c.run << " curves " << c.curves;
    }
}

// A result of three runs of "t" and "v" (v = 1, 2, 3 by run), the last
// lacking "v" when `thirdLacksV`; runs named "a", "b", "c".
CResultDataRef ThreeRuns(bool thirdLacksV) {
    CResultDataRef data = MakeData({"t", "v"}, {{0, 2, 4, 6, 8, 10}, {1, 1, 1, 1, 1, 1}});
    CResultDataRef second = MakeData({"t", "v"}, {{0, 5}, {2, 2}});
    CResultDataRef third = MakeData({"t", thirdLacksV ? "w" : "v"},
                                    {{0, 1, 2, 3, 4, 5, 6, 7}, {3, 3, 3, 3, 3, 3, 3, 3}});
    data->SetRunName(0, "a");
    data->AddRun(second.Get(), "b");
    data->AddRun(third.Get(), "c");
    return data;
}

// Draws a screen of the runs with one red curve of "v" (or of `formula`, when
// given) and a second curve when asked, into 600 × 400.
RecordingCanvas DrawRuns(const CResultDataRef& data, bool twoCurves,
                         std::vector<std::int32_t> hidden = {}, const char* formula = nullptr) {
    CGraphCurve model;
    model.SetData(data);
    CCurveEntry c = CCurveEntry::ForColumn(data, 1);
    if (formula) {
        c = CCurveEntry::ForFormula(formula);
        EXPECT_TRUE(c.Bind(data).ok) << formula;
    }
    c.colour = kRed;
    model.AddCurve(c);
    if (twoCurves) {
        c.colour = kBlue;
        c.label = "second";
        model.AddCurve(c);
    }
    for (std::int32_t k : hidden) model.SetRunShown(k, false);
    model.UpdateExtents();
    model.SetXRange(0, 10, 2, test::kKeepRange);
    model.SetYRange(0, 4, 1, test::kKeepRange);
    RecordingCanvas canvas;
    test::DrawInto(model, canvas);
    return canvas;
}

// The lines of colour `c` inside the plot (not the legend's samples).
std::vector<RecordingCanvas::Line> CurveLines(const RecordingCanvas& canvas, Colour c) {
    std::vector<RecordingCanvas::Line> out = canvas.LinesOf(c);
    std::erase_if(out, [](const RecordingCanvas::Line& l) { return l.from.y < 30; });
    return out;
}

TEST(RunDrawing, EveryShownRunIsDrawnInItsColourAndNamedInTheLegend) {
    const RecordingCanvas all = DrawRuns(ThreeRuns(false), false);
    // Each run its own horizontal line at its own height, over its own X (the
    // plot spans pixels 112 .. 563 for X 0 .. 10).
    const std::pair<Colour, int> want[] = {{kRed, 10}, {kBlue, 5}, {kGreen, 7}};
    int lastY = 1 << 30;
    for (const auto& [colour, xEnd] : want) {
        const auto lines = CurveLines(all, colour);
        ASSERT_FALSE(lines.empty()) << std::hex << colour;
        const int y = lines.front().from.y;
        for (const auto& l : lines) EXPECT_TRUE(l.from.y == y && l.to.y == y);
        EXPECT_LT(y, lastY);  // higher values, higher up
        lastY = y;
        int right = 0;
        for (const auto& l : lines) right = std::max({right, l.from.x, l.to.x});
        EXPECT_NEAR(right, 112 + xEnd * 45.1, 2) << std::hex << colour;
    }
    for (const auto& [name, colour] : {std::pair{"a", kRed}, {"b", kBlue}, {"c", kGreen}}) {
        const auto t = std::find_if(all.texts.begin(), all.texts.end(),
                                    [&](const auto& x) { return x.text == name; });
        ASSERT_NE(t, all.texts.end()) << name;
        EXPECT_EQ(t->colour, colour) << name;
    }

    // A run that lacks the variable draws nothing for it; a hidden run is
    // neither drawn nor listed.
    const RecordingCanvas lacking = DrawRuns(ThreeRuns(true), false, {1});
    EXPECT_FALSE(CurveLines(lacking, kRed).empty());
    EXPECT_TRUE(CurveLines(lacking, kBlue).empty());
    EXPECT_TRUE(CurveLines(lacking, kGreen).empty());
    EXPECT_TRUE(std::none_of(lacking.texts.begin(), lacking.texts.end(),
                             [](const auto& t) { return t.text == "b"; }));
}

TEST(RunDrawing, AFormulaIsDrawnInEveryRunUnlessEachNameSaysItsRun) {
    // "v*1" reads each run's own v: drawn as "v" is, in every run.
    const RecordingCanvas each = DrawRuns(ThreeRuns(false), false, {}, "v*1"),
                          columns = DrawRuns(ThreeRuns(false), false);
    for (Colour c : {kRed, kBlue, kGreen})
        EXPECT_EQ(CurveLines(each, c).size(), CurveLines(columns, c).size()) << std::hex << c;
    // v - v@1 is 0 in run 1 and 1, 2 in the others: NAME@K means run K in every run.
    const RecordingCanvas differences = DrawRuns(ThreeRuns(false), false, {}, "v-v@1"),
                          ones = DrawRuns(ThreeRuns(false), false, {}, "v@1");
    ASSERT_FALSE(CurveLines(differences, kBlue).empty());
    ASSERT_FALSE(CurveLines(ones, kRed).empty());
    EXPECT_EQ(CurveLines(differences, kBlue).front().from.y, CurveLines(ones, kRed).front().from.y);
    // "v@2" is the same in every run: drawn once.
    const RecordingCanvas once = DrawRuns(ThreeRuns(false), false, {}, "v@2");
    EXPECT_FALSE(CurveLines(once, kRed).empty());
    EXPECT_TRUE(CurveLines(once, kBlue).empty());
    EXPECT_TRUE(CurveLines(once, kGreen).empty());
}

TEST(RunDrawing, SeveralCurvesKeepTheirColoursInLightnessSteps) {
    const RecordingCanvas canvas = DrawRuns(ThreeRuns(false), true);
    for (Colour c : {kRed, kBlue}) {
        for (std::int32_t k = 0; k < 3; ++k)
            EXPECT_FALSE(CurveLines(canvas, RunAppearance(c, k, 3, 2, false).colour).empty())
                << std::hex << c << " run " << k;
    }
    // The palette colours of the one-curve rule are not used.
    EXPECT_TRUE(CurveLines(canvas, kGreen).empty());
}

TEST(RunDrawing, TheAxesFitEveryShownRun) {
    CResultDataRef data = MakeData({"t", "v"}, {{0, 1, 2}, {1, 2, 3}});
    CResultDataRef wide = MakeData({"t", "v"}, {{-5, 10}, {-7, 30}});
    data->AddRun(wide.Get(), "wide");
    CGraphCurve screen = test::ScreenOver(data, 0, 2);
    screen.UpdateExtents();
    const DataExtent x = screen.XExtent(), y = screen.YExtent();
    EXPECT_LE(x.min, -5.0);
    EXPECT_GE(x.max, 10.0);
    EXPECT_LE(y.min, -7.0);
    EXPECT_GE(y.max, 30.0);
    // Fitting Y to the visible X range sees every shown run too.
    EXPECT_EQ(screen.YExtentOver(0.5, 10), (DataExtent{2, 30}));
    screen.SetRunShown(1, false);  // a hidden run no longer counts
    screen.UpdateExtents();
    EXPECT_GT(screen.XExtent().min, -5.0);
    EXPECT_LT(screen.YExtent().max, 30.0);
    EXPECT_EQ(screen.YExtentOver(0.5, 10), (DataExtent{2, 3}));
    screen.SetRunShown(0, false);
    EXPECT_EQ(screen.YExtentOver(0.5, 10), std::nullopt);
}

}  // namespace
}  // namespace kurvex
