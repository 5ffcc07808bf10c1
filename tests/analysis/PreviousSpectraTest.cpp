#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>

#include "TestSupport.h"
#include "analysis/PreviousSpectra.h"
#include "formula/FormulaTestSupport.h"
#include "graph/PreviousRun.h"
#include "graph/Reload.h"

namespace kurvex {
namespace {

// Time over `seconds` at 1 ms and a sine "a" of `amplitude` at 10 Hz.
CResultDataRef Sine(double amplitude, double seconds = 1.0) {
    const auto rows = static_cast<size_t>(std::lround(seconds * 1000)) + 1;
    const std::vector<double> t = test::Ramp(rows, 0.001);
    std::vector<double> y(rows);
    for (size_t i = 0; i < rows; ++i) y[i] = amplitude * std::sin(2 * std::numbers::pi * 10 * t[i]);
    return test::MakeData({"Time", "a"}, {t, y});
}

CGraphCurve Screen(const CResultDataRef& data) {
    CGraphCurve g;
    g.SetData(data);
    g.AddCurve(CCurveEntry::ForColumn(data, 1));
    g.UpdateExtents();
    g.SetXTitle("Time");
    RangeFlags exact;
    exact.setIncrement = true;
    g.SetXYRange(0.0, 1.0, 0.2, -6.0, 6.0, 2.0, exact);
    return g;
}

TEST(PreviousSpectra, ThePreviousRunIsAnalysedOverTheScreensRange) {
    CGraphCurve g = Screen(Sine(5.0));
    g.ShowPreviousRun(std::make_shared<PreviousRun>(Sine(3.0)));
    EXPECT_FALSE(PreviousSpectraWanted(g));  // time domain
    test::RecordingMessages said;
    ASSERT_EQ(ToggleFrequencyDisplay({&g}, said).did, DomainSwitch::kToFrequency);
    EXPECT_TRUE(PreviousSpectraWanted(g));
    EXPECT_EQ(g.PreviousRunShown()->Follow(g), nullptr);  // not until computed
    ASSERT_TRUE(ComputePreviousSpectra(g));
    EXPECT_FALSE(PreviousSpectraWanted(g));
    CGraphCurve* shadow = g.PreviousRunShown()->Follow(g);
    ASSERT_NE(shadow, nullptr);
    EXPECT_EQ(shadow->XRange(), g.XRange());
    EXPECT_NEAR(shadow->YColumn(shadow->Curve(0))->Values()[10], 3.0, 0.05);
    EXPECT_NEAR(g.Curve(0).spectrum->Values()[10], 5.0, 0.05);

    // A previous run too short for the range shows no spectra, and is not tried again.
    CGraphCurve h = Screen(Sine(5.0));
    h.ShowPreviousRun(std::make_shared<PreviousRun>(Sine(3.0, 0.25)));
    ASSERT_EQ(ToggleFrequencyDisplay({&h}, said).did, DomainSwitch::kToFrequency);
    EXPECT_TRUE(ComputePreviousSpectra(h));
    EXPECT_FALSE(PreviousSpectraWanted(h));
    EXPECT_EQ(h.PreviousRunShown()->Follow(h), nullptr);
}

TEST(PreviousSpectra, ReadAgainTheSpectraAreMadeFromTheNewSamples) {
    CGraphCurve g = Screen(Sine(5.0));
    CGraphCurve other = Screen(Sine(5.0));
    test::RecordingMessages said;
    ASSERT_EQ(ToggleFrequencyDisplay({&other, &g}, said).did, DomainSwitch::kToFrequency);
    const AxisRange x = g.XRange();
    ASSERT_FALSE(RebindView({&other, &g}, Sine(7.0)).closeView);
    RefreshSpectra({&other, &g});
    for (CGraphCurve* s : {&other, &g}) {
        EXPECT_EQ(s->FreqDisplay(), 1);
        EXPECT_EQ(s->XRange(), x);
        EXPECT_NEAR(s->Curve(0).spectrum->Values()[10], 7.0, 0.05);
    }
    // New samples that no longer reach over the analysed range: back to time.
    ASSERT_FALSE(RebindView({&g}, Sine(7.0, 0.5)).closeView);
    RefreshSpectra({&g});
    EXPECT_EQ(g.FreqDisplay(), 0);
    EXPECT_FALSE(g.Curve(0).spectrum);
    EXPECT_EQ(g.XTitle(), "Time");
}

}  // namespace
}  // namespace kurvex
