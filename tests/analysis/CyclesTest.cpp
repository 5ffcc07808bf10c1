#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "analysis/Cycles.h"
#include "analysis/Edges.h"
#include "analysis/RunTable.h"
#include "formula/FormulaTestSupport.h"
#include "graph/RunColours.h"

namespace kurvex {
namespace {

// A gate G of period 10 s, I = 1 + G and a constant C over 0 .. 99 s.
CResultDataRef Converter() {
    return test::GateData(100, {"Time", "G", "I", "C"});
}

struct View {
    CGraphCurve top, bottom;
    std::vector<CGraphCurve*> screens{&top, &bottom};

    explicit View(const CResultDataRef& d) {
        for (CGraphCurve* s : screens) {
            s->SetData(d);
            s->StoreX(DataExtent{0, 99}, AxisRange{0, 99, 10});
        }
        top.AddCurve(CCurveEntry::ForColumn(d, 1));
        top.AddCurve(CCurveEntry::ForColumn(d, 2));
        CCurveEntry doubled = CCurveEntry::ForFormula("I*2");
        EXPECT_TRUE(doubled.Bind(d).ok);
        doubled.colour = 0x00FF00;
        bottom.AddCurve(doubled);
    }
    void Zoom(double from, double to) {
        for (CGraphCurve* s : screens) s->StoreX(DataExtent{0, 99}, AxisRange{from, to, 10});
    }
};

double Value(const FigureTable& t, std::size_t row, std::size_t column) {
    const auto& v = t.rows.at(row).values.at(column);
    EXPECT_TRUE(v) << t.rows[row].label << " column " << column;
    return v ? *v : NAN;
}

TEST(CycleTable, OneRowPerCurveOfEveryScreenOverTheCyclesInView) {
    View v(Converter());
    FigureTable t = CycleTable(v.screens, std::nullopt, {});
    EXPECT_EQ(t.title, "Reference G: level 5, hysteresis 1; 8 cycles, period 10, frequency 0.1");
    EXPECT_EQ(t.message, "");
    ASSERT_EQ(t.rows.size(), 3u);
    EXPECT_EQ(t.rows[2].label, "I*2");
    EXPECT_EQ(t.rows[2].colour, 0x00FF00u);
    // Columns: Avg, RMS, Min, Max, Ripple, Duty; G's trapezoids give
    // 30 V s and 287.5 V^2 s per 10 s cycle.
    EXPECT_DOUBLE_EQ(Value(t, 0, 0), 3.0);
    EXPECT_DOUBLE_EQ(Value(t, 0, 1), std::sqrt(28.75));
    EXPECT_EQ(Value(t, 0, 4), 10.0);
    EXPECT_DOUBLE_EQ(Value(t, 0, 5), 0.3);
    EXPECT_DOUBLE_EQ(Value(t, 1, 0), 4.0);
    EXPECT_FALSE(t.rows[1].values[5]);  // duty is the reference's alone
    EXPECT_DOUBLE_EQ(Value(t, 2, 0), 8.0);
    EXPECT_EQ(Value(t, 2, 2), 2.0);
    const std::string text = FigureTableText(t);
    EXPECT_EQ(text.substr(text.find('\n') + 1, text.find("\nG\t") - text.find('\n')),
              "Curve\tAvg\tRMS\tMin\tMax\tRipple\tDuty\n");
    EXPECT_NE(text.find("\nI*2\t8\t"), std::string::npos) << text;

    // Zooming keeps the crossings in view; the selected curve is the reference.
    v.Zoom(25, 60);
    v.bottom.SetSelectedCurve(0);
    t = CycleTable(v.screens, std::nullopt, {});
    EXPECT_EQ(t.title.substr(0, 44), "Reference I*2: level 12, hysteresis 2; 3 cyc");
    EXPECT_DOUBLE_EQ(Value(t, 2, 5), 0.3);
}

// Cycles of unequal peaks and troughs: the extremes are the greatest peak and
// the least trough, the ripple the mean of the cycles' spans (9 and 6).
TEST(CycleTable, ExtremesComeFromTheRightCycles) {
    const CResultDataRef d =
        test::MakeData({"Time", "G"}, {{0, 1, 2, 3, 4, 5, 6}, {0, 10, 1, 6, 0, 10, 0}});
    CGraphCurve screen;
    screen.SetData(d);
    screen.StoreX(DataExtent{0, 6}, AxisRange{0, 6, 1});
    screen.AddCurve(CCurveEntry::ForColumn(d, 1));
    const FigureTable t = CycleTable({&screen}, CurvePlace{0, 0}, {});
    ASSERT_EQ(t.title.substr(0, 44), "Reference G: level 5, hysteresis 1; 2 cycles");
    EXPECT_EQ(Value(t, 0, 2), 0.0);
    EXPECT_EQ(Value(t, 0, 3), 10.0);
    EXPECT_EQ(Value(t, 0, 4), 7.5);
}

TEST(CycleTable, SaysInWordsWhyThereAreNoCycles) {
    View v(Converter());
    struct Case {
        CurvePlace reference;
        CycleRequest request;
        const char* message;
    };
    const Case cases[] = {
        {{0, 0},
         {12.0, std::nullopt},
         "No cycles: G never rises through its level 12 after being "
         "below 11.5."},
        {{0, 0},
         {std::nullopt, 30.0},
         "No cycles: G never rises through its level 5 after being "
         "below -10."},
        {{5, 0}, {}, "No curve to measure."},
    };
    for (const Case& c : cases) {
        const FigureTable t = CycleTable(v.screens, c.reference, c.request);
        EXPECT_EQ(t.message, c.message);
        EXPECT_TRUE(t.rows.empty());
    }
    v.Zoom(5, 15);
    EXPECT_EQ(CycleTable(v.screens, CurvePlace{0, 0}, {}).message,
              "No cycles: G rises through its level 5 only once; a cycle runs from one rising "
              "crossing to the next.");
    v.top.StoreScales(0, 0, 1);
    EXPECT_EQ(CycleTable(v.screens, std::nullopt, {}).message,
              "Cycles are measured on time curves; the view shows spectra.");
}

// Straight lines between corner points, sampled every `dt` (corners on samples).
struct Shape {
    std::vector<double> x, y;

    Shape(const std::vector<std::pair<double, double>>& corners, double dt) {
        for (std::size_t c = 0; c + 1 < corners.size(); ++c) {
            const auto [x0, y0] = corners[c];
            const auto [x1, y1] = corners[c + 1];
            const auto steps = static_cast<int>(std::lround((x1 - x0) / dt));
            for (int s = 0; s < steps; ++s) {
                x.push_back(x0 + s * dt);
                y.push_back(y0 + (y1 - y0) * s / steps);
            }
        }
        x.push_back(corners.back().first);
        y.push_back(corners.back().second);
    }
    CycleTrace Trace() const {
        return {x.data(), nullptr, y.data(), nullptr, 0, static_cast<std::int32_t>(x.size()) - 1};
    }
};

// Pulses 0 -> 10 of period 1000 (units of ns): up from `on`, down from `off`.
Shape Pulses(double on, double off, double rise, double fall, int periods = 3) {
    std::vector<std::pair<double, double>> corners = {{0, 0}};
    for (int p = 0; p < periods; ++p) {
        const double t = p * 1000.0;
        corners.insert(corners.end(),
                       {{t + on, 0}, {t + on + rise, 10}, {t + off, 10}, {t + off + fall, 0}});
    }
    corners.push_back({corners.back().first + 100.0, 0});
    return Shape(corners, 1.0);
}

TEST(Edges, TrapezoidsGiveTheirTenToNinetyTimes) {
    struct Case {
        double rise, fall;
        std::optional<double> low, high;
        double share;  // of the ramp between the thresholds
    };
    for (const Case& c :
         {Case{40, 100, std::nullopt, std::nullopt, 0.8},
          Case{10, 250, std::nullopt, std::nullopt, 0.8}, Case{40, 100, -1.0, 11.0, 0.96}}) {
        const Shape s = Pulses(100, 500, c.rise, c.fall);
        const EdgeLevelsResult levels = EdgeLevelsOf(s.Trace(), "V", c.low, c.high);
        ASSERT_TRUE(levels.Ok()) << levels.error;
        const EdgeList e = FindEdges(s.Trace(), levels.levels);
        ASSERT_EQ(e.rise.size(), 3u);
        ASSERT_EQ(e.fall.size(), 3u);
        for (int p = 0; p < 3; ++p) {
            EXPECT_NEAR(e.rise[p].time, c.share * c.rise, 1e-9);
            EXPECT_NEAR(e.fall[p].time, c.share * c.fall, 1e-9);
            // Edges are timed where they cross 50 %.
            EXPECT_NEAR(e.rise[p].at, p * 1000 + 100 + c.rise / 2, 1e-9);
            EXPECT_NEAR(e.fall[p].at, p * 1000 + 500 + c.fall / 2, 1e-9);
        }
        EXPECT_NEAR(MeanEdgeTime(e.rise), c.share * c.rise, 1e-9);
    }
    EXPECT_TRUE(std::isnan(MeanEdgeTime({})));
}

TEST(Edges, OnlyEdgesThatGoAllTheWayCount) {
    // A runt pulse to 60 %, ringing around 90 % at the top and around 10 % at
    // the bottom: one rise and one fall, timed from the last time each left
    // its first threshold.
    // V leaves 10 % at 30.5, comes back, and leaves again at 33.5.
    const std::vector<std::pair<double, double>> corners = {
        {0, 0},    {10, 6},   {20, 0},   {30, 0.5}, {31, 1.5}, {32, 0.5}, {33, 0.5},
        {34, 1.5}, {42, 9.5}, {43, 8.5}, {44, 9.5}, {50, 10},  {60, 10},  {70, 0},
    };
    const Shape s(corners, 0.5);
    const EdgeList e = FindEdges(s.Trace(), {0.0, 10.0});
    ASSERT_EQ(e.rise.size(), 1u);
    ASSERT_EQ(e.fall.size(), 1u);
    // 10 % at 33.5, 90 % first reached at 34 + 8 * 7.5 / 8 = 41.5.
    EXPECT_NEAR(e.rise[0].time, 41.5 - 33.5, 1e-9);
    EXPECT_NEAR(e.fall[0].time, 0.8 * 10, 1e-9);

    // Levels that leave nothing to measure are refused in words.
    const Shape flat({{0, 3}, {10, 3}}, 1.0);
    EdgeLevelsResult r = EdgeLevelsOf(flat.Trace(), "V(sw)");
    EXPECT_EQ(r.error, "The low and high levels of V(sw) are both 3, so it has no edges.");
    r = EdgeLevelsOf(s.Trace(), "V", 5.0, 2.0);
    EXPECT_EQ(r.error, "The low level of V (5) lies above its high level (2).");
    EXPECT_TRUE(FindEdges(flat.Trace(), {3.0, 3.0}).rise.empty());
}

TEST(Edges, DeadTimesBothWaysAndOverlaps) {
    struct Case {
        double bOn, bOff;  // B's pulse; A is on from 100 to 400 of each 1000
        double ab, ba;     // A off -> B on, B off -> A on
    };
    for (const Case& c :
         {Case{500, 900, 100, 200}, Case{350, 1050, -50, 50}, Case{420, 1080, 20, 20}}) {
        const Shape a = Pulses(100, 400, 10, 10, 4);
        const Shape b = Pulses(c.bOn, c.bOff, 10, 10, 4);
        const EdgeList ea = FindEdges(a.Trace(), {0, 10});
        const EdgeList eb = FindEdges(b.Trace(), {0, 10});
        const DeadTimes d = FindDeadTimes(ea, eb);
        ASSERT_EQ(d.ab.size(), 4u);
        for (const Edge& e : d.ab) EXPECT_NEAR(e.time, c.ab, 1e-9);
        EXPECT_NEAR(d.ab[1].at, 1405, 1e-9);  // A's fall at its 50 % crossing
        // B's last fall has no A rise after it in view.
        ASSERT_GE(d.ba.size(), 3u);
        for (const Edge& e : d.ba) EXPECT_NEAR(e.time, c.ba, 1e-9);
    }
}

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
    for (std::int32_t k = 0; k < kRunMeasureCount; ++k)
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
        // Linear interpolation of a sine errs by at most a·(ω·dt)²/8.
        const double dt = 2 * kPeriod / n;
        const double w = 2 * std::numbers::pi / kPeriod;
        EXPECT_NEAR(at(0), -a * std::cos(w * x), a * (w * dt) * (w * dt) / 8);
        EXPECT_NEAR(at(1), a, 1e-12);    // cursor 1 on the peak
        EXPECT_FALSE(v[2].has_value());  // cursor 2 hidden
        // n samples of whole periods sum to 0 and their squares to n / 2; the last adds -a.
        EXPECT_NEAR(at(3), -a / (n + 1), 1e-12);
        EXPECT_NEAR(at(4), a * std::sqrt((n / 2 + 1) / (n + 1)), 1e-12);
        EXPECT_DOUBLE_EQ(at(5), -a);
        EXPECT_DOUBLE_EQ(at(6), a);
        EXPECT_NEAR(at(7), kPeriod, dt / 100);
        EXPECT_NEAR(at(8), 1 / kPeriod, 1e-2 / kPeriod);
        EXPECT_NEAR(at(9), 0.5, 0.01);
        EXPECT_NEAR(at(10), 2 * a, 1e-12);
    }
    // The names are coloured as the runs are drawn.
    EXPECT_EQ(rows[2].colour, RunAppearance(screen.Curve(0).colour, 2, 3, 1, false).colour);
    EXPECT_EQ(RunTableHeader(screens, columns[0]), "v: at 0.0001");
    EXPECT_EQ(RunTableHeader(screens, columns[3]), "v: Avg");
    EXPECT_EQ(RunTableHeader(screens, {0, 5, RunMeasure::Max, 0}), "(no curve): Max");
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
    // Nobody shows run 2 either: it goes too.
    screen.SetRunShown(2, false);
    EXPECT_EQ(RunTableRows({&screen}, columns, 0, 2, std::nullopt, std::nullopt).size(), 2u);
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
