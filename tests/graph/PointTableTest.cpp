#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <limits>

#include "TestSupport.h"
#include "data/document/ResultFile.h"
#include "formula/FormulaTestSupport.h"
#include "graph/PointTable.h"
#include "graph/PreviousRun.h"

namespace kurvex {
namespace {

using test::MakeData;

// A column of `values` with the given flags (1 valid when none are given).
PointColumn Column(const std::string& name, const std::vector<double>& values,
                   const std::vector<std::uint8_t>& flags = {}, std::int32_t count = -1) {
    PointColumn c;
    c.name = name;
    const auto n = static_cast<std::int32_t>(values.size());
    c.values = RefPtr<CResultVariable>(CResultVariable::Create(std::max(n, 1)));
    for (std::int32_t i = 0; i < n; ++i) {
        c.values->Values()[i] = values[static_cast<size_t>(i)];
        c.values->Flags()[i] =
            flags.empty() ? std::uint8_t{kPointValid} : flags[static_cast<size_t>(i)];
    }
    c.values->SetName(name);
    c.count = count < 0 ? n : count;
    return c;
}

std::string Text(const CellSource& cells, GridRange range) {
    std::string out;
    EXPECT_TRUE(RangeText(cells, range, CopyFormat{}, out));
    return out;
}

TEST(PointTable, CellsShowNamesNumbersNanAndNothingPastAColumnsEnd) {
    const PointCells cells({Column("Time", {0, 1e-7, 2.5, 12345678}),
                            Column("V1", {1, 0, 0}, {kPointValid, kPointInvalid, kPointMissing}),
                            Column("V2", {7, 8, 9, 10}, {}, 2)});
    ASSERT_EQ(cells.RowCount(), 5);
    ASSERT_EQ(cells.ColumnCount(), 3);
    const std::vector<std::vector<std::string>> expected = {
        {"Time", "V1", "V2"},    {"0", "1", "7"},
        {"1e-07", "NAN", "8"},   {"2.5", "", ""},  // a missing point, and the snapshot's end of V2
        {"1.23457e+07", "", ""},
    };
    for (std::int32_t r = 0; r < 5; ++r)
        for (std::int32_t c = 0; c < 3; ++c)
            EXPECT_EQ(cells.CellText(r, c), expected[r][c]) << r << "," << c;
    EXPECT_EQ(cells.CellText(5, 0), "");
    EXPECT_EQ(cells.CellText(1, 3), "");
    EXPECT_EQ(PointCells({}).RowCount(), 0);
}

TEST(PointTable, RangesAreClampedOrderedAndMinusOneMeansTheEnd) {
    struct Case {
        GridRange in;
        std::optional<GridRange> out;
    } cases[] = {
        {{-1, -1, -1, -1}, GridRange{0, 0, 9, 2}},
        {{5, 2, 3, 0}, GridRange{3, 0, 5, 2}},  // reversed pairs exchanged
        {{-7, 1, 400, 1}, GridRange{0, 1, 9, 1}},
        {{0, -1, 0, -1}, GridRange{0, 0, 0, 2}},
    };
    for (const Case& c : cases) EXPECT_EQ(NormaliseRange(c.in, 10, 3), c.out);
    EXPECT_EQ(NormaliseRange({}, 0, 3), std::nullopt);
    EXPECT_EQ(NormaliseRange({}, 10, 0), std::nullopt);
}

TEST(PointTable, CopiedTextIsPaddedToTwelveWithTabsAndCrLf) {
    const PointCells cells({Column("Time", {0, 0.5}), Column("V1", {1.5, -2})});
    // Copy All: the header row first.
    EXPECT_EQ(Text(cells, {}),
              "Time        \tV1          \r\n"
              "0           \t1.5         \r\n"
              "0.5         \t-2          \r\n");
    // Copy Row on the header row copies the names.
    EXPECT_EQ(Text(cells, {0, -1, 0, -1}), "Time        \tV1          \r\n");

    // A long cell is not cut; a name in UTF-8 pads by characters.
    const PointCells wide({Column("Spannung \xC3\xBC", {123456789012.0})});
    EXPECT_EQ(Text(wide, {}), "Spannung \xC3\xBC  \r\n1.23457e+11 \r\n");

    std::atomic<bool> cancel{true};
    std::atomic<std::int64_t> done{-1};
    std::string part;
    EXPECT_FALSE(RangeText(cells, {}, CopyFormat{}, part, {&done, &cancel}));
    cancel = false;
    EXPECT_TRUE(RangeText(cells, {}, CopyFormat{}, part, {&done, &cancel}));
    EXPECT_EQ(done.load(), 3);
}

TEST(PointTable, WrittenInPiecesTheTextIsTheCopiedText) {
    const std::vector<double> values = test::Ramp(2500, 1.0);
    const PointCells cells({Column("Time", values), Column("V1", values)});
    CopyFormat csv;
    csv.separator = ",";
    csv.minWidth = 0;
    const struct {
        GridRange range;
        int pieces;  // of 1024 rows
    } cases[] = {{{}, 3}, {{5, 1, 5, 1}, 1}, {{1000, 0, 2100, 1}, 2}};
    for (const auto& c : cases) {
        std::string whole, joined;
        ASSERT_TRUE(RangeText(cells, c.range, csv, whole));
        int pieces = 0;
        ASSERT_TRUE(WriteRangeText(cells, c.range, csv, [&](std::string_view piece) {
            joined += piece;
            return ++pieces > 0;
        }));
        EXPECT_EQ(joined, whole);
        EXPECT_EQ(pieces, c.pieces);
    }
    // A writer that fails stops the rest.
    int calls = 0;
    EXPECT_FALSE(WriteRangeText(cells, {}, csv, [&](std::string_view) { return ++calls < 2; }));
    EXPECT_EQ(calls, 2);
}

TEST(PointTable, ColumnsAreXThenEveryCurveAndOutliveTheGraph) {
    std::unique_ptr<PointCells> cells;
    {
        const auto data = MakeData({"Time", "Va", "Vb"}, {{0, 1, 2}, {-1, 2, 5}, {10, 20, 30}});
        CGraphCurve top(0), bottom(0);
        for (CGraphCurve* s : {&top, &bottom}) s->SetData(data);
        CCurveEntry a = CCurveEntry::ForColumn(data, 1);
        a.label = "Phase A";
        top.AddCurve(a);
        bottom.AddCurve(CCurveEntry::ForColumn(data, 2));
        CCurveEntry twice = CCurveEntry::ForFormula("Vb*2");
        ASSERT_TRUE(twice.Bind(data).ok);
        bottom.AddCurve(twice);
        CCurveEntry gone = CCurveEntry::ForColumn(data, 1);
        gone.columnIndex = 9;  // a column the data set no longer has
        bottom.AddCurve(gone);
        // A log Y axis shows logarithms; the table keeps the values.
        top.SetYScale(1);
        top.EnsureLogColumns();
        cells = std::make_unique<PointCells>(PointColumnsOf({&top, &bottom}));
    }
    // The graph, its data set and its formula are gone: the table still reads them.
    ASSERT_EQ(cells->ColumnCount(), 5);
    ASSERT_EQ(cells->RowCount(), 4);
    EXPECT_EQ(Text(*cells, {0, 0, 0, 3}),
              "Time        \tPhase A     \tVb          \tVb*2        \r\n");
    EXPECT_EQ(Text(*cells, {3, 0, 3, 4}),
              "2           \t5           \t30          \t60          \t            \r\n");
    EXPECT_EQ(PointColumnsOf({}).size(), 0u);
}

TEST(PointTable, DelimitedFilesWriteExactNumbersAndTheReadersMarkers) {
    const std::vector<PointColumn> columns = {
        Column("Time", {0.1, 1.0 / 3, 2}),
        Column("I, load", {std::numeric_limits<double>::infinity(), 0, 0},
               {kPointValid, kPointInvalid, kPointMissing}),
        Column("V", {5}, {}),
    };
    EXPECT_EQ(test::Written([&](std::FILE* f) { return WritePointsDelimited(f, columns, ","); }),
              "Time,\"I, load\",V\r\n"
              "0.1,#INF,5\r\n"
              "0.3333333333333333,NAN,\r\n"
              "2,MISSING,\r\n");

    std::atomic<bool> cancel{true};
    std::FILE* g = std::tmpfile();
    EXPECT_FALSE(WritePointsDelimited(g, columns, "\t", {nullptr, &cancel}));
    std::fclose(g);
}

TEST(PointTable, TableFormReadsBackUnderTheColumnNames) {
    const std::vector<PointColumn> columns = {
        Column("Time", {0, 0.5, 1}),
        Column("Vout", {1.25, -3, 7}, {kPointValid, kPointInvalid, kPointValid}),
        Column("Short", {4}),
    };
    const std::string path = (test::FreshDir("point-table") / "t.txt").string();
    test::Spit(path, test::Written([&](std::FILE* f) { return WritePointsTable(f, columns); }));

    CResultDataRef back;
    test::RecordingMessages messages;
    ASSERT_TRUE(LoadResultFile(path, back, nullptr, messages));
    std::filesystem::remove(path);
    ASSERT_EQ(back->VariableCount(), 3);
    ASSERT_EQ(back->RowCount(), 3);
    EXPECT_EQ(back->Variable(1)->Name(), "Vout");
    EXPECT_DOUBLE_EQ(back->Variable(1)->Values()[0], 1.25);
    EXPECT_EQ(back->Variable(1)->Flags()[1], kPointInvalid);
    EXPECT_DOUBLE_EQ(back->Variable(2)->Values()[0], 4.0);
    EXPECT_NE(back->Variable(2)->Flags()[1], kPointValid);  // past its end: no point
    // The columns given were neither renamed nor padded in place.
    EXPECT_EQ(columns[2].values->Capacity(), 1);

    std::atomic<bool> cancel{true};
    std::FILE* g = std::tmpfile();
    EXPECT_FALSE(WritePointsTable(g, columns, {nullptr, &cancel}));
    std::fclose(g);
}

TEST(PointTable, ThePreviousRunSitsBesideEachCurveAtTheRowsX) {
    const auto now = MakeData({"Time", "V", "I"}, {{0, 1, 2, 3}, {1, 2, 3, 4}, {7, 7, 7, 7}});
    const auto before = MakeData({"Time", "V"}, {{0.5, 2.5}, {10, 30}});
    CGraphCurve screen = test::ScreenOver(now, 0, 3);
    screen.ShowPreviousRun(std::make_shared<PreviousRun>(before));
    const PointCells cells(PointColumnsOf({&screen}));
    ASSERT_EQ(cells.ColumnCount(), 4);  // I has no previous run
    EXPECT_EQ(cells.CellText(0, 2), "V (previous)");
    const char* expected[] = {"", "15", "25", ""};  // missing beyond its X
    for (std::int32_t r = 0; r < 4; ++r) EXPECT_EQ(cells.CellText(r + 1, 2), expected[r]) << r;
    EXPECT_EQ(cells.CellText(0, 3), "I");

    // A result of runs shows the measured one, formula curves included.
    const auto second = MakeData({"time", "I", "V"}, {{5, 6}, {1, 1}, {50, 60}});
    now->AddRun(second.Get(), "b");
    CGraphCurve swept;
    swept.SetData(now);
    swept.AddCurve(CCurveEntry::ForColumn(now, 1));
    CCurveEntry twice = CCurveEntry::ForFormula("V*2");
    ASSERT_TRUE(twice.Bind(now).ok);
    swept.AddCurve(twice);
    swept.SetMeasuredRun(1);
    const PointCells measured(PointColumnsOf({&swept}));
    EXPECT_EQ(measured.CellText(2, 0), "6");
    EXPECT_EQ(measured.CellText(2, 1), "60");
    EXPECT_EQ(measured.CellText(2, 2), "120");

    // A previous X that is not sorted is taken row by row.
    const auto loop = MakeData({"Time", "V"}, {{3, 1, 2}, {8, 9, 10}});
    screen.ShowPreviousRun(std::make_shared<PreviousRun>(loop));
    const PointCells rows(PointColumnsOf({&screen}));
    EXPECT_EQ(rows.CellText(2, 2), "9");
    EXPECT_EQ(rows.CellText(4, 2), "");
}

}  // namespace
}  // namespace kurvex
