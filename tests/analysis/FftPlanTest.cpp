#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <numbers>
#include <vector>

#include "analysis/AnalysisTestSupport.h"
#include "analysis/FftPlan.h"
#include "formula/FormulaTestSupport.h"

namespace kurvex {
namespace {

using test::MakeVar;
using test::Ramp;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr std::uint8_t V = kPointValid, M = kPointMissing, I = kPointInvalid;

TEST(FftPlan, ThousandAndOneSamplesGiveNEqualToTheGridAndHalfAsManyFrequencies) {
    const auto x = MakeVar(Ramp(1001, 0.004), {}, "time");  // 0 .. 4 s
    FftPlan plan;
    ASSERT_TRUE(MakeFftPlan(*x, x->Capacity(), 0.0, 4.0, plan));
    EXPECT_EQ(plan.n, 1002);
    ASSERT_EQ(plan.FrequencyPoints(), 501);
    for (std::int32_t k : {0, 1, 250, 500})
        EXPECT_DOUBLE_EQ(plan.frequency->Values()[k], k / 4.0) << k;
}

TEST(FftPlan, RangeEnclosesStartAndStopsAtTheFirstSampleReachingEndOrIsRefused) {
    struct Case {
        const char* what;
        std::vector<double> x;
        std::vector<std::uint8_t> flags;
        std::int32_t rows;
        double start, end;
        std::int32_t i0, i1 = 0, samples = 0;  // i0 -1: refused
    };
    const std::vector<double> six = Ramp(6, 1.0), eleven = Ramp(11, 1.0);
    const auto missingAt = [](std::size_t i) {
        std::vector<std::uint8_t> flags(11, V);
        flags[i] = M;
        return flags;
    };
    const Case cases[] = {
        {"steps back to enclose 2.5", eleven, {}, 11, 2.5, 7.5, 2, 8, 7},
        {"on samples: no step back", eleven, {}, 11, 3.0, 7.0, 3, 7, 5},
        {"back onto the first sample", eleven, {}, 11, 0.5, 7.5, 0, 8, 9},
        {"missing before: no step back", eleven, missingAt(2), 11, 2.5, 7.5, 3, 8, 6},
        {"missing inside: not counted", eleven, missingAt(4), 11, 2.5, 7.5, 2, 8, 6},
        {"beyond the data: all of it", eleven, {}, 11, -5.0, 20.0, 0, 10, 11},
        {"one sample", {0.0}, {}, 1, 0.0, 1.0, -1},
        {"zero width", six, {}, 6, 2.0, 2.0, -1},
        {"infinite end", six, {}, 6, 0.0, std::numeric_limits<double>::infinity(), -1},
        {"fewer samples than the data set", six, {}, 7, 0.0, 5.0, -1},
        {"invalid before start", six, {V, I, V, V, V, V}, 6, 2.0, 4.0, -1},
        {"invalid inside", six, {V, V, V, I, V, V}, 6, 1.0, 5.0, -1},
        {"NaN X inside", {0, 1, kNaN, 3, 4, 5}, {}, 6, 0.5, 4.0, -1},
        {"start past the data", six, {}, 6, 7.0, 9.0, -1},
        {"one sample in range", six, {}, 6, 5.0, 9.0, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto x = MakeVar(c.x, c.flags);
        FftPlan plan;
        plan.i0 = 7;  // a failed plan is reset, not left half made
        EXPECT_EQ(MakeFftPlan(*x, c.rows, c.start, c.end, plan), c.i0 >= 0);
        EXPECT_EQ(plan.i0, c.i0);
        if (c.i0 < 0) {
            EXPECT_FALSE(plan.frequency);
            continue;
        }
        EXPECT_EQ(plan.i1, c.i1);
        EXPECT_EQ(plan.GridPoints(), c.samples + 1);
        EXPECT_NEAR(plan.GridPoint(1) - plan.GridPoint(0), (c.end - c.start) / c.samples, 1e-12);
    }
}

TEST(FftPlan, LongGridsSnapToTheTableAndThoseOverAMillionAreDecimatedFirst) {
    struct Case {
        std::size_t samples;  // valid ones, each `gap` rows apart
        std::int32_t step, n;
        std::size_t gap = 1;
    };
    const Case cases[] = {
        {2, 1, 3},             // the smallest plan
        {19999, 1, 20000},     // at the snap limit: kept, even
        {30000, 1, 30015},     // 30,001 lies between 29,925 and 30,015
        {999999, 1, 999999},   // a grid of exactly 1,000,000: kept, then snapped
        {1000000, 2, 499905},  // one point more: every second sample, 500,000 snapped
        // Missing samples between do not widen the decimated length: 550,001
        // points of the grid, between the entries 549,423 and 550,095.
        {1100001, 2, 550095, 2},
    };
    for (const Case& c : cases) {
        const std::size_t rows = (c.samples - 1) * c.gap + 1;
        std::vector<std::uint8_t> flags(rows, M);
        for (std::size_t i = 0; i < rows; i += c.gap) flags[i] = V;
        const auto x = MakeVar(Ramp(rows, 1.0), flags);
        FftPlan plan;
        ASSERT_TRUE(MakeFftPlan(*x, x->Capacity(), 0.0, static_cast<double>(rows - 1), plan));
        EXPECT_EQ(plan.GridPoints(), static_cast<std::int32_t>(c.samples) + 1);
        EXPECT_EQ(plan.step, c.step) << c.samples;
        EXPECT_EQ(plan.n, c.n) << c.samples;
    }
}

TEST(FftResample, InterpolatesSkippingMissingAndFailsOnWhatItCannotBridge) {
    struct Case {
        const char* what;
        std::vector<double> x, y;
        std::vector<std::uint8_t> xf, yf;
        std::size_t i0;
        std::vector<double> grid, expected;  // no expected values: refused
    };
    const std::vector<double> ramp = {0, 1, 2, 3}, y4 = {1, 2, 3, 4}, grid4 = {0.0, 1.5, 2.5, 3.0};
    const std::vector<std::uint8_t> ok = {V, V, V, V};
    const Case cases[] = {
        // 99 is not a sample; past the end the last pair extrapolates.
        {"missing and past the end",
         {0, 1, 2, 4, 5},
         {0, 10, 99, 40, 30},
         {V, V, V, V, V},
         {V, V, M, V, V},
         0,
         {0.0, 0.5, 2.0, 3.5, 5.0, 6.0},
         {0.0, 5.0, 20.0, 35.0, 30.0, 20.0}},
        // An unusable start is passed over: extrapolated back from (3, 2), (4, 4).
        {"first two usable from i0",
         {0, 1, 2, 3, 4},
         {100, 100, 7, 2, 4},
         {V, V, V, V, V},
         {V, V, I, V, V},
         2,
         {2.0, 3.5},
         {0.0, 3.0}},
        // A switching instant written twice lies between grid points.
        {"equal X passed over", {0, 1, 1, 2}, {0, 1, 5, 5}, ok, ok, 0, {0.0, 2.0}, {0.0, 5.0}},
        {"invalid Y met", ramp, y4, ok, {V, V, I, V}, 0, grid4, {}},
        {"invalid X met", ramp, y4, {V, V, I, V}, ok, 0, grid4, {}},
        {"equal first pair", {0.5, 0.5, 2, 3}, y4, ok, ok, 0, grid4, {}},
        {"equal last pair", {0, 1, 2, 2}, y4, ok, ok, 0, grid4, {}},
        {"one usable sample", ramp, y4, {V, M, M, M}, ok, 0, grid4, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<double> out(c.grid.size());
        ASSERT_EQ(ResampleLinear(c.x, c.xf, c.y, c.yf, c.i0, c.grid, out), !c.expected.empty());
        for (std::size_t i = 0; i < c.expected.size(); ++i)
            EXPECT_DOUBLE_EQ(out[i], c.expected[i]) << i;
    }
}

struct Curve {
    RefPtr<CResultVariable> x, y;
    FftPlan plan;
};

// y(t) over 0 .. duration sampled every dt, planned over the whole range.
template <class F>
Curve MakeCurve(std::size_t samples, double duration, F f) {
    Curve c;
    const std::vector<double> t = Ramp(samples, duration / static_cast<double>(samples - 1));
    std::vector<double> y(samples);
    for (std::size_t i = 0; i < samples; ++i) y[i] = f(t[i]);
    c.x = MakeVar(t);
    c.y = MakeVar(y, {}, "V(out)");
    EXPECT_TRUE(MakeFftPlan(*c.x, c.x->Capacity(), 0.0, duration, c.plan));
    return c;
}

TEST(FftSpectrum, OnlyEverySthGridPointEntersAndTheSnappedLengthPadsWithZeros) {
    struct Case {
        std::size_t samples;
        std::int32_t step, n;
        double (*resampled)(std::size_t j);
    };
    const Case cases[] = {
        // 30,001 grid points in a transform of 30,015: the mean counts 14 zeros.
        {30000, 1, 30015, [](std::size_t j) { return 1.0 + 0.5 * std::sin(0.01 * j); }},
        // Only the even positions enter: 750,001 of them fill the transform's 750,141.
        {1500000, 2, 750141, [](std::size_t j) { return j % 2 == 0 ? 1.0 : -50.0; }},
    };
    for (const Case& c : cases) {
        const Curve curve = MakeCurve(c.samples, 1.0, [](double t) { return 1.0 + t; });
        std::vector<double> resampled(static_cast<std::size_t>(curve.plan.GridPoints()));
        double sum = 0.0;
        for (std::size_t j = 0; j < resampled.size(); ++j) {
            resampled[j] = c.resampled(j);
            if (j % static_cast<std::size_t>(c.step) == 0) sum += resampled[j];
        }
        std::vector<double> a;
        ASSERT_TRUE(AmplitudeSpectrum(resampled, curve.plan, a));
        EXPECT_NEAR(a[0], sum / c.n, 1e-12) << c.samples;
    }
}

// The spectrum over every grid point resampled into one array, as the
// transform's input was made before it was built in one pass.
std::vector<double> WholeGridSpectrum(const Curve& c) {
    std::vector<double> grid(static_cast<std::size_t>(c.plan.samples) + 1);
    const double delta = (c.plan.end - c.plan.start) / static_cast<double>(c.plan.samples);
    for (std::size_t j = 0; j < grid.size(); ++j)
        grid[j] = c.plan.start + static_cast<double>(j) * delta;
    const auto rows = static_cast<std::size_t>(c.x->Capacity());
    std::vector<double> resampled(grid.size()), a;
    EXPECT_TRUE(ResampleLinear({c.x->Values(), rows}, {c.x->Flags(), rows}, {c.y->Values(), rows},
                               {c.y->Flags(), rows}, c.plan.i0, grid, resampled));
    EXPECT_TRUE(AmplitudeSpectrum(resampled, c.plan, a));
    return a;
}

TEST(FftSpectrum, OnePassEqualsTheWholeGridBitForBit) {
    struct Case {
        const char* what;
        std::size_t samples;  // over a million: decimated
        double (*f)(double);
        std::size_t infAt;  // a sample made infinite, when below samples
        double lastY;       // a new last sample, close to the one before, unless NaN
    };
    const auto sine = [](double t) { return 2.0 + std::sin(2.0 * std::numbers::pi * 50.0 * t); };
    const auto level = [](double) { return -2.5; };
    const auto square = [](double t) { return std::fmod(t * 40.0, 1.0) < 0.5 ? 0.0 : 1.0; };
    const Case cases[] = {
        {"just below decimation", 999999, sine, SIZE_MAX, kNaN},
        {"just above", 1000000, square, SIZE_MAX, kNaN},
        {"decimated, padded", 1500000, sine, SIZE_MAX, kNaN},
        {"constant but one infinite sample", 1500000, level, 777777, kNaN},
        // Only the last grid point, which no pair holds, sees the change.
        {"constant but the last grid point", 1500000, level, SIZE_MAX, -2.0},
    };
    for (const Case& c : cases) {
        Curve curve = MakeCurve(c.samples, 1.0, c.f);
        if (c.infAt < c.samples) curve.y->Values()[c.infAt] = HUGE_VAL;
        if (!std::isnan(c.lastY)) {
            double* x = curve.x->Values();
            const std::size_t l = c.samples - 1;
            x[l] = x[l - 1] + (x[l] - x[l - 1]) / 10.0;
            curve.y->Values()[l] = c.lastY;
            ASSERT_TRUE(MakeFftPlan(*curve.x, curve.x->Capacity(), 0.0, x[l], curve.plan));
        }
        const std::vector<double> expected = WholeGridSpectrum(curve);
        const SpectrumResult r =
            ComputeSpectrum(curve.plan, *curve.x, *curve.y, curve.x->Capacity(), "V");
        ASSERT_TRUE(r.ok) << c.what;
        ASSERT_EQ(static_cast<std::size_t>(r.spectrum->Capacity()), expected.size()) << c.what;
        // An empty spectrum has no array to compare, and memcmp takes no null.
        EXPECT_TRUE(expected.empty() ||
                    std::memcmp(r.spectrum->Values(), expected.data(), expected.size() * 8) == 0)
            << c.what;
    }
}

TEST(FftSpectrum, EndsBeforeTheFirstNonFiniteAmplitude) {
    const double big = std::numeric_limits<double>::max();
    const Curve c = MakeCurve(64, 1.0, [](double) { return 0.0; });
    std::vector<double> overflow(static_cast<std::size_t>(c.plan.GridPoints()), big);
    overflow[3] = 0.0;  // not constant; the sums overflow
    std::vector<double> cut;
    ASSERT_TRUE(AmplitudeSpectrum(overflow, c.plan, cut));
    EXPECT_LT(cut.size(), static_cast<std::size_t>(c.plan.FrequencyPoints()));
    EXPECT_TRUE(std::all_of(cut.begin(), cut.end(), [](double v) { return std::isfinite(v); }));
    // Large but finite amplitudes are not lost to squaring.
    std::vector<double> huge(static_cast<std::size_t>(c.plan.GridPoints()));
    for (std::size_t j = 0; j < huge.size(); ++j)
        huge[j] = 1e200 * std::cos(2.0 * std::numbers::pi * 3.0 * j / c.plan.n);
    std::vector<double> a;
    ASSERT_TRUE(AmplitudeSpectrum(huge, c.plan, a));
    ASSERT_EQ(a.size(), static_cast<std::size_t>(c.plan.FrequencyPoints()));
    EXPECT_NEAR(a[3] / 1e200, 1.0, 1e-9);
}

TEST(FftSpectrum, FailedOrCancelledCurvesGetAnEmptySpectrumVariable) {
    Curve c = MakeCurve(200, 1.0, [](double t) { return std::sin(40.0 * t); });
    std::atomic<bool> cancel{true};
    const SpectrumResult cancelled =
        ComputeSpectrum(c.plan, *c.x, *c.y, c.x->Capacity(), "V(out)", &cancel);
    c.y->Flags()[50] = I;
    const SpectrumResult failed = ComputeSpectrum(c.plan, *c.x, *c.y, c.x->Capacity(), "V(out)");
    const SpectrumResult shortY =
        ComputeSpectrum(c.plan, *c.x, *MakeVar({1, 2}), c.x->Capacity(), "y");
    for (const SpectrumResult* r : {&cancelled, &failed, &shortY}) {
        EXPECT_FALSE(r->ok);
        ASSERT_TRUE(r->spectrum);
        EXPECT_EQ(r->spectrum->Capacity(), 0);
        EXPECT_EQ(r->spectrum->Kind(), kVariableSpectrum);
    }
    // A constant runs no transform, so even a cancelled analysis has its result.
    const Curve level = MakeCurve(101, 1.0, [](double) { return -2.5; });
    const SpectrumResult constant =
        ComputeSpectrum(level.plan, *level.x, *level.y, level.x->Capacity(), "V", &cancel);
    ASSERT_TRUE(constant.ok);
    EXPECT_EQ(constant.spectrum->Values()[0], 2.5);
}

}  // namespace
}  // namespace kurvex
