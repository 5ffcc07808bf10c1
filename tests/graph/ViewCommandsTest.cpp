#include <gtest/gtest.h>

#include <filesystem>

#include "TestSupport.h"
#include "formula/FormulaTestSupport.h"
#include "graph/DisplayRecord.h"
#include "graph/ViewCommands.h"

namespace kurvex {
namespace {

using test::MakeData;

std::unique_ptr<CGraphCurve> ScreenOf(const CResultDataRef& data,
                                      const std::vector<std::int32_t>& columns) {
    auto s = std::make_unique<CGraphCurve>(0);
    s->SetData(data);
    for (std::int32_t c : columns) s->AddCurve(CCurveEntry::ForColumn(data, c));
    s->UpdateExtents();
    return s;
}

TEST(ViewCommands, CurveListNumbersScreensOnlyWhenThereAreSeveral) {
    const auto data = MakeData({"Time", "V1", "I1", "P"}, {{0, 1}, {1, 2}, {3, 4}, {5, 6}});
    auto top = ScreenOf(data, {1});
    auto bottom = ScreenOf(data, {2, 3});
    bottom->Curve(1).label = "P (W)";

    const auto two = CurveListEntries({top.get(), bottom.get()});
    const std::vector<CurveListEntry> expected = {
        {"1 -> V1", CurveSelectionParam(0, 0)},
        {"2 -> I1", CurveSelectionParam(1, 0)},
        {"2 -> P (W)", CurveSelectionParam(1, 1)},
    };
    EXPECT_EQ(two, expected);
    EXPECT_EQ(CurveListIndex(two, CurveSelectionParam(1, 1)), 2);
    EXPECT_EQ(CurveListIndex(two, kNoCurveSelection), -1);
    EXPECT_EQ(ScreenOfParam(expected[2].data), 1);
    EXPECT_EQ(CurveOfParam(expected[2].data), 1);

    EXPECT_EQ(CurveListEntries({top.get()}),
              (std::vector<CurveListEntry>{{"V1", CurveSelectionParam(0, 0)}}));

    EXPECT_EQ(FirstSelectionParam({top.get(), bottom.get()}), 0);
    bottom->SetSelectedCurve(1);
    EXPECT_EQ(FirstSelectionParam({top.get(), bottom.get()}), CurveSelectionParam(1, 1));
}

TEST(ViewCommands, SyncXAxisGivesEveryScreenTheSourcesXAxis) {
    const auto data =
        MakeData({"Time", "V", "Step"}, {{1, 2, 3, 4}, {5, 6, 7, 8}, {10, 20, 30, 40}});
    auto a = ScreenOf(data, {1});
    auto b = ScreenOf(data, {1});
    auto c = ScreenOf(data, {1});
    c->SetXIndex(2);
    c->SetXTitle("Step");
    c->UpdateExtents();
    for (auto* s : {a.get(), b.get(), c.get()}) s->SetXRange(0, 50, 0, RangeFlags{});
    ASSERT_TRUE(a->SetXRange(1.5, 3.5, 0.5, RangeFlags{}));
    b->SetXScale(1);  // log X on another screen

    const CharMetrics metrics{90, 17};
    EXPECT_FALSE(SyncXAxis({a.get(), b.get(), c.get()}, 0, metrics));
    for (const CGraphCurve* s : {a.get(), b.get(), c.get()}) {
        EXPECT_EQ(s->Metrics(), metrics);
        EXPECT_EQ(s->XRange(), a->XRange());
        EXPECT_EQ(s->XLog(), 0);
        EXPECT_EQ(s->XIndex(), 0);
    }
    // The screen that showed another X variable takes the source's and its extent.
    EXPECT_EQ(c->XTitle(), a->XTitle());
    EXPECT_EQ(c->XExtent(), (DataExtent{1, 4}));

    // Log X met on a screen whose curve has a non-positive X sample: warned.
    const auto zero = MakeData({"Time", "V"}, {{0, 1, 2}, {1, 2, 3}});
    auto logSource = ScreenOf(zero, {1});
    auto other = ScreenOf(zero, {1});
    logSource->SetXScale(1);
    EXPECT_TRUE(SyncXAxis({logSource.get(), other.get()}, 0, metrics));
    EXPECT_EQ(other->XLog(), 1);
}

TEST(ViewCommands, ColourAndGridFollowTheLastScreen) {
    const auto data = MakeData({"Time", "V"}, {{0, 1}, {1, 2}});
    auto a = ScreenOf(data, {1});
    auto b = ScreenOf(data, {1});
    a->SetDisplayFlags(kDisplayBlackWhite | kDisplaySelected);
    EXPECT_TRUE(ToggleBlackWhite({a.get(), b.get()}));
    EXPECT_TRUE(a->BlackWhite());
    EXPECT_TRUE(b->BlackWhite());
    EXPECT_TRUE(a->DisplayFlags() & kDisplaySelected);  // other bits stay
    ToggleBlackWhite({a.get(), b.get()});
    EXPECT_FALSE(a->BlackWhite());

    a->SetGridShown(0);
    EXPECT_TRUE(ToggleGrid({a.get(), b.get()}));
    EXPECT_EQ(a->GridShown(), 0);
    EXPECT_EQ(b->GridShown(), 0);
    EXPECT_FALSE(ToggleGrid({}));
}

TEST(ViewCommands, AddedScreenTakesTheSharedDisplayButNotY) {
    const auto data = MakeData({"Time", "V", "I"}, {{0, 1, 2, 3}, {1, 2, 3, 4}, {-50, 0, 50, 100}});
    auto bottom = ScreenOf(data, {1});
    bottom->SetBackground(0x102030);
    bottom->SetGridShown(0);
    bottom->SetXRange(1, 2, 0, RangeFlags{});
    bottom->SetYRange(1, 2, 0, RangeFlags{});
    CGraphCurve added(0);
    added.SetData(data);
    CopySharedDisplay(*bottom, added);
    EXPECT_EQ(added.Background(), 0x102030u);
    EXPECT_EQ(added.GridShown(), 0);
    EXPECT_EQ(added.XRange(), bottom->XRange());
    EXPECT_EQ(added.YRange(), AxisRange{});

    added.AddCurve(CCurveEntry::ForColumn(data, 2));
    EXPECT_FALSE(FitYToCurves(added));
    // Y fits the samples in the visible X range 1..2 (0 and 50), a tenth more each way.
    EXPECT_LE(added.YRange().from, -5.0);
    EXPECT_GE(added.YRange().to, 55.0);
    EXPECT_LT(added.YRange().to, 100.0);
}

TEST(ViewCommands, ChoosingAnotherXVariableRescalesTheScreen) {
    const auto data = MakeData({"Time", "V", "I"}, {{0, 1, 2}, {10, 20, 30}, {3, 1, 2}});
    auto s = ScreenOf(data, {2});
    EXPECT_FALSE(ApplyXVariable(*s, 1));
    EXPECT_EQ(s->XTitle(), "V");
    EXPECT_EQ(s->XExtent(), (DataExtent{10, 30}));
    EXPECT_LE(s->XRange().from, 10.0);
    EXPECT_GE(s->XRange().to, 30.0);
}

class FirstSetupTest : public test::TempDirTest {
protected:
    std::string WriteIni(const std::string& name, const std::string& text) {
        test::Spit(Path(name), text);
        return Path(name);
    }
};

TEST_F(FirstSetupTest, SavedLayoutThenSettingsFileThenDefaults) {
    const auto data = MakeData({"Time", "V", "I"}, {{0, 1, 2}, {1, 2, 3}, {4, 5, 6}});
    const CharMetrics metrics{80, 16};
    const ScreenBasis basis{data, metrics, nullptr};
    const std::string ini =
        WriteIni("run.ini",
                 "[Main]\r\nNumScreen=2\r\nXAxis=Time\r\n[Screen0]\r\nCurveCount=1\r\n"
                 "Curve_0_Formula=V\r\n[Screen1]\r\nCurveCount=1\r\nCurve_0_Formula=I\r\n");

    // A binary file's layout wins over the settings file beside it.
    auto saved = ScreenOf(data, {2});
    CIOBuffer stream;
    WriteDisplayStream({saved.get()}, stream);
    FirstSetup fromStream = BuildFirstScreens(stream, ini, basis);
    EXPECT_EQ(fromStream.source, SetupSource::SavedStream);
    ASSERT_EQ(fromStream.screens.size(), 1u);
    EXPECT_EQ(fromStream.screens[0]->Curve(0).formula, "I");

    CIOBuffer none;
    FirstSetup fromIni = BuildFirstScreens(none, ini, basis);
    EXPECT_EQ(fromIni.source, SetupSource::SettingsFile);
    ASSERT_EQ(fromIni.screens.size(), 2u);
    EXPECT_EQ(fromIni.screens[1]->Metrics(), metrics);
    EXPECT_EQ(fromIni.screens[1]->XTitle(), "Time");

    // No saved layout: three columns leave the choice to the user.
    FirstSetup choose = BuildFirstScreens(none, (dir_ / "missing.ini").string(), basis);
    EXPECT_EQ(choose.source, SetupSource::ChooseCurves);

    // A settings file that names no screen counts as none.
    const std::string empty = WriteIni("empty.ini", "[Main]\r\nNumScreen=0\r\n");
    EXPECT_EQ(BuildFirstScreens(none, empty, basis).source, SetupSource::ChooseCurves);

    // A damaged settings block falls back to the file beside it.
    CIOBuffer damaged;
    damaged.WriteInt32(7);
    damaged.WriteInt32(1);
    damaged.WriteInt32(1 << 30);
    EXPECT_EQ(BuildFirstScreens(damaged, ini, basis).source, SetupSource::SettingsFile);
}

TEST_F(FirstSetupTest, DefaultLayoutsByTheColumns) {
    struct Case {
        std::vector<std::string> names;
        SetupSource source;
        size_t screens;
    };
    const std::vector<Case> cases = {
        {{"Time", "V"}, SetupSource::OneCurve, 1},
        {{"Frequency", "amp(V)", "phase(V)"}, SetupSource::FrequencyResponse, 2},
        {{"Freq", "amp(V)", "gain"}, SetupSource::ChooseCurves, 1},
    };
    CIOBuffer none;
    for (const Case& k : cases) {
        std::vector<std::vector<double>> columns(k.names.size(), {1, 2, 3});
        const auto data = MakeData(k.names, columns);
        const FirstSetup f = BuildFirstScreens(none, "", ScreenBasis{data, {}, nullptr});
        EXPECT_EQ(f.source, k.source) << k.names[1];
        EXPECT_EQ(f.screens.size(), k.screens) << k.names[1];
    }
    const FirstSetup empty =
        BuildFirstScreens(none, "", ScreenBasis{CResultDataRef(), {}, nullptr});
    EXPECT_EQ(empty.source, SetupSource::None);
    EXPECT_TRUE(empty.screens.empty());
}

}  // namespace
}  // namespace kurvex
