#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formula/FormulaTestSupport.h"
#include "graph/RecordingCanvas.h"
#include "graph/render/Renderer.h"

namespace kurvex {
namespace {

using test::RecordingCanvas;

// The labels of each axis a draw wrote, in drawing order, and how many grid
// lines of each direction it drew.
struct Axes {
    std::vector<RecordingCanvas::Text> x, y;
    int verticalGrid = 0, horizontalGrid = 0;
};

// Draws a bottom screen of `width` x `height` pixels over X 0 .. 100 and Y 0 .. 30
// with the given grid steps (the recording canvas makes each character 7 x 15).
Axes Draw(int width, int height, double xStep, double yStep) {
    const CResultDataRef data =
        test::MakeData({"Time", "v"}, {test::Ramp(101, 1.0), test::Ramp(101, 0.3)});
    CGraphCurve g = test::ScreenOver(data, 0, 100);
    g.UpdateExtents();
    g.SetXRange(0, 100, xStep, test::kKeepRange);
    g.SetYRange(0, 30, yStep, test::kKeepRange);
    RecordingCanvas canvas;
    const PlotRect p = test::DrawInto(g, canvas, width, height);
    Axes a;
    for (const RecordingCanvas::Text& t : canvas.texts) {
        if (t.at.x + 7 * static_cast<int>(t.text.size()) <= p.left && t.at.y < p.bottom)
            a.y.push_back(t);
        else if (t.at.y >= p.bottom && t.at.y < p.bottom + 2 * 15)
            a.x.push_back(t);
    }
    for (const RecordingCanvas::Line& l : canvas.lines) {
        if (l.style != PenStyle::Dot) continue;
        a.verticalGrid += l.from.x == l.to.x;
        a.horizontalGrid += l.from.y == l.to.y;
    }
    return a;
}

// The texts, separated by blanks.
std::string Joined(const std::vector<RecordingCanvas::Text>& texts) {
    std::string s;
    for (const auto& t : texts) s += (s.empty() ? "" : " ") + t.text;
    return s;
}

bool Overlap(const RecordingCanvas::Text& a, const RecordingCanvas::Text& b) {
    const int aw = 7 * static_cast<int>(a.text.size()), bw = 7 * static_cast<int>(b.text.size());
    return a.at.x < b.at.x + bw && b.at.x < a.at.x + aw && a.at.y < b.at.y + 15 &&
           b.at.y < a.at.y + 15;
}

TEST(TickLabels, CrowdedLabelsAreLeftOutButEveryGridLineStays) {
    const std::string tens = "0.0 10.00 20.00 30.00 40.00 50.00 60.00 70.00 80.00 90.00 100.00";
    struct Case {
        const char* name;
        int width, height;
        double xStep, yStep;
        std::string x, y;
    };
    const Case cases[] = {
        // A plot 60 pixels high: labels 10 pixels apart, 15 high.
        {"short", 600, 150, 20, 5, "0.0 20.00 40.00 60.00 80.00 100.00", "0.0 10.00 20.00 30.00"},
        // A plot 451 pixels wide: labels 22.5 pixels apart, up to 42 wide.
        {"narrow", 600, 400, 5, 5, tens, "0.0 5.00 10.00 15.00 20.00 25.00 30.00"},
        {"roomy", 900, 400, 10, 10, tens, "0.0 10.00 20.00 30.00"},
        // Labels 36 pixels apart: one that would leave less than a digit's width
        // (7 pixels) free after the one drawn before it is left out.
        {"tight", 600, 400, 8, 10, "0.0 8.00 24.00 40.00 56.00 72.00 88.00",
         "0.0 10.00 20.00 30.00"},
    };
    for (const Case& c : cases) {
        const Axes a = Draw(c.width, c.height, c.xStep, c.yStep);
        EXPECT_EQ(Joined(a.x), c.x) << c.name;
        EXPECT_EQ(Joined(a.y), c.y) << c.name;
        EXPECT_EQ(a.verticalGrid, static_cast<int>(100 / c.xStep) + 1) << c.name;
        EXPECT_EQ(a.horizontalGrid, static_cast<int>(30 / c.yStep) + 1) << c.name;
        for (const auto* texts : {&a.x, &a.y})
            for (std::size_t i = 1; i < texts->size(); ++i)
                EXPECT_FALSE(Overlap((*texts)[i - 1], (*texts)[i]))
                    << c.name << ": " << (*texts)[i - 1].text << " and " << (*texts)[i].text;
    }
}

}  // namespace
}  // namespace kurvex
