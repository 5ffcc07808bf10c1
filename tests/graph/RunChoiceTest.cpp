#include <gtest/gtest.h>

#include "TestSupport.h"
#include "data/model/Runs.h"
#include "formula/FormulaTestSupport.h"
#include "graph/DisplayRecord.h"
#include "graph/DisplaySettingsFile.h"
#include "graph/RunChoice.h"

namespace kurvex {
namespace {

const std::vector<std::string> kSwept = {"vin=1 r1=1000", "vin=1 r1=2000", "vin=2 R1=1000",
                                         "vin=2 r1=2000"};

TEST(RunChoice, StepFiltersGroupKeysAlphabeticallyAndKeepRunOrder) {
    EXPECT_EQ(StepFilters(kSwept),
              (std::vector<std::string>{"r1=1000", "r1=2000", "vin=1", "vin=2"}));
    // Names that are not steps offer no filter; odd words in a step are skipped.
    EXPECT_TRUE(StepFilters({"1/out", "2/out", "a= =b"}).empty());
    EXPECT_EQ(StepFilters({"temp=27  x", "temp=85"}),
              (std::vector<std::string>{"temp=27", "temp=85"}));
}

TEST(RunChoice, HiddenFlagsAndTheMeasuredRunFollowNamesNotPlaces) {
    struct Case {
        RunChoice choice;
        std::vector<std::string> names;
        std::vector<bool> hidden;
        std::int32_t measured;
    };
    const std::vector<std::string> abc = {"a", "b", "c"};
    const Case cases[] = {
        {{}, abc, {false, false, false}, 0},
        {{{"b"}, "c", ""}, abc, {false, true, false}, 2},
        // A run added in front moves the hidden and the measured run along.
        {{{"b"}, "c", ""}, {"new", "a", "b", "c"}, {false, false, true, false}, 3},
        // The measured run gone or hidden: the first shown run is measured.
        {{{"a"}, "gone", ""}, abc, {true, false, false}, 1},
        {{{"a", "b"}, "b", ""}, abc, {true, true, false}, 2},
        {{{"a", "b", "c"}, "b", ""}, abc, {true, true, true}, 0},
        // The filter's key ignores case; the value must match exactly.
        {{{}, "", "R1=1000"}, kSwept, {false, true, false, true}, 0},
        {{{"vin=1 r1=1000"}, "", "vin=1"}, kSwept, {true, false, true, true}, 1},
        {{{}, "", "r1=1e3"}, kSwept, {false, false, false, false}, 0},
        {{{}, "", "junk"}, kSwept, {false, false, false, false}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.choice.filter + " / " + c.choice.measured);
        EXPECT_EQ(HiddenRunFlags(c.choice, c.names), c.hidden);
        EXPECT_EQ(MeasuredRunIndex(c.choice, c.names), c.measured);
    }
    EXPECT_FALSE(MatchesStepFilter("vin=2 R1=1000", "r1=100"));

    // All and None touch only the runs listed: a name kept from before a reload stays.
    RunChoice all{{"gone", "b"}, "", ""};
    SetAllRunsChecked(all, abc, false);
    EXPECT_EQ(all.hidden, (std::vector<std::string>{"gone", "a", "b", "c"}));
    SetAllRunsChecked(all, abc, true);
    EXPECT_EQ(all.hidden, std::vector<std::string>{"gone"});
}

TEST(RunChoice, SaveAsWritesEveryShownRunToItsOwnFileOrTheMeasuredOne) {
    const std::vector<bool> secondHidden = {false, true, false, false};
    EXPECT_TRUE(SaveAsAsksForRuns(secondHidden, 4));
    EXPECT_FALSE(SaveAsAsksForRuns({}, 1) || SaveAsAsksForRuns({true, false, true}, 3));
    const std::vector<RunSave> every = RunsToSave(secondHidden, 4, 2, true, "/d/out.csv");
    EXPECT_EQ(every, (std::vector<RunSave>{
                         {0, "/d/out-1.csv"}, {2, "/d/out-3.csv"}, {3, "/d/out-4.csv"}}));
    EXPECT_EQ(RunsToSave(secondHidden, 4, 2, false, "/d/out.csv"),
              (std::vector<RunSave>{{2, "/d/out.csv"}}));
    EXPECT_EQ(RunsSavedText({{2, "/d/out.csv"}}, kSwept),
              "Run 3 (vin=2 R1=1000) was written to out.csv; the other runs were not.");
    EXPECT_EQ(RunsSavedText(every, {"a", "b", "c", "d"}),
              "3 runs were written, each to a file of its own:\nrun 1 (a): out-1.csv\n"
              "run 3 (c): out-3.csv\nrun 4 (d): out-4.csv");
}

TEST(RunChoice, SettingsKeysRoundTripAndLeaveOneRunFilesAlone) {
    IniFile plain = IniFile::Parse("[Main]\r\nNumScreen=1\r\n");
    const std::string before = plain.Text();
    WriteRunChoice(RunChoice{}, plain);
    EXPECT_EQ(plain.Text(), before);
    EXPECT_EQ(ReadRunChoice(plain), RunChoice{});

    const RunChoice choice{{"vin=1 r1=1000", "1/out; x=[y]"}, "vin=2 r1=2000", "vin=2"};
    IniFile ini = plain;
    WriteRunChoice(choice, ini);
    EXPECT_EQ(ReadRunChoice(IniFile::Parse(ini.Text())), choice);
    // A shorter list after a longer one leaves no name of the older save behind.
    WriteRunChoice(RunChoice{{"b"}, "", ""}, ini);
    EXPECT_EQ(ReadRunChoice(ini), (RunChoice{{"b"}, "", ""}));
    // Back to the default: the section says so rather than keeping the old choice.
    WriteRunChoice(RunChoice{}, ini);
    EXPECT_EQ(ReadRunChoice(ini), RunChoice{});

    // A damaged count costs nothing beyond the names the file holds.
    const RunChoice damaged =
        ReadRunChoice(IniFile::Parse("[Runs]\nHiddenCount=2000000000\nHidden_1=a\n"));
    EXPECT_EQ(damaged.hidden, std::vector<std::string>{"a"});
    EXPECT_TRUE(ReadRunChoice(IniFile::Parse("[Runs]\nHiddenCount=-4\nHidden_1=a\n")).IsDefault());
}

class RunChoiceFileTest : public test::TempDirTest {};

TEST_F(RunChoiceFileTest, SavedWithTheSettingsFileButNotInTheBinaryBlock) {
    const std::string path = Path("sweep.ini");
    const CResultDataRef data = test::MakeData({"Time", "V"}, {{0, 1}, {2, 3}});
    CGraphCurve screen = test::ScreenOver(data, 0, 1);
    test::RecordingMessages messages;
    const RunChoice choice{{"b"}, "c", ""};
    ASSERT_TRUE(SaveDisplaySettings({&screen}, path, messages, choice));
    EXPECT_EQ(LoadRunChoice(path), choice);
    EXPECT_TRUE(LoadRunChoice(Path("missing.ini")).IsDefault());

    // The block a .kfd carries stays what it was, whatever runs are hidden.
    CIOBuffer plain, hidden;
    WriteDisplayStream({&screen}, plain);
    screen.SetRunShown(1, false);
    screen.SetMeasuredRun(2);
    WriteDisplayStream({&screen}, hidden);
    const auto bytes = [](const CIOBuffer& b) {
        return std::string(reinterpret_cast<const char*>(b.Data()), b.Size());
    };
    EXPECT_EQ(bytes(plain), bytes(hidden));
}

}  // namespace
}  // namespace kurvex
