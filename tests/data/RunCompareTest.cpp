#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "TestSupport.h"
#include "analysis/MeasureCatalogue.h"
#include "analysis/RunTable.h"
#include "data/document/RunFiles.h"
#include "data/model/RunAdjust.h"
#include "formula/FormulaTestSupport.h"
#include "formula/FormulaVariable.h"
#include "graph/RunChoice.h"
#include "interaction/RunEdits.h"

namespace kurvex {
namespace {

constexpr double kPi = 3.14159265358979323846;

// A result of one run: X named `x`, Y named `y` = f(X) on `n` steps of `dt`.
CResultDataRef Sampled(const char* x, const char* y, int n, double dt,
                       const std::function<double(double)>& f) {
    std::vector<double> t(static_cast<size_t>(n)), v(t.size());
    for (size_t i = 0; i < t.size(); ++i) v[i] = f(t[i] = static_cast<double>(i) * dt);
    return test::MakeData({x, y}, {t, v});
}

// A simulated sine and a capture of it, delayed and seen through a 10:1 probe,
// line up on an edge, and then their difference is nothing but rounding.
TEST(RunCompare, CaptureAlignedOnAnEdgeMatchesTheSimulation) {
    const double f = 1000.0, dt = 1e-6;
    const auto sine = [&](double t) { return std::sin(2 * kPi * f * t); };
    for (const double delaySteps : {7.0, 7.3}) {
        SCOPED_TRACE(delaySteps);
        const double delay = delaySteps * dt;
        CResultDataRef joined = Sampled("time", "V(out)", 3000, dt, sine);
        const CResultDataRef capture =
            Sampled("Time (s)", "CH1", 3000, dt, [&](double t) { return 10 * sine(t - delay); });
        test::RecordingMessages messages;
        ASSERT_TRUE(AppendRuns(joined, capture, "capture", "cap.csv", messages));
        // The capture's X is shown under the simulation's X name.
        EXPECT_EQ(joined->Run(1)->Variable(0)->Name(), "time");

        RunAdjust probe;
        probe.SetMap("CH1", "V(out)");
        probe.SetScale("V(out)", 0.1);
        EXPECT_EQ(RunAdjustError(*joined->Run(1), probe, 2), "");
        std::vector<RunAdjust> perRun{RunAdjust{}, probe};
        const CResultDataRef scaled = AdjustRuns(joined, perRun);
        const AlignResult aligned =
            AlignOnEdge(*scaled.Get(), 1, 0, {"V(out)", 0.0, true, 0.25 / f});
        ASSERT_TRUE(aligned.ok) << aligned.error;
        EXPECT_NEAR(aligned.delta, -delay, 1e-4 * dt);

        perRun[1].shift = aligned.delta;
        const CResultDataRef shown = AdjustRuns(joined, perRun);
        // The file's samples stay as they were.
        EXPECT_EQ(joined->Run(1)->Variable(0)->Values()[5], 5 * dt);
        EXPECT_EQ(joined->Run(1)->Variable(1)->Name(), "CH1");
        const FormulaBuild diff = BuildFormulaVariable(shown, "V(out)@2-V(out)@1");
        ASSERT_TRUE(diff.variable) << diff.error.message;
        // Where only one run has samples there is no difference, and no fault either.
        EXPECT_FALSE(diff.anyInvalid);
        int compared = 0;
        // A whole-step delay meets the samples themselves; otherwise the
        // capture is read between its samples, and a line is not a sine.
        const double bound = delaySteps == 7.0 ? 1e-9 : std::pow(2 * kPi * f * dt, 2);
        for (int i = 0; i < shown->RowCount(); ++i) {
            const double d = diff.variable->Values()[i];
            if (std::isnan(d)) continue;
            ++compared;
            ASSERT_LT(std::fabs(d), bound) << "at row " << i;
        }
        EXPECT_GT(compared, 2900);
    }
}

TEST(RunCompare, RunsJoinByTheKindOfTheirX) {
    struct Case {
        const char* shown;
        const char* added;
        bool joins;
    };
    for (const Case& c : {Case{"time", "Time (s)", true}, Case{"TIME", "t", true},
                          Case{"frequency", "Freq [Hz]", true}, Case{"Time", "Frequency", false},
                          Case{"volts", "volts", true}, Case{"volts", "time", false}}) {
        SCOPED_TRACE(std::string(c.shown) + " + " + c.added);
        const auto one = [](double) { return 1.0; };
        EXPECT_EQ(XJoins(*Sampled(c.shown, "a", 3, 1, one).Get(),
                         *Sampled(c.added, "b", 3, 1, one).Get()),
                  c.joins);
    }
    // The reader's word outweighs the name.
    CResultDataRef scope = Sampled("s", "CH1", 3, 1, [](double) { return 0.0; });
    scope->SetXKind(XKind::Time);
    EXPECT_TRUE(
        XJoins(*Sampled("time", "V", 3, 1, [](double) { return 0.0; }).Get(), *scope.Get()));
}

TEST(RunCompare, AdjustmentsSurviveTheSettingsFileAndLeaveNoStaleKeys) {
    RunChoice choice;
    RunAdjust a;
    a.shift = -1.25e-5;
    a.SetMap("CH1", "V(out)");
    a.SetMap("CH2", "I(L1)");
    a.SetScale("V(out)", 0.1);
    SetAdjustment(choice, "scope = 1; capture", a);
    RunAdjust b;
    b.SetScale("I(L1)", -2);
    SetAdjustment(choice, "sim", b);
    IniFile ini;
    WriteRunChoice(choice, ini);
    EXPECT_EQ(ReadRunChoice(IniFile::Parse(ini.Text())), choice);

    // Cleared, the keys go empty and read back as no adjustment at all.
    SetAdjustment(choice, "scope = 1; capture", RunAdjust{});
    SetAdjustment(choice, "sim", RunAdjust{});
    WriteRunChoice(choice, ini);
    EXPECT_TRUE(ReadRunChoice(IniFile::Parse(ini.Text())).adjusted.empty());
    // A file that never had them gets none.
    IniFile plain;
    WriteRunChoice(RunChoice{}, plain);
    EXPECT_FALSE(plain.HasSection("Runs"));
}

TEST(RunCompare, RunEditsRefuseWhatCannotApply) {
    const CResultDataRef data = [] {
        CResultDataRef d = Sampled("time", "V", 100, 1e-3, [](double t) { return t; });
        CResultDataRef flat = Sampled("time", "V", 100, 1e-3, [](double) { return 5.0; });
        test::RecordingMessages m;
        EXPECT_TRUE(AppendRuns(d, flat, "flat", "flat.txt", m));
        return d;
    }();
    const std::vector<std::string> names = RunChoiceNames(*data.Get());
    const RunChoice none;
    struct Case {
        const char* what;
        RunEdit edit;
        const char* problem;
    };
    const Case cases[] = {
        {"shift text", ShiftRun(none, "flat", "soon"), "The shift must be a number."},
        {"two numbers", ShiftRun(none, "flat", "0-0.0121"), "The shift must be a number."},
        {"zero factor", ScaleRun(none, "flat", "V", "0"),
         "The factor must be a number other than 0."},
        {"reference", AlignRun(none, *data.Get(), names, 0, 0, "V", "0.5", true, ""),
         "The reference run stays where it is: choose another run."},
        {"no crossing", AlignRun(none, *data.Get(), names, 1, 0, "V", "0.05", true, ""),
         "\"V\" of run 2 has no rising crossing of 0.05."},
        {"bad after", AlignRun(none, *data.Get(), names, 1, 0, "V", "1", true, "x"),
         "\"After X\" must be a number, or empty for the start."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.edit.problem, c.problem);
        EXPECT_EQ(c.edit.choice, none);
    }
    // A suffix reads as the controls read it; a scale follows its variable's new name.
    EXPECT_DOUBLE_EQ(AdjustmentOf(ShiftRun(none, "flat", "12.5u").choice, "flat").shift, 12.5e-6);
    RunChoice mapped = ScaleRun(none, "flat", "V", "10").choice;
    mapped = MapRun(mapped, "flat", "V", "V(out)").choice;
    EXPECT_EQ(AdjustmentOf(mapped, "flat").ScaleOf("V(out)"), 10.0);
    EXPECT_EQ(AdjustmentOf(mapped, "flat").ScaleOf("V"), 1.0);
    EXPECT_EQ(
        RunLegendText("capture", AdjustmentOf(ShiftRun(mapped, "flat", "12.3u").choice, "flat"),
                      "V(out)", "time"),
        "V [capture, +12.3 \u00B5s, \u00D710]");
    EXPECT_EQ(RunRowText("flat", AdjustmentOf(mapped, "flat"), "time"),
              "flat  [V shows as V(out); V(out) \u00D710]");
}

TEST(RunCompare, DifferenceRmsAgainstAClosedForm) {
    // 1 + sin against 1 over whole periods: the difference is a sine, RMS 1/√2.
    const int n = 4001;
    const double dt = 1e-3;
    std::vector<double> x(n), a(n), b(n, 1.0);
    std::vector<std::uint8_t> flags(n, kPointValid);
    for (int i = 0; i < n; ++i) {
        x[i] = i * dt;
        a[i] = 1 + std::sin(2 * kPi * x[i]);
    }
    const CurveSamples sa{{}, {}, x.data(), flags.data(), a.data(), flags.data(), n, n, true};
    const CurveSamples sb{{}, {}, x.data(), flags.data(), b.data(), flags.data(), n, n, true};
    MeasureContext c(TraceOfSamples(sa, 0, n - 1), "a", {});
    EXPECT_FALSE(c.Measure(MeasureId::DiffRms).value);
    c.SetOther(TraceOfSamples(sb, 0, n - 1), "b");
    EXPECT_NEAR(*c.Measure(MeasureId::DiffRms).value, std::sqrt(0.5), 1e-6);

    const std::vector<RunTableRow> two = {{0, "sim", {1.0, std::nullopt}},
                                          {1, "capture", {1.5, 2.0}}};
    const std::optional<RunTableRow> d = RunTableDifference(two);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->name, "capture \u2212 sim");
    EXPECT_EQ(d->values[0], 0.5);
    EXPECT_FALSE(d->values[1]);
    EXPECT_FALSE(RunTableDifference({two[0], two[1], two[1]}));
}

}  // namespace
}  // namespace kurvex
