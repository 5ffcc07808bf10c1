#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

#include "data/platform/IOBuffer.h"
#include "graph/AnnotationCanvas.h"
#include "graph/GraphCurve.h"
#include "graph/GraphLine.h"

namespace kurvex {
namespace {

using test::AnnotationCanvas;
using test::UnitPaint;

// A line between two pixels of the unit paint.
CGraphLine LineAt(Point a, Point b, bool arrow = false) {
    CGraphLine line;
    line.SetFirst(a.x, 1000 - a.y);
    line.SetSecond(b.x, 1000 - b.y);
    line.SetArrow(arrow);
    return line;
}

// The start points of the strokes that end at `tip`, sorted.
std::vector<std::pair<int, int>> BarbsTo(const AnnotationCanvas& c, Point tip) {
    std::vector<std::pair<int, int>> out;
    for (const auto& l : c.lines)
        if (l.to == tip) out.push_back({l.from.x, l.from.y});
    std::sort(out.begin(), out.end());
    return out;
}

TEST(GraphLine, ArrowheadBarbsSitASixthAlongAtThirtyDegrees) {
    struct Case {
        Point p1, p2;
        std::vector<std::pair<int, int>> barbs;
    };
    // Base B = (5·P1 + P2) / 6, half-width |P1P2| · tan30° / 6, across the line.
    const Case cases[] = {
        {{100, 100}, {160, 100}, {{110, 94}, {110, 106}}},   // horizontal: w = 5.77
        {{100, 100}, {100, 160}, {{94, 110}, {106, 110}}},   // vertical
        {{100, 100}, {160, 180}, {{102, 119}, {118, 108}}},  // 60-80-100: w = 9.62
        {{400, 400}, {100, 400}, {{350, 371}, {350, 429}}},  // leftwards, length 300
    };
    for (const Case& k : cases) {
        AnnotationCanvas canvas;
        CGraphLine line = LineAt(k.p1, k.p2, true);
        line.Draw(canvas, UnitPaint());
        ASSERT_EQ(canvas.lines.size(), 3u);
        EXPECT_EQ(canvas.lines[0].from, k.p1);
        EXPECT_EQ(canvas.lines[0].to, k.p2);
        EXPECT_EQ(BarbsTo(canvas, k.p1), k.barbs) << k.p2.x << "," << k.p2.y;
    }
}

TEST(GraphLine, BoundingRectangleCoversTheBarbs) {
    AnnotationCanvas canvas;
    CGraphLine line = LineAt({100, 100}, {160, 100}, true);
    line.Draw(canvas, UnitPaint());
    EXPECT_EQ(line.BoundingRect(), (Rect{100, 94, 161, 107}));
}

TEST(GraphLine, PenStyleColourAndBlackAndWhite) {
    CGraphLine line = LineAt({10, 10}, {90, 50});
    line.SetPen({kLinePenDotted, 1, 1, MakeColour(255, 0, 0)});
    AnnotationCanvas colour, mono;
    line.Draw(colour, UnitPaint());
    ASSERT_EQ(colour.lines.size(), 1u);
    EXPECT_EQ(colour.lines[0].style, PenStyle::Dot);
    EXPECT_EQ(colour.lines[0].colour, MakeColour(255, 0, 0));
    AnnotationPaint bw = UnitPaint();
    bw.blackWhite = true;
    line.Draw(mono, bw);
    ASSERT_EQ(mono.lines.size(), 1u);
    EXPECT_EQ(mono.lines[0].colour, kRgbBlack);
}

TEST(GraphLine, NothingIsDrawnForEndsOnOnePixelAScreenThatCannotMapOrAnEndNotANumber) {
    AnnotationCanvas canvas;
    CGraphLine dot;
    dot.SetFirst(100.2, 500.1);
    dot.SetSecond(100.7, 500.6);  // the same pixel after flooring
    dot.SetArrow(1);
    dot.Draw(canvas, UnitPaint());
    EXPECT_EQ(dot.HitTest({100, 499}), kHitFirstEnd);  // still picked up by its end
    CGraphLine line = LineAt({10, 10}, {90, 50});
    AnnotationPaint empty = UnitPaint();
    empty.x = {5.0, 5.0, 0.0};
    line.Draw(canvas, empty);
    line.SetSecond(std::numeric_limits<double>::quiet_NaN(), 1.0);
    line.Draw(canvas, UnitPaint());
    EXPECT_TRUE(canvas.lines.empty());
}

TEST(GraphLine, FarEndsAreCutBeforeTheyReachTheCanvas) {
    AnnotationCanvas canvas;
    CGraphLine line;
    line.SetFirst(-1e12, 500);
    line.SetSecond(1e12, 500);
    line.Draw(canvas, UnitPaint());
    ASSERT_EQ(canvas.lines.size(), 1u);
    EXPECT_LT(canvas.lines[0].from.x, 0);
    EXPECT_GT(canvas.lines[0].from.x, -100);
    EXPECT_GT(canvas.lines[0].to.x, 1000);
    EXPECT_LT(canvas.lines[0].to.x, 1100);
    EXPECT_EQ(canvas.lines[0].from.y, 500);
}

TEST(GraphLine, PrintingWidensThickPensOnlyAndKeepsTheWindowsHitPixels) {
    CGraphLine line = LineAt({100, 100}, {300, 100});
    AnnotationCanvas screen;
    line.Draw(screen, UnitPaint());
    AnnotationPaint print = UnitPaint();
    print.printing = true;
    print.scale = 4;
    print.record = false;
    print.x = {0.0, 250.0, 10.0};  // the page maps the line elsewhere
    AnnotationCanvas paper;
    line.Draw(paper, print);
    ASSERT_EQ(paper.lines.size(), 1u);
    EXPECT_EQ(paper.lines[0].width, 1);
    EXPECT_EQ(line.PixelSecond(), (Point{300, 100}));
    line.SetPen({kLinePenSolid, 2, 2, kRgbBlack});
    line.Draw(paper, print);
    EXPECT_EQ(paper.lines.back().width, 8);
}

TEST(GraphLine, HitTestFindsEndsWithinFourPixelsThenTheBodyAlongTheLine) {
    AnnotationCanvas canvas;
    CGraphLine flat = LineAt({100, 100}, {300, 100});
    EXPECT_EQ(flat.HitTest({100, 100}), kHitNone);  // never drawn: no pixels yet
    flat.Draw(canvas, UnitPaint());
    CGraphLine steep = LineAt({100, 100}, {200, 300});
    steep.Draw(canvas, UnitPaint());
    const struct {
        const CGraphLine& line;
        Point p;
        AnnotationHit hit;
    } cases[] = {
        {flat, {104, 96}, kHitFirstEnd},   {flat, {96, 104}, kHitFirstEnd},
        {flat, {296, 104}, kHitSecondEnd}, {flat, {304, 100}, kHitSecondEnd},
        {flat, {305, 100}, kHitNone},  // past the end
        {flat, {95, 100}, kHitNone},       {flat, {105, 100}, kHitBody},
        {flat, {200, 103}, kHitBody},      {flat, {200, 97}, kHitBody},
        {flat, {200, 110}, kHitNone},      {flat, {200, 90}, kHitNone},
        {steep, {153, 200}, kHitBody},     {steep, {125, 150}, kHitBody},
        {steep, {190, 120}, kHitNone},  // inside the box, far from the line
        {steep, {110, 290}, kHitNone},     {steep, {165, 200}, kHitNone},
    };
    for (const auto& c : cases) EXPECT_EQ(c.line.HitTest(c.p), c.hit) << c.p.x << "," << c.p.y;
    EXPECT_TRUE(steep.Intersects({140, 190, 160, 210}));
    EXPECT_FALSE(steep.Intersects({170, 100, 200, 150}));
}

TEST(GraphLine, RecordRoundTripKeepsEveryField) {
    CGraphLine line;
    line.SetFirst(-1.5, 2.25e-9);
    line.SetSecond(1e300, -7.0);
    line.SetPen({kLinePenDotted, 3, 4, 0x00123456});
    line.SetArrow(1);
    CIOBuffer out;
    line.WriteRecord(out);
    ASSERT_EQ(out.Size(), CGraphLine::kRecordBytes);
    out.Rewind();
    CGraphLine back;
    ASSERT_TRUE(back.ReadRecord(out));
    EXPECT_EQ(test::Ends(back), test::Ends(line));
    EXPECT_EQ(back.Pen(), line.Pen());
    EXPECT_EQ(back.Arrow(), 1);
}

TEST(GraphLine, CorruptRecordsAreRefused) {
    CGraphLine line = LineAt({1, 2}, {3, 4}, true);
    CIOBuffer whole;
    line.WriteRecord(whole);
    for (std::size_t n = 0; n < whole.Size(); ++n) {
        CIOBuffer cut;
        cut.Assign(whole.Bytes().substr(0, n));
        CGraphLine back;
        EXPECT_FALSE(back.ReadRecord(cut)) << n << " bytes";
    }
    const auto refuses = [](double x, std::int32_t width) {
        CIOBuffer b;
        for (double v : {x, 0.0, 1.0, 1.0}) b.WriteDouble(v);
        for (std::int32_t v : {0, width, 1, 0, 0}) b.WriteInt32(v);
        b.Rewind();
        CGraphLine back;
        return !back.ReadRecord(b);
    };
    EXPECT_FALSE(refuses(0.5, 1));
    EXPECT_TRUE(refuses(std::numeric_limits<double>::infinity(), 1));
    EXPECT_TRUE(refuses(0.5, -1));
    EXPECT_TRUE(refuses(0.5, 0x7FFFFFFF));
}

}  // namespace
}  // namespace kurvex
