#include <gtest/gtest.h>

#include <limits>

#include "data/platform/IOBuffer.h"
#include "graph/AnnotationCanvas.h"
#include "graph/FontRecord.h"
#include "graph/GraphText.h"

namespace kurvex {
namespace {

using test::AnnotationCanvas;
using test::UnitPaint;

// The recording canvas measures 7 × 15 pixels a character.
CGraphText TextAt(double x, double y, const std::string& text, std::int32_t justification,
                  bool vertical = false) {
    CGraphText t;
    t.SetAnchor(x, y);
    t.SetTextUtf8(text);
    t.SetJustification(justification);
    t.SetVertical(vertical);
    return t;
}

TEST(GraphText, TheJustificationPlacesTheBoxAroundTheAnchorAndAlignsItsLines) {
    struct Case {
        std::int32_t justification;
        Rect box;
        int shortLineX;
    };
    // "ab" (14) over "abcd" (28): the box is 28 × 30; the anchor is pixel (500, 500).
    const Case cases[] = {
        {kJustifyCenter, {486, 485, 514, 515}, 493},
        {kJustifyLeft, {500, 485, 528, 515}, 500},
        {kJustifyRight, {472, 485, 500, 515}, 486},
        {kJustifyLeftBottom, {500, 470, 528, 500}, 500},
    };
    for (const Case& k : cases) {
        AnnotationCanvas canvas;
        CGraphText t = TextAt(500, 500, "ab\r\nabcd", k.justification);
        t.Draw(canvas, UnitPaint());
        EXPECT_EQ(t.BoundingRect(), k.box) << k.justification;
        ASSERT_EQ(canvas.texts.size(), 2u);
        EXPECT_EQ(canvas.texts[0].text, "ab");
        EXPECT_EQ(canvas.texts[0].at, (Point{k.shortLineX, k.box.top})) << k.justification;
        EXPECT_EQ(canvas.texts[1].at, (Point{k.box.left, k.box.top + 15})) << k.justification;
        ASSERT_FALSE(canvas.fills.empty());
        EXPECT_EQ(canvas.fills[0].rect, k.box);
    }
    AnnotationCanvas canvas;
    CGraphText bare = TextAt(500, 500, "a\nb\rc", kJustifyLeft);
    bare.Draw(canvas, UnitPaint());
    EXPECT_EQ(canvas.texts.size(), 3u);
}

TEST(GraphText, VerticalTextSwapsTheBoxAndReadsUpwards) {
    struct Case {
        std::int32_t justification;
        Rect box;
        Point shortLine, longLine;
    };
    // "ab" over "abcd" measures 28 × 30; turned, the box is 30 wide, 28 high.
    const Case cases[] = {
        {kJustifyCenter, {485, 486, 515, 514}, {485, 507}, {500, 514}},
        {kJustifyLeft, {500, 486, 530, 514}, {500, 514}, {515, 514}},
        {kJustifyRight, {470, 486, 500, 514}, {470, 500}, {485, 514}},
        {kJustifyLeftBottom, {500, 472, 530, 500}, {500, 500}, {515, 500}},
    };
    for (const Case& k : cases) {
        AnnotationCanvas canvas;
        CGraphText t = TextAt(500, 500, "ab\nabcd", k.justification, true);
        t.Draw(canvas, UnitPaint());
        EXPECT_EQ(t.BoundingRect(), k.box) << k.justification;
        EXPECT_TRUE(canvas.texts.empty());
        ASSERT_EQ(canvas.turned.size(), 2u);
        EXPECT_EQ(canvas.turned[0].at, k.shortLine) << k.justification;
        EXPECT_EQ(canvas.turned[1].at, k.longLine) << k.justification;
    }
}

TEST(GraphText, PrintingMultipliesTheFontHeightByTheScale) {
    CGraphText t = TextAt(500, 500, "abcd", kJustifyCenter);
    AnnotationPaint print = UnitPaint();
    print.printing = true;
    print.scale = 3;
    EXPECT_EQ(t.DrawingFont(print).height, -36);
    AnnotationCanvas paper;
    t.Draw(paper, print);
    ASSERT_EQ(paper.fonts.size(), 1u);
    EXPECT_EQ(paper.fonts[0].height, 36);
    AnnotationPaint screen = UnitPaint();
    screen.scale = 3;  // a scale without printing leaves the font alone
    EXPECT_EQ(t.DrawingFont(screen).height, -12);
}

TEST(GraphText, ColoursAndBlackAndWhite) {
    CGraphText t = TextAt(500, 500, "abcd", kJustifyCenter);
    t.SetColour(MakeColour(0, 0, 255));
    AnnotationPaint paint = UnitPaint();
    paint.background = MakeColour(1, 2, 3);
    AnnotationCanvas colour;
    t.Draw(colour, paint);
    ASSERT_EQ(colour.texts.size(), 1u);
    EXPECT_EQ(colour.texts[0].colour, MakeColour(0, 0, 255));
    EXPECT_EQ(colour.fills[0].colour, MakeColour(1, 2, 3));
    paint.blackWhite = true;
    AnnotationCanvas mono;
    t.Draw(mono, paint);
    EXPECT_EQ(mono.texts[0].colour, kRgbBlack);
    EXPECT_EQ(mono.fills[0].colour, kRgbWhite);
}

TEST(GraphText, ZoomMovesTheTextWithItsDataPointButKeepsItsSize) {
    CGraphText t = TextAt(1.0, 2.0, "abcd", kJustifyLeftBottom);
    AnnotationPaint paint = UnitPaint();
    paint.x = {0.0, 10.0, 1.0};
    paint.y = {0.0, 10.0, 1.0};
    AnnotationCanvas canvas;
    t.Draw(canvas, paint);
    EXPECT_EQ(t.BoundingRect(), (Rect{100, 785, 128, 800}));
}

TEST(GraphText, HitTestMeetsTheBoxWithinTwoPixels) {
    CGraphText t = TextAt(500, 500, "abcd", kJustifyCenter);  // box 486..513 × 493..507
    EXPECT_EQ(t.HitTest({500, 500}), kHitNone);               // not drawn yet
    AnnotationCanvas canvas;
    t.Draw(canvas, UnitPaint());
    EXPECT_EQ(t.HitTest({500, 500}), kHitBody);
    EXPECT_EQ(t.HitTest({515, 500}), kHitBody);
    EXPECT_EQ(t.HitTest({516, 500}), kHitNone);
    EXPECT_EQ(t.HitTest({484, 491}), kHitBody);
    EXPECT_EQ(t.HitTest({483, 500}), kHitNone);
    EXPECT_EQ(t.HitTest({500, 510}), kHitNone);
    EXPECT_TRUE(t.Intersects({0, 0, 487, 494}));
    EXPECT_FALSE(t.Intersects({0, 0, 486, 1000}));
}

TEST(GraphText, Utf8AndUtf16Agree) {
    CGraphText t;
    t.SetTextUtf8("A\xCE\xA9\xE2\x89\x88\xF0\x9D\x84\x9E");  // A Ω ≈ and a clef beyond 16 bits
    EXPECT_EQ(t.Text(), (std::u16string{u'A', 0x03A9, 0x2248, 0xD834, 0xDD1E}));
    EXPECT_EQ(t.TextUtf8(), "A\xCE\xA9\xE2\x89\x88\xF0\x9D\x84\x9E");
    t.SetTextUtf8("a\xFF\xC3");  // a stray byte and a cut sequence
    EXPECT_EQ(t.Text(), (std::u16string{u'a', 0xFFFD, 0xFFFD}));
    t.SetText(std::u16string{u'x', 0xD800});
    EXPECT_EQ(t.TextUtf8(), "x\xEF\xBF\xBD");
}

CGraphText FullText() {
    CGraphText t = TextAt(-3.5, 1e-12, "line one\r\n\xCE\xA9 two", kJustifyLeftBottom, true);
    GraphFont f;
    f.height = -17;
    f.width = 3;
    f.weight = 700;
    f.italic = 1;
    f.underline = 1;
    f.charSet = 2;
    f.pitchAndFamily = 0x22;
    f.faceName = "DejaVu Sans";
    t.SetFont(f);
    t.SetColour(0x00ABCDEF);
    return t;
}

TEST(GraphText, RecordRoundTripKeepsEveryField) {
    const CGraphText t = FullText();
    CIOBuffer out;
    t.WriteRecord(out);
    const std::size_t chars = t.Text().size();
    ASSERT_EQ(out.Size(), 4 + 4 + 2 * chars + 2 + 16 + 12 + 4 + kFontRecordBytes);
    out.Rewind();
    EXPECT_EQ(out.ReadInt32(), static_cast<std::int32_t>(chars));
    EXPECT_EQ(out.ReadInt32(), static_cast<std::int32_t>(2 * chars + 2));
    out.Rewind();
    CGraphText back;
    ASSERT_TRUE(back.ReadRecord(out));
    EXPECT_EQ(back.Text(), t.Text());
    EXPECT_EQ(back.X(), -3.5);
    EXPECT_EQ(back.Y(), 1e-12);
    EXPECT_EQ(back.Justification(), kJustifyLeftBottom);
    EXPECT_EQ(back.Vertical(), 1);
    EXPECT_EQ(back.Colour(), 0x00ABCDEFu);
    EXPECT_EQ(back.Font(), t.Font());
}

TEST(GraphText, AnEmptyTextRecordHasNoTextBytes) {
    CGraphText t;
    CIOBuffer out;
    t.WriteRecord(out);
    EXPECT_EQ(out.Size(), 4 + 16 + 12 + 4 + kFontRecordBytes);
    out.Rewind();
    CGraphText back = FullText();
    ASSERT_TRUE(back.ReadRecord(out));
    EXPECT_TRUE(back.IsEmpty());
    EXPECT_EQ(back.Font(), CGraphText::DefaultFont());
}

// A record with the given text counts, anchor and font byte count.
CIOBuffer Record(std::int32_t chars, std::uint32_t bytes, double x, std::uint32_t fontBytes) {
    CIOBuffer b;
    b.WriteInt32(chars);
    if (chars > 0) {
        b.WriteUInt32(bytes);
        for (std::int32_t i = 0; i < chars && i < 100; ++i) b.WriteBytes("a\0", 2);
        b.WriteBytes("\0\0", 2);
    }
    b.WriteDouble(x);
    b.WriteDouble(0.0);
    for (int i = 0; i < 3; ++i) b.WriteInt32(0);
    b.WriteUInt32(fontBytes);
    const auto font = EncodeFontRecord(CGraphText::DefaultFont());
    b.WriteBytes(font.data(), font.size());
    b.Rewind();
    return b;
}

TEST(GraphText, CorruptRecordsAreRefused) {
    const auto reads = [](CIOBuffer b) { return CGraphText().ReadRecord(b); };
    EXPECT_TRUE(reads(Record(3, 8, 1.0, 60)));
    EXPECT_FALSE(reads(Record(3, 6, 1.0, 60)));                    // byte count not 2 × 3 + 2
    EXPECT_FALSE(reads(Record(-1, 0, 1.0, 60)));                   // negative length
    EXPECT_FALSE(reads(Record(0x7FFFFFFF, 0, 1.0, 60)));           // 2L + 2 wraps to 0 in 32 bits
    EXPECT_FALSE(reads(Record(0x7FFFFFFF, 0xFFFFFFFF, 1.0, 60)));  // far more than is there
    EXPECT_FALSE(reads(Record(3, 8, std::numeric_limits<double>::quiet_NaN(), 60)));
    EXPECT_FALSE(reads(Record(3, 8, 1.0, 59)));  // short font description

    CIOBuffer whole;
    FullText().WriteRecord(whole);
    for (std::size_t n = 0; n < whole.Size(); ++n) {
        CIOBuffer cut;
        cut.Assign(whole.Bytes().substr(0, n));
        EXPECT_FALSE(reads(cut)) << n << " bytes";
    }
}

}  // namespace
}  // namespace kurvex
