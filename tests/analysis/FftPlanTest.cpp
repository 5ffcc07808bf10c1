#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <numbers>
#include <numeric>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "analysis/Fft.h"
#include "analysis/FftPlan.h"
#include "analysis/FftSizeTable.h"
#include "analysis/FftWindow.h"
#include "analysis/FrequencyDisplay.h"
#include "analysis/Harmonics.h"
#include "analysis/SpectrumExport.h"
#include "analysis/ViewFiles.h"
#include "formula/FormulaTestSupport.h"
#include "graph/Export.h"

namespace kurvex {
namespace {

using test::Ramp;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr std::uint8_t V = kPointValid, M = kPointMissing, I = kPointInvalid;

// A variable with the given samples and flags (all valid when none are given).
RefPtr<CResultVariable> MakeVar(const std::vector<double>& values,
                                std::vector<std::uint8_t> flags = {},
                                const std::string& name = "Time") {
    if (flags.empty()) flags.assign(values.size(), V);
    RefPtr<CResultVariable> v(CResultVariable::Create(static_cast<std::int32_t>(values.size())));
    std::copy(values.begin(), values.end(), v->Values());
    std::copy(flags.begin(), flags.end(), v->Flags());
    v->SetName(name);
    return v;
}

std::int32_t Rows(const RefPtr<CResultVariable>& v) {
    return v->Capacity();
}

TEST(FftPlan, ThousandAndOneSamplesGiveNEqualToTheGridAndHalfAsManyFrequencies) {
    const auto x = MakeVar(Ramp(1001, 0.004), {}, "time");  // 0 .. 4 s
    FftPlan plan;
    ASSERT_TRUE(MakeFftPlan(*x, Rows(x), 0.0, 4.0, plan));
    EXPECT_EQ(plan.i0, 0);
    EXPECT_EQ(plan.i1, 1000);
    EXPECT_EQ(plan.GridPoints(), 1002);
    EXPECT_EQ(plan.n, 1002);
    EXPECT_EQ(plan.step, 1);
    ASSERT_EQ(plan.FrequencyPoints(), 501);
    for (std::int32_t k : {0, 1, 250, 500})
        EXPECT_DOUBLE_EQ(plan.frequency->Values()[k], k / 4.0) << k;
    EXPECT_DOUBLE_EQ(plan.GridPoint(0), 0.0);
    EXPECT_NEAR(plan.GridPoint(1001), 4.0, 1e-12);
    EXPECT_NEAR(plan.GridPoint(1) - plan.GridPoint(0), 4.0 / 1001, 1e-15);
    const CResultVariable& v = *plan.frequency;
    EXPECT_EQ(v.Name(), "Frequency");
    EXPECT_EQ(v.Kind(), kVariableSpectrum);
    for (std::int32_t i = 0; i < v.Capacity(); ++i) ASSERT_EQ(v.Flags()[i], V);
    EXPECT_DOUBLE_EQ(v.Min(), v.Values()[0]);
    EXPECT_DOUBLE_EQ(v.Max(), v.Values()[v.Capacity() - 1]);
}

TEST(FftPlan, RangeEnclosesStartAndStopsAtTheFirstSampleReachingEnd) {
    struct Case {
        double start, end;
        std::vector<std::uint8_t> flags;
        std::int32_t i0, i1, samples;
    };
    // X = 0, 1, ..., 10
    const Case cases[] = {
        {2.5, 7.5, {}, 2, 8, 7},                                 // steps back to enclose 2.5
        {3.0, 7.0, {}, 3, 7, 5},                                 // on samples: no step back
        {0.5, 7.5, {}, 0, 8, 9},                                 // back onto the first sample
        {2.5, 7.5, {V, V, M, V, V, V, V, V, V, V, V}, 3, 8, 6},  // missing before: no step back
        {2.5, 7.5, {V, V, V, V, M, V, V, V, V, V, V}, 2, 8, 6},  // missing inside: not counted
        {-5.0, 20.0, {}, 0, 10, 11},                             // beyond the data: all of it
    };
    for (const Case& c : cases) {
        const auto x = MakeVar(Ramp(11, 1.0), c.flags);
        FftPlan plan;
        ASSERT_TRUE(MakeFftPlan(*x, Rows(x), c.start, c.end, plan)) << c.start;
        EXPECT_EQ(plan.i0, c.i0) << c.start;
        EXPECT_EQ(plan.i1, c.i1) << c.start;
        EXPECT_EQ(plan.GridPoints(), c.samples + 1) << c.start;
        EXPECT_NEAR(plan.GridPoint(1) - plan.GridPoint(0), (c.end - c.start) / c.samples, 1e-12);
    }
}

TEST(FftPlan, RefusesRangesNoPlanCanCover) {
    struct Case {
        const char* what;
        std::vector<double> x;
        std::vector<std::uint8_t> flags;
        std::int32_t rows;
        double start, end;
    };
    const std::vector<double> x = Ramp(6, 1.0);
    const Case cases[] = {
        {"one sample", {0.0}, {}, 1, 0.0, 1.0},
        {"zero width", x, {}, 6, 2.0, 2.0},
        {"reversed", x, {}, 6, 3.0, 2.0},
        {"NaN start", x, {}, 6, kNaN, 2.0},
        {"infinite end", x, {}, 6, 0.0, std::numeric_limits<double>::infinity()},
        {"fewer samples than the data set", x, {}, 7, 0.0, 5.0},
        {"invalid before start", x, {V, I, V, V, V, V}, 6, 2.0, 4.0},
        {"invalid inside", x, {V, V, V, I, V, V}, 6, 1.0, 5.0},
        {"NaN X inside", {0, 1, kNaN, 3, 4, 5}, {}, 6, 0.5, 4.0},
        {"start past the data", x, {}, 6, 7.0, 9.0},
        {"one sample in range", x, {}, 6, 5.0, 9.0},
        {"all missing", x, {M, M, M, M, M, M}, 6, 0.0, 5.0},
        {"only one valid after start", x, {V, V, V, V, M, V}, 6, 4.5, 9.0},
    };
    for (const Case& c : cases) {
        const auto v = MakeVar(c.x, c.flags);
        FftPlan plan;
        plan.i0 = 7;  // a failed plan is reset, not left half made
        EXPECT_FALSE(MakeFftPlan(*v, c.rows, c.start, c.end, plan)) << c.what;
        EXPECT_EQ(plan.i0, -1) << c.what;
        EXPECT_EQ(plan.n, 0) << c.what;
        EXPECT_EQ(plan.step, 1) << c.what;
        EXPECT_EQ(plan.GridPoints(), 0) << c.what;
        EXPECT_FALSE(plan.frequency) << c.what;
    }
}

TEST(FftPlan, LongGridsSnapToTheTableAndThoseOverAMillionAreDecimatedFirst) {
    struct Case {
        std::size_t samples;
        std::int32_t step, n;
    };
    const Case cases[] = {
        {2, 1, 3},             // the smallest plan
        {19999, 1, 20000},     // at the snap limit: kept, even
        {30000, 1, 30015},     // 30,001 lies between 29,925 and 30,015
        {30014, 1, 30015},     // a table entry keeps itself
        {999999, 1, 999999},   // a grid of exactly 1,000,000: kept, then snapped
        {1000000, 2, 499905},  // one point more: every second sample, 500,000 snapped
        {1500000, 2, 750141},  // 750,000 between the entries 749,853 and 750,141
    };
    for (const Case& c : cases) {
        const auto x = MakeVar(Ramp(c.samples, 1.0));
        FftPlan plan;
        ASSERT_TRUE(MakeFftPlan(*x, Rows(x), 0.0, static_cast<double>(c.samples - 1), plan));
        EXPECT_EQ(plan.GridPoints(), static_cast<std::int32_t>(c.samples) + 1);
        EXPECT_EQ(plan.step, c.step) << c.samples;
        EXPECT_EQ(plan.n, c.n) << c.samples;
        EXPECT_EQ(plan.FrequencyPoints(), (c.n - 1) / 2 + 1);
    }
}

TEST(FftPlan, MissingSamplesDoNotWidenTheDecimatedLength) {
    // Every other sample missing: 1,100,001 samples over the indices 0 .. 2,200,000.
    const std::size_t rows = 2200001;
    std::vector<std::uint8_t> flags(rows, M);
    for (std::size_t i = 0; i < rows; i += 2) flags[i] = V;
    const auto x = MakeVar(Ramp(rows, 1e-6), flags);
    FftPlan plan;
    ASSERT_TRUE(MakeFftPlan(*x, Rows(x), 0.0, 2.2, plan));
    EXPECT_EQ(plan.i1, 2200000);
    EXPECT_EQ(plan.step, 2);
    // 550,001 points of the grid, between the entries 549,423 and 550,095.
    EXPECT_EQ(plan.n, 550095);
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
        {"nothing usable", ramp, y4, {M, M, M, M}, ok, 0, grid4, {}},
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
    EXPECT_TRUE(MakeFftPlan(*c.x, Rows(c.x), 0.0, duration, c.plan));
    return c;
}

TEST(FftSpectrum, SineOfAmplitudeFiveOverAnOffsetOfTwo) {
    const Curve c = MakeCurve(1001, 1.0, [](double t) {
        return 2.0 + 5.0 * std::sin(2.0 * std::numbers::pi * 10.0 * t);
    });
    const SpectrumResult r = ComputeSpectrum(c.plan, *c.x, *c.y, Rows(c.x), "V(out)");
    ASSERT_TRUE(r.ok);
    ASSERT_EQ(r.spectrum->Capacity(), 501);
    const double* a = r.spectrum->Values();
    EXPECT_NEAR(a[0], 2.0, 0.01);
    EXPECT_NEAR(a[10], 5.0, 0.01);
    EXPECT_DOUBLE_EQ(c.plan.frequency->Values()[10], 10.0);
    for (std::int32_t k : {1, 5, 30, 100, 500}) EXPECT_LT(a[k], 0.05) << k;
    EXPECT_EQ(r.spectrum->Name(), "V(out)");
    EXPECT_EQ(r.spectrum->Kind(), kVariableSpectrum);
    EXPECT_DOUBLE_EQ(r.spectrum->Max(), *std::max_element(a, a + 501));
    EXPECT_DOUBLE_EQ(r.spectrum->Min(), *std::min_element(a, a + 501));
    for (std::int32_t k = 0; k < 501; ++k) ASSERT_EQ(r.spectrum->Flags()[k], V);
}

TEST(FftSpectrum, ConstantCurveShowsItsMagnitudeAtZeroAndZerosElsewhere) {
    for (double level : {2.5, -3.0, 0.0}) {
        const Curve c = MakeCurve(101, 1.0, [level](double) { return level; });
        std::vector<double> resampled(static_cast<std::size_t>(c.plan.GridPoints()), level);
        std::vector<double> a;
        ASSERT_TRUE(AmplitudeSpectrum(resampled, c.plan, a));
        ASSERT_EQ(a.size(), static_cast<std::size_t>(c.plan.FrequencyPoints()));
        EXPECT_EQ(a[0], std::abs(level));
        EXPECT_TRUE(std::all_of(a.begin() + 1, a.end(), [](double v) { return v == 0.0; }));
        // No transform runs, so even a cancelled analysis has the result.
        std::atomic<bool> cancel{true};
        const SpectrumResult r = ComputeSpectrum(c.plan, *c.x, *c.y, Rows(c.x), "V", &cancel);
        ASSERT_TRUE(r.ok);
        EXPECT_EQ(r.spectrum->Values()[0], std::abs(level));
    }
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
        ASSERT_EQ(curve.plan.step, c.step);
        ASSERT_EQ(curve.plan.n, c.n);
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
    const auto rows = static_cast<std::size_t>(Rows(c.x));
    std::vector<double> resampled(grid.size()), a;
    EXPECT_TRUE(ResampleLinear({c.x->Values(), rows}, {c.x->Flags(), rows}, {c.y->Values(), rows},
                               {c.y->Flags(), rows}, c.plan.i0, grid, resampled));
    EXPECT_TRUE(AmplitudeSpectrum(resampled, c.plan, a));
    return a;
}

TEST(FftSpectrum, OnePassEqualsTheWholeGridBitForBit) {
    struct Case {
        const char* what;
        std::size_t samples;
        std::int32_t step;
        double (*f)(double);
        std::size_t infAt;  // a sample made infinite, when below samples
        double lastY;       // a new last sample, close to the one before, unless NaN
    };
    const auto sine = [](double t) { return 2.0 + std::sin(2.0 * std::numbers::pi * 50.0 * t); };
    const auto level = [](double) { return -2.5; };
    const auto square = [](double t) { return std::fmod(t * 40.0, 1.0) < 0.5 ? 0.0 : 1.0; };
    const Case cases[] = {
        {"just below decimation", 999999, 1, sine, SIZE_MAX, kNaN},
        {"just above", 1000000, 2, square, SIZE_MAX, kNaN},
        {"decimated, padded", 1500000, 2, sine, SIZE_MAX, kNaN},
        {"constant, decimated", 1500000, 2, level, SIZE_MAX, kNaN},
        {"constant but one infinite sample", 1500000, 2, level, 777777, kNaN},
        // Only the last grid point, which no pair holds, sees the change.
        {"constant but the last grid point", 1500000, 2, level, SIZE_MAX, -2.0},
    };
    for (const Case& c : cases) {
        Curve curve = MakeCurve(c.samples, 1.0, c.f);
        ASSERT_EQ(curve.plan.step, c.step) << c.what;
        if (c.infAt < c.samples) curve.y->Values()[c.infAt] = HUGE_VAL;
        if (!std::isnan(c.lastY)) {
            double* x = curve.x->Values();
            const std::size_t l = c.samples - 1;
            x[l] = x[l - 1] + (x[l] - x[l - 1]) / 10.0;
            curve.y->Values()[l] = c.lastY;
            ASSERT_TRUE(MakeFftPlan(*curve.x, Rows(curve.x), 0.0, x[l], curve.plan));
        }
        const std::vector<double> expected = WholeGridSpectrum(curve);
        const SpectrumResult r =
            ComputeSpectrum(curve.plan, *curve.x, *curve.y, Rows(curve.x), "V");
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
    struct Case {
        const char* what;
        std::vector<double> resampled;
    };
    std::vector<double> overflow(static_cast<std::size_t>(c.plan.GridPoints()), big);
    overflow[3] = 0.0;  // not constant; the sums overflow
    std::vector<double> withInf(overflow.size(), 1.0);
    withInf[10] = std::numeric_limits<double>::infinity();
    std::vector<double> withNaN(overflow.size(), 1.0);
    withNaN[0] = kNaN;
    for (const auto& [what, values] :
         {Case{"overflow", overflow}, Case{"inf", withInf}, Case{"NaN", withNaN}}) {
        std::vector<double> a;
        ASSERT_TRUE(AmplitudeSpectrum(values, c.plan, a)) << what;
        EXPECT_LT(a.size(), static_cast<std::size_t>(c.plan.FrequencyPoints())) << what;
        EXPECT_TRUE(std::all_of(a.begin(), a.end(), [](double v) { return std::isfinite(v); }))
            << what;
    }
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
        ComputeSpectrum(c.plan, *c.x, *c.y, Rows(c.x), "V(out)", &cancel);
    c.y->Flags()[50] = I;
    const SpectrumResult failed = ComputeSpectrum(c.plan, *c.x, *c.y, Rows(c.x), "V(out)");
    const SpectrumResult shortY = ComputeSpectrum(c.plan, *c.x, *MakeVar({1, 2}), Rows(c.x), "y");
    for (const SpectrumResult* r : {&cancelled, &failed, &shortY}) {
        EXPECT_FALSE(r->ok);
        ASSERT_TRUE(r->spectrum);
        EXPECT_EQ(r->spectrum->Capacity(), 0);
        EXPECT_EQ(r->spectrum->Kind(), kVariableSpectrum);
    }
    EXPECT_EQ(failed.spectrum->Name(), "V(out)");
    EXPECT_EQ(shortY.spectrum->Name(), "y");
}

using Complex = std::complex<double>;

// e^(-2 pi i m/N) for m = 0..N-1, in long double, computed directly.
struct Kernel {
    std::vector<long double> c, s;
    explicit Kernel(std::int64_t n) : c(static_cast<size_t>(n)), s(static_cast<size_t>(n)) {
        for (std::int64_t m = 0; m < n; ++m) {
            const long double angle = -2.0L * std::numbers::pi_v<long double> * m / n;
            c[static_cast<size_t>(m)] = std::cos(angle);
            s[static_cast<size_t>(m)] = std::sin(angle);
        }
    }
};

// The defining sum, in long double, for output k only.
Complex DirectCoefficient(const std::vector<Complex>& x, const Kernel& w, std::int64_t k) {
    const auto n = static_cast<std::int64_t>(x.size());
    long double re = 0, im = 0;
    for (std::int64_t j = 0; j < n; ++j) {
        const auto m = static_cast<size_t>((j * k) % n);
        re += x[j].real() * w.c[m] - x[j].imag() * w.s[m];
        im += x[j].real() * w.s[m] + x[j].imag() * w.c[m];
    }
    return {static_cast<double>(re / n), static_cast<double>(im / n)};
}

std::vector<Complex> RandomSignal(std::int32_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::vector<Complex> x(static_cast<size_t>(n));
    for (Complex& v : x) v = {u(rng), u(rng)};
    return x;
}

TEST(FftTransform, MatchesTheDirectSumOnPrimePowerOfTwoAndMixedLengths) {
    const std::int32_t lengths[] = {
        1,    2,    3,    4,    5,    6,    7,    8,    9,    10,   11,   12,   13,  15,  16,
        17,   18,   20,   25,   27,   30,   32,   41,   43,   48,   49,   60,   64,  77,  81,
        97,   100,  121,  125,  128,  169,  210,  243,  256,  289,  361,  512,  625, 997, 1000,
        1001, 1002, 1024, 1155, 1331, 2048, 2310, 2401, 3001, 3125, 4096, 4199, 5005};
    for (std::int32_t n : lengths) {
        const std::vector<Complex> x = RandomSignal(n, static_cast<unsigned>(n));
        std::vector<Complex> out(static_cast<size_t>(n));
        ASSERT_TRUE(Fft(n).Forward(x, out)) << n;
        const Kernel w(n);
        double worst = 0;
        for (std::int32_t k = 0; k < n; ++k)
            worst =
                std::max(worst, std::abs(out[static_cast<size_t>(k)] - DirectCoefficient(x, w, k)));
        EXPECT_LT(worst, 1e-13) << "length " << n;
    }
}

TEST(FftTransform, MatchesTheDirectSumAtSampledBinsOfLongLengths) {
    // Table lengths with the generic radices 7..41, a prime below the snap
    // limit, and a power of two; the full direct sum would be too slow.
    const std::int32_t lengths[] = {30015,        19997,      16384, 20000, 7 * 11 * 13 * 17 * 19,
                                    23 * 29 * 31, 37 * 41 * 9};
    for (std::int32_t n : lengths) {
        const std::vector<Complex> x = RandomSignal(n, 7u);
        std::vector<Complex> out(static_cast<size_t>(n));
        ASSERT_TRUE(Fft(n).Forward(x, out)) << n;
        const Kernel w(n);
        for (std::int64_t k : {0, 1, 2, 3, 37, 1000, n / 2, n - 1, n - 7})
            EXPECT_LT(std::abs(out[static_cast<size_t>(k)] - DirectCoefficient(x, w, k)), 1e-13)
                << "length " << n << " bin " << k;
    }
}

TEST(FftTransform, RealInputGivesConjugateSymmetricCoefficientsOfTheDefiningSum) {
    for (std::int32_t n : {7, 12, 45, 64, 105}) {
        std::vector<double> x(static_cast<size_t>(n));
        std::vector<Complex> xc(x.size());
        for (std::int32_t j = 0; j < n; ++j) {
            x[static_cast<size_t>(j)] = std::sin(0.3 * j) + 0.25 * j;
            xc[static_cast<size_t>(j)] = x[static_cast<size_t>(j)];
        }
        std::vector<Complex> out(x.size());
        ASSERT_TRUE(Fft(n).ForwardReal(x, out));
        const Kernel w(n);
        for (std::int32_t k = 0; k < n; ++k) {
            EXPECT_LT(std::abs(out[static_cast<size_t>(k)] - DirectCoefficient(xc, w, k)), 1e-13);
            EXPECT_LT(std::abs(out[static_cast<size_t>(k)] -
                               std::conj(out[static_cast<size_t>((n - k) % n)])),
                      1e-13);
        }
    }
}

TEST(FftTransform, PureToneLandsInItsBinWithTheNormalisedAmplitude) {
    // x_j = e^(2 pi i 5j/N) has C_5 = 1 and every other coefficient 0.
    for (std::int32_t n : {16, 45, 97, 30015}) {
        std::vector<Complex> x(static_cast<size_t>(n));
        for (std::int32_t j = 0; j < n; ++j)
            x[static_cast<size_t>(j)] = std::polar(1.0, 2.0 * std::numbers::pi * 5.0 * j / n);
        std::vector<Complex> out(x.size());
        ASSERT_TRUE(Fft(n).Forward(x, out));
        for (std::int32_t k = 0; k < n; ++k)
            ASSERT_NEAR(std::abs(out[static_cast<size_t>(k)]), k == 5 ? 1.0 : 0.0, 1e-12)
                << n << " bin " << k;
    }
}

TEST(FftTransform, FactorsIntoTheDesignedRadices) {
    struct Case {
        std::int32_t n;
        std::vector<std::int32_t> radices;
    };
    const Case cases[] = {
        {1, {}},
        {2, {2}},
        {8, {4, 2}},
        {999999, {3, 3, 3, 7, 11, 13, 37}},
        {19997, {19997}},
        {20000, {4, 4, 2, 5, 5, 5, 5}},
        {1999965, {3, 5, 11, 17, 23, 31}},
    };
    for (const Case& c : cases) EXPECT_EQ(Fft(c.n).Radices(), c.radices) << c.n;
}

TEST(FftTransform, RefusesBuffersOfAnotherLength) {
    const Fft fft(8);
    std::vector<Complex> seven(7), eight(8);
    std::vector<double> real(9);
    EXPECT_FALSE(fft.Forward(seven, eight));
    EXPECT_FALSE(fft.Forward(eight, seven));
    EXPECT_FALSE(fft.ForwardReal(real, eight));
}

TEST(FftTransform, StopsWhenCancelled) {
    std::atomic<bool> cancel{true};
    for (std::int32_t n : {1, 1024, 19997}) {
        const std::vector<Complex> x = RandomSignal(n, 3u);
        std::vector<Complex> out(x.size());
        EXPECT_FALSE(Fft(n).Forward(x, out, &cancel)) << n;
    }
    std::atomic<bool> go{false};
    const std::vector<Complex> x = RandomSignal(97, 3u);
    std::vector<Complex> out(x.size());
    EXPECT_TRUE(Fft(97).Forward(x, out, &go));
}

// Independent of the generator: counts by sieving the smallest prime factor.
std::vector<std::int32_t> SmoothOddNumbers(std::int32_t limit) {
    std::vector<std::int32_t> largest(static_cast<size_t>(limit), 0);
    for (std::int32_t p = 2; p < limit; ++p) {
        if (largest[static_cast<size_t>(p)] != 0) continue;
        for (std::int32_t m = p; m < limit; m += p) largest[static_cast<size_t>(m)] = p;
    }
    std::vector<std::int32_t> out;
    for (std::int32_t n = 3; n < limit; n += 2)
        if (largest[static_cast<size_t>(n)] <= 41) out.push_back(n);
    return out;
}

TEST(FftSizeTable, HoldsEveryOddNumberWithPrimeFactorsUpTo41) {
    const FftSizeTable& table = FftSizeTable::Instance();
    ASSERT_EQ(table.Count(), 9777u);
    const std::vector<std::int32_t> expected = SmoothOddNumbers(2000000);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), table.Entries().begin(),
                           table.Entries().end()));
}

TEST(FftSizeTable, ReadsLittleEndianAndIgnoresATrailingPartialInteger) {
    const std::vector<std::uint8_t> bytes = {0x03, 0, 0, 0, 0x3f, 0x42, 0x0f, 0, 0x01, 0x02};
    const FftSizeTable table = FftSizeTable::FromBytes(bytes);
    ASSERT_EQ(table.Count(), 2u);
    EXPECT_EQ(table.Entries()[0], 3);
    EXPECT_EQ(table.Entries()[1], 999999);
}

TEST(FftSizeTable, SnapTakesTheNearerNeighbourAndTheLowerOnATie) {
    const FftSizeTable& table = FftSizeTable::Instance();
    const std::int32_t last = table.Entries().back();
    struct Case {
        std::int32_t n, expected;
    };
    const Case cases[] = {
        {30001, 30015},                                        // 14 above, 76 below
        {29926, 29925}, {29970, 29925},                        // tie: 45 either way
        {29971, 30015}, {30015, 30015},                        // an entry keeps itself
        {29925, 29925}, {last, last},   {last + 1, last + 1},  // nothing above: stays
        {2, 2},  // nothing below the first entry above
    };
    for (const Case& c : cases) EXPECT_EQ(table.Snap(c.n), c.expected) << c.n;
}

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

TEST(FftWindow, EveryWindowReadsTheAmplitudeOfASineOnABin) {
    for (FftWindow w : kFftWindows) {
        const auto a = Spectrum(w, Signal(2.0, {{5.0, 16, 0.3}}));
        ASSERT_EQ(a.size(), 256u);
        EXPECT_NEAR(a[0], 2.0, 1e-9) << FftWindowLabel(w);
        EXPECT_NEAR(a[16], 5.0, 1e-9) << FftWindowLabel(w);
        // A constant under a window still reads its value at 0 Hz alone.
        const auto flat = Spectrum(w, std::vector<double>(kN, -3.0));
        EXPECT_EQ(flat[0], 3.0);
        EXPECT_EQ(flat[16], 0.0);
    }
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

TEST(FftWindow, ThdOfThirdAndFifthHarmonicsIsExactUnderEachWindow) {
    const double a1 = 10.0, a3 = 1.0, a5 = 0.5;
    const auto x = Signal(1.0, {{a1, 8, 0.1}, {a3, 24, 2.0}, {a5, 40, -1.0}});
    const FftPlan plan = PlanFor(FftWindow::kRectangular);
    const std::span<const double> f(plan.frequency->Values(), 256);
    for (FftWindow w : kFftWindows) {
        const auto a = Spectrum(w, x);
        const Harmonics h = FindHarmonics(f, a);
        ASSERT_TRUE(h.Ok()) << h.error;
        EXPECT_EQ(h.fundamental, 8.0);
        EXPECT_NEAR(h.amplitude, a1, 1e-9);
        ASSERT_TRUE(h.thd);
        EXPECT_NEAR(*h.thd, 100.0 * std::sqrt(a3 * a3 + a5 * a5) / a1, 1e-8) << FftWindowLabel(w);
        // Orders up to the last bin: 8 * 31 = 248 < 256.
        ASSERT_EQ(h.rows.size(), 31u);
        EXPECT_NEAR(h.rows[2].amplitude, a3, 1e-9);
        EXPECT_NEAR(h.rows[2].percent, 10.0, 1e-8);
        EXPECT_EQ(h.rows[4].frequency, 40.0);
    }
}

TEST(FftWindow, KeysAndTheSpectrumFileComment) {
    for (FftWindow w : kFftWindows) {
        EXPECT_EQ(FftWindowFromKey(FftWindowKey(w)), w);
        EXPECT_EQ(FftWindowFromValue(static_cast<std::int32_t>(w)), w);
    }
    EXPECT_FALSE(FftWindowFromKey("Hann"));
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

TEST(Harmonics, SpectraWithoutAFundamentalSaySo) {
    struct Case {
        std::vector<double> amplitude;  // bins 1 Hz apart
        std::optional<double> fundamental;
        const char* error;  // a part of the message
    };
    const Case cases[] = {
        {{3.0}, std::nullopt, "no frequency above 0 Hz"},
        {{}, std::nullopt, "no frequency above 0 Hz"},
        {{5.0, 0.0, 0.0}, std::nullopt, "0 at every frequency above 0 Hz"},
        {{5.0, 1.0, 1.0}, 0.4, "falls into the bin at 0 Hz"},
        {{5.0, 1.0, 1.0}, 0.0, "must lie above 0 Hz"},
        {{5.0, 1.0, 1.0}, 2.6, "lies beyond the spectrum"},
        {{5.0, 1.0, 0.0}, 2.0, "is 0 at the fundamental 2 Hz"},
    };
    for (const Case& c : cases) {
        std::vector<double> f;
        for (std::size_t k = 0; k < std::max<std::size_t>(c.amplitude.size(), 1); ++k)
            f.push_back(static_cast<double>(k));
        const Harmonics h = FindHarmonics(f, c.amplitude, c.fundamental);
        EXPECT_FALSE(h.Ok());
        EXPECT_NE(h.error.find(c.error), std::string::npos) << h.error;
        EXPECT_TRUE(h.rows.empty());
        EXPECT_FALSE(h.thd);
    }
}

TEST(Harmonics, OrdersFollowTheFundamentalUpToTheLastBin) {
    std::vector<double> f, a;
    for (int k = 0; k < 200; ++k) {
        f.push_back(0.5 * k);
        a.push_back(k == 2 || k == 3 ? 4.0 : 0.1);  // the first of two equal peaks wins
    }
    Harmonics h = FindHarmonics(f, a);
    ASSERT_TRUE(h.Ok());
    EXPECT_EQ(h.fundamentalBin, 2);
    EXPECT_EQ(h.fundamental, 1.0);
    EXPECT_EQ(h.rows.size(), 50u);  // at most 50 orders
    EXPECT_EQ(h.rows.back().frequency, 50.0);
    EXPECT_NEAR(*h.thd, 100.0 * std::sqrt(49 * 0.1 * 0.1) / 4.0, 1e-12);  // orders 2..50

    // A given fundamental takes the nearest bin; with no second order within
    // the spectrum there is no THD.
    for (const auto& [given, bin] : {std::pair{60.2, 120}, std::pair{60.4, 121}}) {
        h = FindHarmonics(f, a, given);
        ASSERT_TRUE(h.Ok()) << given;
        EXPECT_EQ(h.fundamentalBin, bin) << given;
        EXPECT_EQ(h.fundamental, 0.5 * bin) << given;
        ASSERT_EQ(h.rows.size(), 1u);
        EXPECT_FALSE(h.thd);
    }

    // The table for the window and its clipboard text.
    h = FindHarmonics(std::vector<double>{0, 50, 100}, std::vector<double>{1, 8, 2});
    const FigureTable t = HarmonicsTable(h, "I(L1)", 0x0000FF);
    EXPECT_EQ(FigureTableText(t),
              "I(L1): THD 25 %, fundamental 50 Hz\n"
              "Order\tFrequency\tAmplitude\tPercent\n"
              "1\t50\t8\t100\n"
              "2\t100\t2\t25\n");
    EXPECT_EQ(t.rows[1].colour, 0x0000FFu);
}

using test::MakeData;

std::string Written(int format, const std::vector<RefPtr<CResultVariable>>& columns) {
    return test::Written([&](std::FILE* f) { return WriteSpectra(f, format, 0.5, 2.5, columns); });
}

TEST(SpectrumExport, FormatsCarryTheOrderColumnAndPadShortSpectra) {
    const auto freq = MakeVar({0, 0.5, 1}, {}, "Frequency");
    const auto v = MakeVar({2, 5, 0.25}, {}, "V");
    const auto cut = MakeVar({1}, {}, "I");  // ended early at a non-finite amplitude
    EXPECT_EQ(Written(kSpectrumComma, {freq, v, cut}),
              "Order,Frequency,V,I\r\n        1,0,2,1\r\n        2,0.5,5,MISSING\r\n"
              "        3,1,0.25,MISSING\r\n");
    EXPECT_EQ(Written(kSpectrumTab, {freq, v}).substr(0, 19), "Order\tFrequency\tV\r\n");
    const std::string fft = Written(kSpectrumFftFile, {freq, v});
    EXPECT_EQ(fft.substr(0, fft.find('\n') + 1), ";; FFT Data from 0.5 (s)\t to   2.5 (s) \r\n");
    EXPECT_NE(fft.find("        3   1.000000000E+00   2.500000000E-01 \r\n"), std::string::npos);
}

TEST(SpectrumExport, AVariableIsExportedOnceAndFormulaCurvesAlways) {
    const auto data = MakeData({"Time", "A", "B"}, {{0, 1}, {1, 2}, {3, 4}});
    CGraphCurve top, bottom;
    for (CGraphCurve* s : {&top, &bottom}) s->SetData(data);
    auto withSpectrum = [](CCurveEntry c, const char* name) {
        c.spectrum = MakeVar({1, 2}, {}, name);
        return c;
    };
    top.AddCurve(withSpectrum(CCurveEntry::ForColumn(data, 1), "A"));
    top.AddCurve(CCurveEntry::ForColumn(data, 2));  // no spectrum: skipped
    bottom.AddCurve(withSpectrum(CCurveEntry::ForColumn(data, 1), "A again"));
    bottom.AddCurve(withSpectrum(CCurveEntry::ForFormula("A*2"), "A*2"));
    bottom.AddCurve(withSpectrum(CCurveEntry::ForFormula("A*2"), "A*2 again"));
    EXPECT_TRUE(SpectrumColumns({&top, &bottom}).empty());  // no frequency column yet
    bottom.Frequency().xColumn = MakeVar({0, 1}, {}, "Frequency");
    std::vector<std::string> names;
    for (const auto& c : SpectrumColumns({&top, &bottom})) names.push_back(c->Name());
    EXPECT_EQ(names, (std::vector<std::string>{"Frequency", "A", "A*2", "A*2 again"}));
}

TEST(ViewFiles, SaveAsWritesSpectraInTheFrequencyDisplay) {
    std::vector<double> t = test::Ramp(64, 1.0 / 64), v(64);
    for (size_t i = 0; i < v.size(); ++i) v[i] = 2.0 + std::sin(2 * M_PI * 4 * t[i]);
    const auto data = test::MakeData({"Time", "V"}, {t, v});
    CGraphCurve screen(0);
    screen.SetData(data);
    screen.AddCurve(CCurveEntry::ForColumn(data, 1));
    screen.UpdateExtents();
    screen.SetXRange(0, t.back(), 0, RangeFlags{});
    test::RecordingMessages messages;
    ASSERT_EQ(ToggleFrequencyDisplay({&screen}, messages).did, DomainSwitch::kToFrequency);

    const std::string path = (test::ProcessDir() / "view-files.fft").string();
    ASSERT_TRUE(SaveViewAs({&screen}, 1, path, messages));
    std::ifstream in(path);
    std::string first, header, dc;
    std::getline(in, first);
    std::getline(in, header);
    std::getline(in, dc);
    EXPECT_EQ(first.rfind(";; FFT Data from 0 (s)", 0), 0u) << first;
    EXPECT_NE(header.find("Order"), std::string::npos);
    EXPECT_NE(header.find("Frequency"), std::string::npos);
    EXPECT_NE(dc.find("2.0000"), std::string::npos) << dc;  // the offset at 0 Hz
    // Entries beyond the frequency display's list write nothing.
    EXPECT_FALSE(SaveViewAs({&screen}, 4, path + "x", messages));
    std::filesystem::remove(path);
}

}  // namespace
}  // namespace kurvex
