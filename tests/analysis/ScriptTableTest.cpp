#include <gtest/gtest.h>

#include "analysis/RunTable.h"
#include "analysis/ScriptTable.h"
#include "formula/FormulaTestSupport.h"

namespace kurvex {
namespace {

using test::MakeData;

// Three runs of v = k·t over t = 0 .. 2; the third never reaches 5.
CResultDataRef ThreeRuns() {
    CResultDataRef data = MakeData({"time", "v"}, {{0, 1, 2}, {0, 3, 6}});
    data->AddRun(MakeData({"time", "v"}, {{0, 1, 2}, {0, 4, 8}}).Get(), "k=4");
    data->AddRun(MakeData({"time", "v"}, {{0, 1, 2}, {0, 2, 4}}).Get(), "k=2");
    return data;
}

constexpr const char* kScript =
    ".meas tran top MAX v\n* the crossing of 5\n.meas tran t5 WHEN V=5\n"
    ".meas noise n1 ONOISE\n";

TEST(ScriptTable, MeasuresEachRunAndSaysWhyACellFailed) {
    const CResultDataRef data = ThreeRuns();
    int told = 0;
    const ScriptTable t = MeasureScriptRuns(kScript, data, {0, 2}, [&](int done, int total) {
        EXPECT_EQ(total, 2);
        told = done;
        return true;
    });
    ASSERT_EQ(t.error, "");
    EXPECT_EQ(told, 2);
    EXPECT_EQ(t.columns, (std::vector<std::string>{"top", "t5"}));
    ASSERT_EQ(t.notes.size(), 1u);  // the noise statement is left out and said so
    EXPECT_EQ(t.notes[0].rfind("line 4: n1: not supported", 0), 0u) << t.notes[0];
    ASSERT_EQ(t.rows.size(), 2u);
    EXPECT_FALSE(t.rows[1].cells[1].error.empty());
    EXPECT_EQ(t.Find("T5", 2), &t.rows[1].cells[1]);
    EXPECT_EQ(t.Find("t5", 1), nullptr);  // run 2 was not asked for
    // The same results as a script column of the Run Table, and as text.
    RunTableColumn column;
    column.script = "top";
    CGraphCurve screen;
    screen.SetData(data);
    const auto rows = RunTableRows({&screen}, {column}, 0, 2, {}, {}, &t);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].values[0], 6.0);
    EXPECT_FALSE(rows[1].values[0].has_value());  // measured in no script run
    EXPECT_EQ(rows[2].values[0], 4.0);
    EXPECT_EQ(ScriptTableText(t, ','), "Run,top,t5\nRun 1,6,1.666666667\nk=2,4,\n");
}

TEST(ScriptTable, ASyntaxErrorMeasuresNothingAndCancelKeepsWhatWasMeasured) {
    const CResultDataRef data = ThreeRuns();
    const ScriptTable bad = MeasureScriptRuns(".meas a AVG v\n.meas b WHEN v=\n", data, {0, 1, 2});
    EXPECT_EQ(bad.error.rfind("line 2, column ", 0), 0u) << bad.error;
    EXPECT_TRUE(bad.rows.empty());
    const ScriptTable stopped =
        MeasureScriptRuns(kScript, data, {0, 1, 2}, [](int done, int) { return done < 1; });
    EXPECT_TRUE(stopped.cancelled);
    EXPECT_EQ(stopped.rows.size(), 1u);
}

}  // namespace
}  // namespace kurvex
