#include <gtest/gtest.h>

#include <memory>

#include "TestSupport.h"
#include "analysis/AnalysisTestSupport.h"
#include "analysis/PreviousSpectra.h"
#include "graph/PreviousRun.h"
#include "graph/Reload.h"

namespace kurvex {
namespace {

using test::OneSine;
using test::Screen;

TEST(PreviousSpectra, ThePreviousRunIsAnalysedOverTheScreensRange) {
    CGraphCurve g = Screen(OneSine(5.0), {1});
    g.ShowPreviousRun(std::make_shared<PreviousRun>(OneSine(3.0)));
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

    // A previous run too short for the range shows no spectra, and is not tried again.
    CGraphCurve h = Screen(OneSine(5.0), {1});
    h.ShowPreviousRun(std::make_shared<PreviousRun>(OneSine(3.0, 0.25)));
    ASSERT_EQ(ToggleFrequencyDisplay({&h}, said).did, DomainSwitch::kToFrequency);
    EXPECT_TRUE(ComputePreviousSpectra(h));
    EXPECT_FALSE(PreviousSpectraWanted(h));
    EXPECT_EQ(h.PreviousRunShown()->Follow(h), nullptr);
}

TEST(PreviousSpectra, ReadAgainTheSpectraAreMadeFromTheNewSamples) {
    CGraphCurve g = Screen(OneSine(5.0), {1});
    CGraphCurve other = Screen(OneSine(5.0), {1});
    test::RecordingMessages said;
    ASSERT_EQ(ToggleFrequencyDisplay({&other, &g}, said).did, DomainSwitch::kToFrequency);
    const AxisRange x = g.XRange();
    ASSERT_FALSE(RebindView({&other, &g}, OneSine(7.0)).closeView);
    RefreshSpectra({&other, &g});
    for (CGraphCurve* s : {&other, &g}) {
        EXPECT_EQ(s->FreqDisplay(), 1);
        EXPECT_EQ(s->XRange(), x);
        EXPECT_NEAR(s->Curve(0).spectrum->Values()[10], 7.0, 0.05);
    }
    // New samples that no longer reach over the analysed range: back to time.
    ASSERT_FALSE(RebindView({&g}, OneSine(7.0, 0.5)).closeView);
    RefreshSpectra({&g});
    EXPECT_EQ(g.FreqDisplay(), 0);
    EXPECT_FALSE(g.Curve(0).spectrum);
    EXPECT_EQ(g.XTitle(), "Time");
}

}  // namespace
}  // namespace kurvex
