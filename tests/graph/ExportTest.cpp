#include <gtest/gtest.h>

#include <filesystem>

#include "TestSupport.h"
#include "data/document/ResultFile.h"
#include "formula/FormulaTestSupport.h"
#include "graph/DisplayRecord.h"
#include "graph/Export.h"

namespace kurvex {
namespace {

namespace fs = std::filesystem;
using test::MakeData;
using test::RecordingMessages;

TEST(Export, TheFormatListFollowsTheXVariableAndTheDisplay) {
    CGraphCurve time;
    time.SetData(MakeData({"Time", "V"}, {{0, 1}, {1, 2}}));
    EXPECT_EQ(
        SaveAsFilter(time),
        "Kurvex files|*.kfd|Text files|*.txt|Tab separated text file (Excel compatible)|*.txt|"
        "Comma separated file|*.csv|MATLAB file|*.mat||");
    for (const char* name : {"freq", "Frequency", "FREQ."}) {
        CGraphCurve f;
        f.SetData(MakeData({name, "amp"}, {{1, 2}, {1, 2}}));
        EXPECT_EQ(SaveAsFilter(f).substr(0, 37), "Kurvex files|*.kfd|Text files|*.fra|T") << name;
    }
    CGraphCurve fft = time;
    fft.StoreScales(0, 0, 1);
    EXPECT_EQ(SaveAsFilter(fft),
              "FFT files|*.fft|Tab separated text file (Excel compatible)|*.txt|Comma separated "
              "file|*.csv||");
}

TEST(Export, EachEntryWritesItsFormatAndTheKurvexFileKeepsTheLayout) {
    const auto data = MakeData({"Time", "V out"}, {{0, 1}, {1.5, 2}});
    CGraphCurve top = test::ScreenOver(data, 0, 1), bottom = top;
    top.SetBackground(0x00FFFF);
    const fs::path dir = test::FreshDir("export-test");
    RecordingMessages messages;
    const std::vector<const CGraphCurve*> view = {&top, &bottom};

    ASSERT_TRUE(SaveTimeDisplay(view, 1, (dir / "v.kfd").string(), messages));
    ASSERT_TRUE(SaveDataAndSettings(view, (dir / "v7.kfd").string(), messages));
    for (const char* name : {"v.kfd", "v7.kfd"}) {
        CResultDataRef back;
        CIOBuffer settings;
        ASSERT_TRUE(LoadResultFile((dir / name).string(), back, &settings, messages)) << name;
        const LoadedScreens screens = ReadDisplayStream(settings, ScreenBasis{back, {}, nullptr});
        ASSERT_EQ(screens.screens.size(), 2u) << name;
        EXPECT_EQ(screens.screens[0]->Background(), 0x00FFFFu);
    }
    ASSERT_TRUE(SaveTimeDisplay(view, 4, (dir / "v.csv").string(), messages));
    EXPECT_EQ(test::Slurp(dir / "v.csv"), "Time,V_out\r\n0,1.5\r\n1,2\r\n");
    // A file holds one run: the one asked for.
    data->AddRun(MakeData({"Time", "V out"}, {{0, 2}, {7, 8}}).Get(), "b");
    ASSERT_TRUE(SaveTimeDisplay(view, 4, (dir / "v-2.csv").string(), messages, 1));
    EXPECT_EQ(test::Slurp(dir / "v-2.csv"), "Time,V_out\r\n0,7\r\n2,8\r\n");
    ASSERT_TRUE(SaveTimeDisplay(view, 5, (dir / "v.mat").string(), messages));
    CResultDataRef mat;
    ASSERT_TRUE(LoadResultFile((dir / "v.mat").string(), mat, nullptr, messages));
    EXPECT_EQ(test::Names(mat), (std::vector<std::string>{"Time", "V out"}));
    EXPECT_EQ(mat->Variable(1)->Values()[1], 2.0);
    EXPECT_TRUE(messages.shown.empty());

    // A Kurvex file that cannot be written says so, after the reason.
    EXPECT_FALSE(SaveTimeDisplay(view, 1, (dir / "no" / "v.kfd").string(), messages));
    ASSERT_FALSE(messages.shown.empty());
    EXPECT_EQ(messages.shown.back().first, "Failed to save file.");
    EXPECT_EQ(messages.shown.back().second, MessageIcon::None);
    EXPECT_FALSE(SaveTimeDisplay({}, 2, (dir / "none.txt").string(), messages));
    EXPECT_FALSE(fs::exists(dir / "none.txt"));
}

}  // namespace
}  // namespace kurvex
