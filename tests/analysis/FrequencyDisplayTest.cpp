#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "analysis/AnalysisTestSupport.h"
#include "analysis/FftWorker.h"
#include "analysis/FrequencyDisplay.h"
#include "formula/FormulaTestSupport.h"
#include "graph/Zoom.h"

namespace kurvex {
namespace {

using test::Fixture;
using test::Gate;
using test::kRows;
using test::OneSine;
using test::Screen;

// Time, a 5-amplitude 10 Hz sine "a" and a 2-amplitude 20 Hz sine "b".
CResultDataRef SineData(const std::string& xName = "Time") {
    return test::MakeData({xName, "a", "b"},
                          {test::Ramp(kRows, 0.001), test::SineWave(5.0, 10.0, kRows),
                           test::SineWave(2.0, 20.0, kRows)});
}

void ExpectPlanUnset(const CGraphCurve& g) {
    const FrequencyState& f = g.Frequency();
    EXPECT_FALSE(f.xColumn);
    EXPECT_FALSE(f.gridSampleCount);
    EXPECT_EQ(f.value, 0);
}

TEST(FrequencyDisplay, EnableRulesFollowTheLastScreen) {
    const CResultDataRef time = SineData("tIME");
    const CResultDataRef other = SineData("Temps");
    CGraphCurve t = Screen(time, {1});
    CGraphCurve o = Screen(other, {1});
    CGraphCurve onA = Screen(time, {1});
    onA.SetXIndex(1);
    CGraphCurve spectra = Screen(time, {1});
    spectra.StoreScales(0, 0, 1);

    EXPECT_FALSE(PerformFftEnabled({}));
    EXPECT_FALSE(TimeDomainEnabled({}));
    EXPECT_TRUE(PerformFftEnabled({&t}));
    EXPECT_TRUE(PerformFftEnabled({&o, &t}));
    EXPECT_FALSE(PerformFftEnabled({&t, &o}));
    EXPECT_FALSE(PerformFftEnabled({&t, &onA}));
    EXPECT_FALSE(PerformFftEnabled({&t, &spectra}));
    EXPECT_TRUE(TimeDomainEnabled({&t, &spectra}));
    EXPECT_FALSE(TimeDomainEnabled({&spectra, &t}));
}

TEST(FrequencyDisplay, SwitchesEveryScreenAndBackWithTitlesRangesAndUndo) {
    const CResultDataRef data = SineData();
    CGraphCurve a = Screen(data, {1});
    CGraphCurve b = Screen(data, {2, 1});
    test::RecordingMessages said;

    const DomainSwitchResult in = ToggleFrequencyDisplay({&a, &b}, said);
    EXPECT_EQ(in.did, DomainSwitch::kToFrequency);
    for (CGraphCurve* s : {&a, &b}) {
        EXPECT_EQ(s->FreqDisplay(), 1);
        EXPECT_EQ(s->XTitle(), "Frequency");
        ASSERT_EQ(s->UndoStack().size(), 1u);
        // 501 bins of 1 Hz fill the X range; Y has room above the peak.
        EXPECT_GE(s->XRange().to, 500.0);
        EXPECT_GT(s->YRange().to, 5.0);
        EXPECT_EQ(s->XColumn().get(), s->Frequency().xColumn.get());
    }
    EXPECT_NEAR(b.Curve(0).spectrum->Values()[20], 2.0, 0.05);
    EXPECT_NEAR(b.Curve(1).spectrum->Values()[10], 5.0, 0.05);

    const DomainSwitchResult out = ToggleFrequencyDisplay({&a, &b}, said);
    EXPECT_EQ(out.did, DomainSwitch::kToTime);
    for (CGraphCurve* s : {&a, &b}) {
        EXPECT_EQ(s->FreqDisplay(), 0);
        EXPECT_EQ(s->XTitle(), "Time");
        EXPECT_EQ(s->UndoStack().size(), 2u);
        EXPECT_FALSE(s->Curve(0).spectrum);
        EXPECT_NEAR(s->XRange().from, 0.0, 1e-12);
        EXPECT_NEAR(s->XRange().to, 1.0, 1e-12);
        EXPECT_EQ(s->XColumn().get(), data->Variable(0));
    }
}

TEST(FrequencyDisplay, AnalysedRangeIsTheLastScreensVisibleXWithinTheData) {
    struct Case {
        double from, to;
        bool logX;
        double start, end;
    };
    const Case cases[] = {
        {-1.0, 2.0, false, 0.0, 1.0},
        {-1.0, std::log10(0.5), true, 0.1, 0.5},
    };
    const CResultDataRef data = SineData();
    for (const Case& c : cases) {
        CGraphCurve a = Screen(data, {1});
        CGraphCurve last = Screen(data, {2});
        if (c.logX) last.SetXScale(1);
        last.SetXYRange(c.from, c.to, 0.0, -6.0, 6.0, 2.0, RangeFlags{});
        test::RecordingMessages said;
        ASSERT_EQ(ToggleFrequencyDisplay({&a, &last}, said).did, DomainSwitch::kToFrequency);
        EXPECT_NEAR(a.Frequency().fftStart, c.start, 1e-12) << c.from;
        EXPECT_NEAR(a.Frequency().fftEnd, c.end, 1e-12) << c.to;
    }
}

TEST(FrequencyDisplay, PlanIsReusedWhileShowingSpectraAndMadeAnewAfterAChange) {
    const CResultDataRef data = SineData();
    CGraphCurve a = Screen(data, {1});
    CGraphCurve b = Screen(data, {2}, 0.25, 0.75);
    test::RecordingMessages said;
    ASSERT_EQ(ToggleFrequencyDisplay({&a}, said).did, DomainSwitch::kToFrequency);
    const RefPtr<CResultVariable> first = a.Frequency().xColumn;
    const RefPtr<CResultVariable> firstSpectrum = a.Curve(0).spectrum;

    ASSERT_EQ(ToggleFrequencyDisplay({&a, &b}, said).did, DomainSwitch::kToFrequency);
    EXPECT_EQ(a.Frequency().xColumn.get(), first.get());
    EXPECT_NE(a.Curve(0).spectrum.get(), firstSpectrum.get());  // spectra recomputed
    EXPECT_DOUBLE_EQ(b.Frequency().fftEnd, 0.75);

    ASSERT_EQ(ToggleFrequencyDisplay({&a, &b}, said).did, DomainSwitch::kToTime);
    ExpectPlanUnset(a);
    ASSERT_EQ(ToggleFrequencyDisplay({&a, &b}, said).did, DomainSwitch::kToFrequency);
    EXPECT_NE(a.Frequency().xColumn.get(), first.get());
    EXPECT_DOUBLE_EQ(a.Frequency().fftStart, 0.25);
    EXPECT_DOUBLE_EQ(a.Frequency().fftEnd, 0.75);
}

TEST(FrequencyDisplay, ScreenWithoutAPlanStaysInTheTimeDomainUntouched) {
    // X has an invalid sample in the range, which no plan can take.
    const CResultDataRef broken = SineData();
    broken->Variable(0)->Flags()[500] = kPointInvalid;
    for (const bool brokenLast : {false, true}) {
        SCOPED_TRACE(brokenLast);
        CGraphCurve bad = Screen(broken, {1});
        CGraphCurve good = Screen(SineData(), {1});
        test::RecordingMessages said;
        const DomainSwitchResult r = ToggleFrequencyDisplay(
            brokenLast ? std::vector{&good, &bad} : std::vector{&bad, &good}, said);
        // Without the last screen's spectra the whole view stays as it was.
        EXPECT_EQ(r.did, brokenLast ? DomainSwitch::kNothing : DomainSwitch::kToFrequency);
        if (!brokenLast) {
            EXPECT_EQ(r.screensWithoutPlan, 1);
        }
        EXPECT_EQ(bad.FreqDisplay(), 0);
        EXPECT_TRUE(bad.UndoStack().empty());
        ExpectPlanUnset(bad);
        EXPECT_EQ(good.FreqDisplay(), brokenLast ? 0 : 1);
        EXPECT_EQ(good.UndoStack().empty(), brokenLast);
        EXPECT_TRUE(said.shown.empty());
    }
}

TEST(FrequencyDisplay, InvalidPointsMetOnTheWayBackAreReportedOnce) {
    const CResultDataRef data = SineData();
    CGraphCurve a = Screen(data, {1});
    CGraphCurve b = Screen(data, {2});
    a.SetYScale(1);  // the sines go negative
    b.SetYScale(1);
    test::RecordingMessages said;
    ASSERT_EQ(ToggleFrequencyDisplay({&a, &b}, said).did, DomainSwitch::kToFrequency);
    EXPECT_TRUE(said.shown.empty());
    const DomainSwitchResult r = ToggleFrequencyDisplay({&a, &b}, said);
    EXPECT_TRUE(r.invalidPoints);
    ASSERT_EQ(said.shown.size(), 1u);
    EXPECT_EQ(said.shown[0].first, kInvalidPointsWarning);
}

TEST(FrequencyDisplay, RefusedWhileAnotherAnalysisRuns) {
    Fixture f;
    CGraphCurve g = Screen(SineData(), {1});
    Gate gate;
    FftWorker other;
    ASSERT_TRUE(other.Start(f.Task({1}), gate.Hook()));
    gate.WaitReached();
    test::RecordingMessages said;
    EXPECT_EQ(ToggleFrequencyDisplay({&g}, said).did, DomainSwitch::kBusy);
    EXPECT_EQ(g.FreqDisplay(), 0);
    EXPECT_TRUE(g.UndoStack().empty());
    gate.Open();
    other.Wait();
}

TEST(FrequencyDisplay, CancelledCurveShowsEmptyAndTheOthersTheirSpectra) {
    const CResultDataRef data = SineData();
    CGraphCurve g = Screen(data, {1, 2});
    FftWorker worker;
    FftSession session;
    session.worker = &worker;
    session.progress = [&](const FftProgress& p) {
        if (p.curve == 0 && p.stage == FftStage::kCurveStarted) worker.CancelCurve();
    };
    int waited = 0;
    session.whileRunning = [&](FftWorker& w) {
        EXPECT_EQ(&w, &worker);
        ++waited;
    };
    test::RecordingMessages said;
    ASSERT_EQ(ToggleFrequencyDisplay({&g}, said, session).did, DomainSwitch::kToFrequency);
    EXPECT_EQ(waited, 1);
    ASSERT_TRUE(g.Curve(0).spectrum);
    EXPECT_EQ(g.Curve(0).spectrum->Capacity(), 0);
    EXPECT_NEAR(g.Curve(1).spectrum->Values()[20], 2.0, 0.05);
}

TEST(FrequencyDisplay, UndoGoesBackAcrossTheDomainSwitch) {
    CGraphCurve screen = Screen(SineData(), {1, 2}, 0.0, 1.0);
    const AxisRange timeX = screen.XRange(), timeY = screen.YRange();
    test::RecordingMessages messages;
    ASSERT_EQ(ToggleFrequencyDisplay({&screen}, messages).did, DomainSwitch::kToFrequency);

    // Undo of the FFT: the time display with its ranges, its title and no spectra.
    EXPECT_TRUE(UndoWithDisplay({&screen}, messages).done);
    EXPECT_EQ(screen.FreqDisplay(), 0);
    EXPECT_EQ(screen.XTitle(), "Time");
    EXPECT_EQ(screen.XRange(), timeX);
    EXPECT_EQ(screen.YRange(), timeY);
    EXPECT_FALSE(screen.Curve(0).spectrum);
    EXPECT_TRUE(screen.UndoStack().empty());
}

TEST(FrequencyDisplay, LogAxesShowTheLogarithmsOfFrequenciesAndAmplitudes) {
    CGraphCurve screen = Screen(SineData(), {1}, 0.0, 1.0);
    test::RecordingMessages messages;
    ASSERT_EQ(ToggleFrequencyDisplay({&screen}, messages).did, DomainSwitch::kToFrequency);
    const RefPtr<CResultVariable> hz = screen.XColumn();
    const RefPtr<CResultVariable> amp = screen.YColumn(screen.Curve(0));
    screen.SetXScale(1);
    bool invalid = false;
    screen.SetYScale(1);
    const RefPtr<CResultVariable> logHz = screen.XColumn(&invalid);
    const RefPtr<CResultVariable> logAmp = screen.YColumn(screen.Curve(0));
    ASSERT_TRUE(logHz && logAmp);
    EXPECT_FALSE(invalid);  // 0 Hz is a gap on a log axis, not a warning
    EXPECT_EQ(logHz->Flags()[0], kPointInvalid);
    EXPECT_DOUBLE_EQ(logHz->Values()[10], std::log10(hz->Values()[10]));
    EXPECT_DOUBLE_EQ(logAmp->Values()[10], std::log10(amp->Values()[10]));
}

TEST(FrequencyDisplay, TheWindowInForceMakesAndRecomputesTheShownSpectraInPlace) {
    // 10.5 Hz lies between two bins: the rectangular window loses much of the
    // peak there, the flat-top window keeps it.
    CGraphCurve a = Screen(OneSine(5.0, 1.0, 10.5), {1});
    const auto peak = [&] {
        return std::max(a.Curve(0).spectrum->Values()[10], a.Curve(0).spectrum->Values()[11]);
    };
    test::RecordingMessages said;
    EXPECT_EQ(RecomputeSpectra({&a}, {}), DomainSwitch::kNothing);  // no spectra shown
    FftSession flatTop;
    flatTop.window = FftWindow::kFlatTop;
    ASSERT_EQ(ToggleFrequencyDisplay({&a}, said, flatTop).did, DomainSwitch::kToFrequency);
    EXPECT_NEAR(peak(), 5.0, 0.01);
    const AxisRange x = a.XRange();
    const std::int32_t points = a.Frequency().value;
    const auto undo = a.UndoStack().size();

    bool invalid = true;
    EXPECT_EQ(RecomputeSpectra({&a}, FftSession{}, &invalid), DomainSwitch::kToFrequency);
    EXPECT_FALSE(invalid);
    EXPECT_GE(peak(), 3.0);
    EXPECT_LE(peak(), 3.4);
    // The view stays where it was: same range, plan and undo stack.
    EXPECT_EQ(a.XRange(), x);
    EXPECT_EQ(a.Frequency().value, points);
    EXPECT_EQ(a.UndoStack().size(), undo);
}

}  // namespace
}  // namespace kurvex
