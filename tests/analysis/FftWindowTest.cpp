#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <numbers>
#include <vector>

#include "TestSupport.h"
#include "analysis/AnalysisTestSupport.h"
#include "analysis/FftPlan.h"
#include "analysis/FftWindow.h"
#include "analysis/Harmonics.h"
#include "analysis/SpectrumExport.h"
#include "formula/FormulaTestSupport.h"

namespace kurvex {
namespace {

using test::MakeVar;

constexpr std::int32_t kN = 512;

// A plan for kN samples taken as they are, bins k / 1 s.
FftPlan PlanFor(FftWindow window) {
    FftPlan plan;
    plan.n = kN;
    plan.step = 1;
    plan.window = window;
    const std::int32_t m = (kN - 1) / 2 + 1;
    plan.frequency = RefPtr<CResultVariable>(CResultVariable::Create(m));
    for (std::int32_t k = 0; k < m; ++k) plan.frequency->Values()[k] = k;
    return plan;
}

// Sum of sines a * sin(2 pi bin j / N + phase) plus an offset.
std::vector<double> Signal(double offset, const std::vector<std::array<double, 3>>& parts) {
    std::vector<double> x(kN, offset);
    for (std::int32_t j = 0; j < kN; ++j) {
        for (const auto& [a, bin, phase] : parts)
            x[j] += a * std::sin(2 * std::numbers::pi * bin * j / kN + phase);
    }
    return x;
}

std::vector<double> Spectrum(FftWindow window, const std::vector<double>& x) {
    std::vector<double> a;
    EXPECT_TRUE(AmplitudeSpectrum(x, PlanFor(window), a));
    return a;
}

TEST(FftWindow, BetweenBinsOnlyTheFlatTopKeepsTheAmplitude) {
    struct Case {
        FftWindow window;
        double low, high;  // the reading of amplitude 1 half-way between bins
    };
    const Case cases[] = {
        {FftWindow::kRectangular, 0.60, 0.66},     // 2 / pi
        {FftWindow::kHann, 0.84, 0.86},            // 1.42 dB
        {FftWindow::kHamming, 0.81, 0.83},         // 1.75 dB
        {FftWindow::kBlackmanHarris, 0.90, 0.92},  // 0.83 dB
        {FftWindow::kFlatTop, 0.999, 1.001},
    };
    for (const Case& c : cases) {
        const auto a = Spectrum(c.window, Signal(0.0, {{1.0, 40.5, 1.0}}));
        const double peak = std::max(a[40], a[41]);
        EXPECT_GE(peak, c.low) << FftWindowLabel(c.window);
        EXPECT_LE(peak, c.high) << FftWindowLabel(c.window);
    }
}

TEST(FftWindow, OffsetAndHarmonicsAreExactOnBinsUnderEachWindow) {
    const double a1 = 10.0, a3 = 1.0, a5 = 0.5;
    const auto x = Signal(1.0, {{a1, 8, 0.1}, {a3, 24, 2.0}, {a5, 40, -1.0}});
    const FftPlan plan = PlanFor(FftWindow::kRectangular);
    const std::span<const double> f(plan.frequency->Values(), 256);
    for (FftWindow w : kFftWindows) {
        const auto a = Spectrum(w, x);
        EXPECT_NEAR(a[0], 1.0, 1e-9);
        // A constant under a window still reads its value at 0 Hz alone.
        const auto flat = Spectrum(w, std::vector<double>(kN, -3.0));
        EXPECT_EQ(flat[0], 3.0);
        EXPECT_EQ(flat[8], 0.0);
        const Harmonics h = FindHarmonics(f, a);
        ASSERT_TRUE(h.Ok()) << h.error;
        EXPECT_EQ(h.fundamental, 8.0);
        EXPECT_NEAR(h.amplitude, a1, 1e-9);
        ASSERT_TRUE(h.thd);
        EXPECT_NEAR(*h.thd, 100.0 * std::sqrt(a3 * a3 + a5 * a5) / a1, 1e-8) << FftWindowLabel(w);
    }
}

TEST(FftWindow, KeysAndTheSpectrumFileComment) {
    // The options store the window by its value.
    for (FftWindow w : kFftWindows) EXPECT_EQ(FftWindowFromValue(static_cast<std::int32_t>(w)), w);
    EXPECT_FALSE(FftWindowFromValue(5));

    const RefPtr<CResultVariable> f = MakeVar({0.0}, {}, "Frequency");
    const auto written = [&](FftWindow w) {
        const std::string text = test::Written(
            [&](std::FILE* file) { return WriteSpectra(file, kSpectrumFftFile, 0, 1, {f}, w); });
        const size_t first = text.find('\n') + 1;
        return text.substr(first, text.find('\n', first) + 1 - first);
    };
    EXPECT_EQ(written(FftWindow::kBlackmanHarris), ";; FFT Window: Blackman-Harris\r\n");
    // Rectangular spectra are written as they always were: the header follows.
    EXPECT_EQ(written(FftWindow::kRectangular).substr(0, 9), "  Order  ");
}

}  // namespace
}  // namespace kurvex
