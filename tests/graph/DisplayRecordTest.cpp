#include <gtest/gtest.h>

#include <tuple>

#include "formula/FormulaTestSupport.h"
#include "graph/DisplayRecord.h"
#include "graph/GraphLine.h"
#include "graph/GraphText.h"

namespace kurvex {
namespace {

using test::MakeData;

// What the record keeps of a curve.
auto Kept(const CCurveEntry& c) {
    return std::tie(c.sourceKind, c.formula, c.label, c.colour, c.connect, c.thickness,
                    c.markerSymbol);
}

CResultDataRef Data() {
    return MakeData({"Time", "Va", "Vb"}, {{0, 1, 2, 3}, {1, 2, 3, 4}, {-1, 5, 2, 8}});
}

// A screen with colours, ranges, two curves and two annotations.
std::unique_ptr<CGraphCurve> MakeScreen(const CResultDataRef& data) {
    auto s = std::make_unique<CGraphCurve>(0);
    s->SetData(data);
    s->SetBackground(0x102030);
    s->SetGridShown(0);
    s->SetYDivisions(7);
    s->SetDisplayFlags(kDisplayBlackWhite | kDisplaySelected);
    CCurveEntry a = CCurveEntry::ForColumn(data, 2);
    a.colour = 0x00FF00;
    a.thickness = 3;
    a.markerSymbol = kMarkerStar;
    a.label = "the B voltage";
    s->AddCurve(a);
    CCurveEntry f = CCurveEntry::ForFormula("VA*2");
    EXPECT_TRUE(f.Bind(data).ok);
    s->AddCurve(f);
    s->UpdateExtents();
    const RangeFlags keep{.setIncrement = true, .autoIncrement = false};
    s->SetXRange(0.5, 2.5, 0.5, keep);
    s->SetYRange(-2, 9, 1, keep);
    auto line = std::make_unique<CGraphLine>();
    line->SetFirst(0.5, 1);
    line->SetSecond(2, 7);
    s->AddAnnotation(std::move(line));
    auto text = std::make_unique<CGraphText>();
    text->SetAnchor(1, 2);
    text->SetText(u"peak");
    s->AddAnnotation(std::move(text));
    s->SetXTitle("Zeit");
    return s;
}

TEST(DisplayRecord, StreamRoundTripKeepsTheLayout) {
    const auto data = Data();
    auto top = MakeScreen(data);
    CGraphCurve bottom;
    bottom.SetData(data);
    bottom.AddCurve(CCurveEntry::ForColumn(data, 1));
    bottom.SetYScale(1);
    CIOBuffer stream;
    WriteDisplayStream({top.get(), &bottom}, stream);

    const LoadedScreens loaded =
        ReadDisplayStream(stream, ScreenBasis{data, CharMetrics{}, nullptr});
    ASSERT_EQ(loaded.screens.size(), 2u);
    const CGraphCurve& t = *loaded.screens[0];
    EXPECT_EQ(t.Background(), 0x102030u);
    EXPECT_EQ(t.GridShown(), 0);
    EXPECT_EQ(t.YDivisions(), 7);
    EXPECT_EQ(t.DisplayFlags(), kDisplaySelected);  // black and white is not stored
    EXPECT_EQ(t.XRange(), top->XRange());
    EXPECT_EQ(t.YRange(), top->YRange());
    EXPECT_EQ(t.XTitle(), "Zeit");
    ASSERT_EQ(t.CurveCount(), 2);
    for (std::int32_t j = 0; j < 2; ++j) EXPECT_EQ(Kept(t.Curve(j)), Kept(top->Curve(j))) << j;
    EXPECT_EQ(t.Curve(0).columnIndex, 2);
    ASSERT_TRUE(t.Curve(1).formulaResult);
    EXPECT_EQ(t.Curve(1).formulaResult->Values()[3], 8.0);
    EXPECT_EQ(t.Annotations().size(), 2u);  // what each keeps is the annotations' test
    EXPECT_FALSE(t.BottomScreen());
    EXPECT_TRUE(loaded.screens[1]->BottomScreen());
    EXPECT_EQ(loaded.screens[1]->YLog(), 1);
    EXPECT_FALSE(loaded.invalidPoints);  // Va is positive on the log axis
}

TEST(DisplayRecord, NamesAreResolvedAgainstTheDataWithTheDropRules) {
    auto screen = MakeScreen(Data());
    CIOBuffer record;
    record.SetMode(2);
    WriteDisplayRecord(*screen, record);

    // Vb is gone, VA moved, and the X variable is called otherwise.
    const auto other = MakeData({"T", "Vc", "Va"}, {{0, 1}, {1, 1}, {3, 4}});
    CGraphCurve target;
    target.SetData(other);
    record.Rewind();
    record.SetMode(1);
    const RecordLoad r = ReadDisplayRecord(record, target);
    EXPECT_FALSE(r.xFound);
    EXPECT_EQ(target.XIndex(), 0);
    ASSERT_EQ(target.CurveCount(), 1);
    EXPECT_EQ(target.Curve(0).formula, "VA*2");
    EXPECT_EQ(target.Curve(0).formulaResult->Values()[1], 8.0);

    // The same X variable at another index is followed there.
    const auto moved = MakeData({"Va", "Time"}, {{1, 2}, {0, 1}});
    CGraphCurve again;
    again.SetData(moved);
    record.Rewind();
    EXPECT_TRUE(ReadDisplayRecord(record, again).xFound);
    EXPECT_EQ(again.XIndex(), 1);
}

TEST(DisplayRecord, OldStreamsAndDamagedOnesLoadWhatTheyCan) {
    const auto data = Data();
    // Version 7.0 has no reserved block.
    CIOBuffer old;
    old.SetMode(2);
    for (std::int32_t v : {7, 0, 1}) old.WriteInt32(v);
    CIOBuffer record;
    record.SetMode(2);
    WriteDisplayRecord(*MakeScreen(data), record);
    old.AppendBuffer(record);
    const LoadedScreens loaded = ReadDisplayStream(old, ScreenBasis{data, CharMetrics{}, nullptr});
    ASSERT_EQ(loaded.screens.size(), 1u);
    EXPECT_EQ(loaded.screens[0]->CurveCount(), 2);

    // Huge counts and cut records: no crash, no giant allocation.
    CIOBuffer lying;
    lying.SetMode(2);
    for (std::int32_t v : {7, 1, 2000000000}) lying.WriteInt32(v);
    EXPECT_TRUE(
        ReadDisplayStream(lying, ScreenBasis{data, CharMetrics{}, nullptr}).screens.empty());
    CIOBuffer full;
    WriteDisplayStream({MakeScreen(data).get()}, full);
    for (size_t cut = 0; cut < full.Size(); cut += 7) {
        CIOBuffer part;
        part.Assign(full.Bytes().substr(0, cut));
        const LoadedScreens l = ReadDisplayStream(part, ScreenBasis{data, CharMetrics{}, nullptr});
        EXPECT_LE(l.screens.size(), 1u);
    }
}

}  // namespace
}  // namespace kurvex
