#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "analysis/RunTable.h"
#include "formula/FormulaTestSupport.h"
#include "graph/RunColours.h"

namespace kurvex {
namespace {

using test::MakeData;

constexpr double kPeriod = 1e-3;

// Two periods of -amplitude × cos(2π t / kPeriod) on `steps` equal steps: it
// rises through 0 at a quarter and at five quarters of the period.
CResultDataRef Sine(double amplitude, int steps) {
    std::vector<double> t, v;
    for (int i = 0; i <= steps; ++i) {
        t.push_back(2 * kPeriod * i / steps);
        v.push_back(-amplitude * std::cos(2 * std::numbers::pi * t.back() / kPeriod));
    }
    return MakeData({"t", "v"}, {t, v});
}

TEST(RunTable, EachRunMeasuredOnItsOwnSamples) {
    // Amplitudes 1, 2, 3 on different time steps, all a multiple of 8 so the peaks are samples.
    const int steps[] = {800, 400, 1000};
    CResultDataRef data = Sine(1, steps[0]);
    data->AddRun(Sine(2, steps[1]).Get(), "A=2");
    data->AddRun(Sine(3, steps[2]).Get(), "A=3");
    CGraphCurve screen = test::ScreenOver(data, 0, 2 * kPeriod, kPeriod / 5);
    const std::vector<CGraphCurve*> screens{&screen};
    const double x = 0.1e-3;
    std::vector<RunTableColumn> columns;
    for (std::size_t k = 0; k < MeasureCatalogue().size(); ++k)
        columns.push_back({0, 0, static_cast<RunMeasure>(k), x});
    const auto rows = RunTableRows(screens, columns, 0, 2 * kPeriod, 0.5e-3, std::nullopt);
    ASSERT_EQ(rows.size(), 3u);
    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE(k);
        const double a = k + 1;
        const double n = steps[k];
        const auto& v = rows[static_cast<size_t>(k)].values;
        ASSERT_EQ(v.size(), columns.size());
        const auto at = [&](size_t i) { return v[i].value_or(NAN); };
        EXPECT_EQ(rows[static_cast<size_t>(k)].name,
                  k == 0 ? "Run 1" : "A=" + std::to_string(k + 1));
        // Linear interpolation of a sine errs by at most a·(ω·dt)²/8; n samples of whole
        // periods sum to 0 and their squares to n / 2, and the last adds -a.
        const double dt = 2 * kPeriod / n;
        const double w = 2 * std::numbers::pi / kPeriod;
        const double riseTime = 2 * std::asin(0.8) / w;
        const struct {
            MeasureId id;
            double expected, tolerance;
        } figures[] = {
            {MeasureId::ValueAtX, -a * std::cos(w * x), a * (w * dt) * (w * dt) / 8},
            {MeasureId::Cursor1, a, 1e-12},  // on the peak
            {MeasureId::Rms, a * std::sqrt((n / 2 + 1) / (n + 1)), 1e-12},
            {MeasureId::Min, -a, 1e-12},
            {MeasureId::Period, kPeriod, dt / 100},
            {MeasureId::Frequency, 1 / kPeriod, 1e-2 / kPeriod},
            {MeasureId::Duty, 0.5, 0.01},
            {MeasureId::Ripple, 2 * a, 1e-12},
            {MeasureId::CycleAvg, 0, 1e-12},
            {MeasureId::CycleRms, a / std::sqrt(2.0), 1e-12},
            {MeasureId::CycleMin, -a, 1e-12},
            {MeasureId::CycleMax, a, 1e-12},
            {MeasureId::FallTime, riseTime, dt},
            {MeasureId::Rises, 2, 0},
            {MeasureId::TimeRms, a / std::sqrt(2.0), 1e-12},
        };
        for (const auto& c : figures) {
            SCOPED_TRACE(CatalogueEntry(c.id).key);
            EXPECT_NEAR(at(static_cast<size_t>(c.id)), c.expected, c.tolerance);
        }
        // Cursor 2 is hidden; dead times and loop margins need a second curve.
        for (const MeasureId id :
             {MeasureId::Cursor2, MeasureId::DeadTimeTo, MeasureId::PhaseMargin})
            EXPECT_FALSE(v[static_cast<size_t>(id)].has_value());
    }
    // The names are coloured as the runs are drawn.
    EXPECT_EQ(rows[2].colour, RunAppearance(screen.Curve(0).colour, 2, 3, 1, false).colour);
    EXPECT_EQ(RunTableHeader(screens, columns[0]), "v: at 0.0001");
    EXPECT_EQ(RunTableHeader(screens, {0, 5, RunMeasure::Max, 0}), "(no curve): Max");
}

TEST(RunTable, ColumnsOverTwoCurves) {
    CGraphCurve screen = test::ScreenOver(MakeData({"t", "a", "b"}, test::Switches()), 0, 10);
    const std::vector<CGraphCurve*> screens{&screen};
    RunColumnChoice choice{0, 0, RunMeasure::DeadTimeTo, std::pair{0, 1}, ""};
    const RunTableColumn dead = RunColumnFrom(choice).column;
    choice = {0, 1, RunMeasure::CycleAvg, std::pair{0, 0}, ""};
    const RunTableColumn cycleAvg = RunColumnFrom(choice).column;
    const auto rows = RunTableRows(screens, {dead, cycleAvg}, 0, 10, {}, {});
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_NEAR(rows[0].values[0].value_or(NAN), 0.2, 1e-9);
    // a's cycles run from 0.995 to 4.995 by its mid-level crossings; b is on for 1.6 of the 4.
    EXPECT_NEAR(rows[0].values[1].value_or(NAN), 0.4, 0.01);
    EXPECT_EQ(RunTableHeader(screens, dead), "a: Dead Time to b");
    EXPECT_EQ(RunTableHeader(screens, cycleAvg), "b: Cycle Avg (reference a)");

    const struct {
        RunColumnChoice choice;
        const char* problem;
    } refused[] = {
        {{0, 0, RunMeasure::DeadTimeTo, std::nullopt, ""}, "Choose a second curve."},
        {{0, 0, RunMeasure::PhaseMargin, std::pair{0, 0}, ""}, "Choose a second curve."},
        {{0, 0, RunMeasure::SlopeAtX, std::nullopt, "abc"}, "X must be a number."},
        {{0, 0, RunMeasure::CycleAvg, std::nullopt, ""}, ""},  // its own reference
    };
    for (const auto& c : refused) EXPECT_EQ(RunColumnFrom(c.choice).problem, c.problem);
}

TEST(RunTable, HiddenRunsLeftOutAndMissingVariablesGiveNoValue) {
    CResultDataRef data = MakeData({"t", "v"}, {{0, 1, 2}, {1, 2, 3}});
    data->AddRun(MakeData({"t", "v"}, {{0, 1}, {5, 5}}).Get(), "hidden");
    data->AddRun(MakeData({"t", "w"}, {{0, 1}, {7, 7}}).Get(), "");
    data->AddRun(MakeData({"s", "v"}, {{0, 1}, {7, 7}}).Get(), "no t");
    CGraphCurve screen = test::ScreenOver(data, 0, 2);
    screen.SetRunShown(1, false);
    const std::vector<RunTableColumn> columns{
        {0, 0, RunMeasure::Max, 0}, {0, 3, RunMeasure::Max, 0}, {4, 0, RunMeasure::Max, 0}};
    const auto rows = RunTableRows({&screen}, columns, 0, 2, std::nullopt, std::nullopt);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].values[0], 3.0);
    for (const auto& r : rows) {
        EXPECT_FALSE(r.values[1].has_value());  // no such curve
        EXPECT_FALSE(r.values[2].has_value());  // no such screen
    }
    EXPECT_EQ(rows[1].run, 2);
    EXPECT_EQ(rows[1].name, "Run 3");
    EXPECT_FALSE(rows[1].values[0].has_value());
    EXPECT_FALSE(rows[2].values[0].has_value());
}

TEST(RunTable, RangeUndoesTheLogAxis) {
    CGraphCurve screen = test::ScreenOver(MakeData({"t", "v"}, {{1, 10, 100}, {1, 2, 3}}), 0, 2);
    screen.StoreScales(1, 0, 0);
    screen.Cursor(1).shown = 1;
    screen.Cursor(1).x = 1;
    const RunTableRange r = RunTableRangeOf(screen);
    EXPECT_DOUBLE_EQ(r.from, 1);
    EXPECT_DOUBLE_EQ(r.to, 100);
    EXPECT_FALSE(r.cursor1.has_value());
    EXPECT_DOUBLE_EQ(*r.cursor2, 10);
}

TEST(RunTable, TextQuotesOnlyWhatTheSeparatorWouldBreak) {
    const std::vector<RunTableRow> rows{{0, "R=1,C=2", {1.0 / 3, std::nullopt}},
                                        {1, "say \"x\"", {-2e-20, 1e300}}};
    const std::vector<std::string> headers{"v: Avg", "i, out: RMS"};
    EXPECT_EQ(RunTableText(rows, headers, '\t'),
              "Run\tv: Avg\ti, out: RMS\n"
              "R=1,C=2\t0.3333333333\t\n"
              "\"say \"\"x\"\"\"\t-2e-20\t1e+300\n");
    EXPECT_EQ(RunTableText(rows, headers, ','),
              "Run,v: Avg,\"i, out: RMS\"\n"
              "\"R=1,C=2\",0.3333333333,\n"
              "\"say \"\"x\"\"\",-2e-20,1e+300\n");
}

}  // namespace
}  // namespace kurvex
