#include <gtest/gtest.h>

#include <cmath>

#include "formula/FormulaTestSupport.h"
#include "graph/ViewLayout.h"
#include "graph/Zoom.h"

namespace kurvex {
namespace {

using test::MakeData;

TEST(ViewLayout, ScreensShareTheHeightAndTheLastTakesTheRest) {
    EXPECT_EQ(LayoutScreens(3, 800, 600, 15, 18),
              (std::vector<PlotRect>{{0, 0, 800, 179}, {0, 179, 800, 358}, {0, 358, 800, 600}}));
    EXPECT_TRUE(LayoutScreens(0, 800, 600, 15, 18).empty());
    // A view too low for its screens gives them no height rather than a negative one.
    for (const PlotRect& r : LayoutScreens(4, 100, 20, 15, 18)) EXPECT_GE(r.Height(), 0);
}

TEST(ViewLayout, FrequencyResponseGetsAmplitudeOverPhaseOnALogAxis) {
    const auto data =
        MakeData({"Frequency", "amp(V)", "phase(V)", "AMP(I)", "other"},
                 {{10, 100, 1000}, {0, -20, -40}, {0, -45, -90}, {1, 2, 3}, {5, 5, 5}});
    const DefaultScreens d = MakeDefaultScreens(data, CharMetrics{});
    ASSERT_EQ(d.screens.size(), 2u);
    const CGraphCurve& amp = *d.screens[0];
    const CGraphCurve& phase = *d.screens[1];
    ASSERT_EQ(amp.CurveCount(), 2);
    EXPECT_EQ(amp.Curve(0).formula, "amp(V)");
    EXPECT_EQ(amp.Curve(1).formula, "AMP(I)");
    EXPECT_NE(amp.Curve(0).colour, amp.Curve(1).colour);
    ASSERT_EQ(phase.CurveCount(), 1);
    EXPECT_EQ(phase.Curve(0).formula, "phase(V)");
    EXPECT_EQ(amp.XLog(), 1);
    EXPECT_EQ(phase.XLog(), 1);
    EXPECT_DOUBLE_EQ(phase.XRange().from, 1.0);  // log10(10)
    EXPECT_DOUBLE_EQ(phase.XRange().to, 3.0);
    // Y: the curves' extent and a tenth more each way, moved out onto 45 degrees.
    EXPECT_EQ(phase.YRange(), (AxisRange{-135, 45, 45}));
    EXPECT_NE(std::fmod(amp.YRange().increment, 45.0), 0.0);
    // Fitting anew keeps the degrees, to the visible part and to everything.
    CGraphCurve& p = *d.screens[1];
    for (const bool all : {false, true}) {
        p.StoreY(p.YExtent(), {-50, 7, 10});
        EXPECT_TRUE(all ? FitAll({d.screens[0].get(), &p})
                        : FitYToVisibleX({&p}) == FitYResult::FittedY);
        EXPECT_EQ(p.YRange(), (AxisRange{-135, 45, 45})) << all;
    }
    EXPECT_FALSE(amp.BottomScreen());
    EXPECT_TRUE(phase.BottomScreen());
    EXPECT_FALSE(d.chooseCurves);
}

// Which layout each set of columns gets is FirstSetup's table; here, how it is fitted.
TEST(ViewLayout, OneVariableIsShownFittedToItsData) {
    const auto two = MakeDefaultScreens(MakeData({"Time", "V"}, {{0, 1, 2}, {10, 20, 30}}), {});
    ASSERT_EQ(two.screens.size(), 1u);
    ASSERT_EQ(two.screens[0]->CurveCount(), 1);
    EXPECT_FALSE(two.chooseCurves);
    EXPECT_LE(two.screens[0]->YRange().from, 8.0);
    EXPECT_GE(two.screens[0]->YRange().to, 32.0);
    EXPECT_DOUBLE_EQ(two.screens[0]->XRange().from, 0.0);
    EXPECT_DOUBLE_EQ(two.screens[0]->XRange().to, 2.0);
    // "Freq" without both groups falls back to the ordinary set-up, on a linear axis.
    const auto freqOnly = MakeDefaultScreens(MakeData({"freq", "amp"}, {{1, 2}, {3, 4}}), {});
    ASSERT_EQ(freqOnly.screens.size(), 1u);
    EXPECT_EQ(freqOnly.screens[0]->XLog(), 0);
}

}  // namespace
}  // namespace kurvex
