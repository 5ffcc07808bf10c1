#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "analysis/Nyquist.h"
#include "data/model/ResultVariable.h"

namespace kurvex {
namespace {

constexpr std::uint8_t V = kPointValid, I = kPointInvalid;

// K / (1 + j f/p) runs on the circle of centre K/2 and radius K/2, below the
// real axis for f > 0, from K towards 0.
TEST(Nyquist, OnePoleLoopIsACircleAndUnusableSamplesAreInvalid) {
    const double k = 3.0, p = 1e3;
    std::vector<double> db, deg;
    for (double f = 1.0; f < 1e7; f *= 1.2) {
        db.push_back(20 * std::log10(k) - 10 * std::log10(1 + f * f / (p * p)));
        // Phase wrapped by whole turns, as simulators may give it.
        deg.push_back(-std::atan(f / p) * 180 / std::numbers::pi + (db.size() % 2 ? 360 : 0));
    }
    const std::vector<std::uint8_t> ok(db.size(), V);
    const ComplexColumns c = ComplexFromBode(db, ok, deg, ok);
    ASSERT_EQ(c.re.size(), db.size());
    for (std::size_t i = 0; i < db.size(); ++i) {
        ASSERT_EQ(c.flags[i], V);
        EXPECT_NEAR(std::hypot(c.re[i] - k / 2, c.im[i]), k / 2, 1e-9) << i;
        EXPECT_LE(c.im[i], 0.0);
    }
    EXPECT_NEAR(c.re.front(), k, 1e-5);
    EXPECT_NEAR(c.re.back(), 0.0, 1e-3);

    // An invalid gain, an invalid phase, a gain too large for a double.
    const std::vector<std::uint8_t> gf = {V, I, V, V}, pf = {V, V, I, V};
    const std::vector<double> gains = {0.0, 0.0, 0.0, 1e6}, phases = {90.0, 0.0, 0.0, 0.0};
    const ComplexColumns u = ComplexFromBode(gains, gf, phases, pf);
    EXPECT_EQ(u.flags, (std::vector<std::uint8_t>{V, I, I, I}));
}

TEST(Nyquist, PairFoundFromEitherColumn) {
    const std::vector<std::string> names = {
        "Frequency",    "amp(v(out))", "phase(v(out))", "amp(i(v1))", "Vout", "Amp(x)_2",
        "phase(i(v1))", "Phase(x)_2",  "amp(y)",        "phase(y",    "amp(", "phase("};
    struct Case {
        std::int32_t column, amp, phase;
    } cases[] = {{1, 1, 2},   {2, 1, 2},   {3, 3, 6},    {6, 3, 6},    {5, 5, 7},
                 {7, 5, 7},   {8, -1, -1}, {9, -1, -1},  {10, -1, -1}, {11, -1, -1},
                 {4, -1, -1}, {0, -1, -1}, {-1, -1, -1}, {12, -1, -1}};
    for (const Case& t : cases) {
        const auto pair = BodePairOf(names, t.column);
        EXPECT_EQ(pair ? pair->amp : -1, t.amp) << t.column;
        EXPECT_EQ(pair ? pair->phase : -1, t.phase) << t.column;
    }
}

TEST(Nyquist, EqualScaleRangesHoldTheDataCentred) {
    const double nan = std::nan("");
    struct Case {
        double x0, x1, y0, y1;
        int w, h;
    } cases[] = {
        {-1, 3, -2, 0, 400, 200},   // wide data on a wide plot
        {-1, 3, -2, 0, 100, 500},   // wide data on a tall plot
        {0, 1, -10, 10, 300, 300},  // tall data on a square plot
        {2, 2, 5, 5, 200, 100},     // a single point
        {nan, 1, 0, 1, 200, 100},   // no usable X extent
    };
    for (const Case& t : cases) {
        const EqualRanges r = EqualScaleRanges(t.x0, t.x1, t.y0, t.y1, t.w, t.h);
        const double ux = (r.x.to - r.x.from) / t.w, uy = (r.y.to - r.y.from) / t.h;
        EXPECT_GT(ux, 0.0);
        EXPECT_NEAR(ux, uy, 1e-12 * ux) << t.w << "x" << t.h;
        if (std::isfinite(t.x0)) {
            EXPECT_LE(r.x.from, t.x0);
            EXPECT_GE(r.x.to, t.x1);
            EXPECT_NEAR(r.x.from + r.x.to, t.x0 + t.x1, 1e-12);
        }
        EXPECT_LE(r.y.from, t.y0);
        EXPECT_GE(r.y.to, t.y1);
        EXPECT_NEAR(r.y.from + r.y.to, t.y0 + t.y1, 1e-12);
    }
    // With no margin, the tighter axis stays exactly as it was.
    const EqualRanges z = EqualizeRanges({0, 4, 1}, {0, 1, 1}, 200, 100);
    EXPECT_EQ(z.x.from, 0.0);
    EXPECT_EQ(z.x.to, 4.0);
    EXPECT_DOUBLE_EQ(z.y.from, -0.5);
    EXPECT_DOUBLE_EQ(z.y.to, 1.5);
}

TEST(Nyquist, FirstViewHoldsTheUnitCircleAndThePointsNearIt) {
    // An integrator's far low end (gain 100) and an invalid point stay out.
    const std::vector<double> re = {-100, -3, -0.5, 0.2, 7};
    const std::vector<double> im = {0, -1, -0.5, 0.1, 7};
    const std::vector<std::uint8_t> f = {V, V, V, V, I};
    const NyquistView v = FirstNyquistView(re, im, f, 4.0);
    EXPECT_EQ(v.near, (std::vector<std::uint8_t>{I, V, V, V, I}));
    EXPECT_EQ(std::vector<double>({v.xMin, v.xMax, v.yMin, v.yMax}),
              std::vector<double>({-3, 1, -1, 1}));
    // Nothing far out: everything, at least the circle.
    const NyquistView all = FirstNyquistView(re, im, f, 1e9);
    EXPECT_EQ(std::vector<double>({all.xMin, all.xMax, all.yMin, all.yMax}),
              std::vector<double>({-100, 1, -1, 1}));
}

TEST(Nyquist, ArrowsSpacedAlongTheLength) {
    // An L of length 4 with a gap: the invalid sample's segments do not count.
    const std::vector<double> x = {0, 1, 2, 9, 2, 2, 2};
    const std::vector<double> y = {0, 0, 0, 9, 0, 1, 2};
    const std::vector<std::uint8_t> f = {V, V, V, I, V, V, V};
    std::vector<std::array<double, 4>> arrows;
    for (const ArrowPlace& a : ArrowPlaces(x, y, f, 4)) arrows.push_back({a.x, a.y, a.dx, a.dy});
    EXPECT_EQ(arrows, (std::vector<std::array<double, 4>>{
                          {0.5, 0, 1, 0}, {1.5, 0, 1, 0}, {2, 0.5, 0, 1}, {2, 1.5, 0, 1}}));
    // A curve that stays on one point has no direction to show.
    const std::vector<double> still = {1, 1};
    EXPECT_TRUE(ArrowPlaces(still, still, std::span(f).first(2), 4).empty());
}

}  // namespace
}  // namespace kurvex
