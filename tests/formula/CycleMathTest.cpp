#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "formula/CycleMath.h"

namespace kurvex {
namespace {

// Samples of a curve; a NaN Y or a flag other than 1 makes a sample unusable.
struct Wave {
    std::vector<double> x, y;
    std::vector<std::uint8_t> flags;

    void Add(double t, double v, std::uint8_t flag = 1) {
        x.push_back(t);
        y.push_back(v);
        flags.push_back(flag);
    }
    CycleTrace Trace() const {
        return {x.data(),     nullptr, y.data(),
                flags.data(), 0,       static_cast<std::int32_t>(x.size()) - 1};
    }
};

// A PWM of `periods` periods T between 0 and `amplitude`, high for duty * T
// from each period's start, with vertical edges (two samples at one instant)
// and `inner` samples at random instants inside each flat part.
Wave Pwm(int periods, double period, double duty, double amplitude, int inner, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    Wave w;
    const auto flat = [&](double from, double to, double v) {
        std::vector<double> at;
        for (int i = 0; i < inner; ++i) at.push_back(from + (to - from) * u(random));
        std::sort(at.begin(), at.end());
        for (double t : at) w.Add(t, v);
    };
    for (int k = 0; k < periods; ++k) {
        const double start = k * period;
        const double fall = start + duty * period;
        w.Add(start, 0.0);
        w.Add(start, amplitude);
        flat(start, fall, amplitude);
        w.Add(fall, amplitude);
        w.Add(fall, 0.0);
        flat(fall, start + period, 0.0);
    }
    w.Add(periods * period, 0.0);
    w.Add(periods * period, amplitude);  // the last period closes with a rise
    return w;
}

TEST(CycleMath, PwmGivesDutyTimesAmplitudeAndRootDutyRms) {
    struct Case {
        double duty, amplitude;
        int inner;  // samples inside each flat part, at uneven instants
    };
    for (const Case& c : {Case{0.3, 10.0, 0}, Case{0.3, 10.0, 17}, Case{0.75, 2.5, 5}}) {
        const Wave w = Pwm(6, 2e-5, c.duty, c.amplitude, c.inner, 7);
        const auto level = CycleLevelOf(w.Trace());
        ASSERT_TRUE(level);
        EXPECT_DOUBLE_EQ(level->level, c.amplitude / 2);
        EXPECT_DOUBLE_EQ(level->hysteresis, c.amplitude / 10);
        const RisingCrossings r = FindRisingCrossings(w.Trace(), *level);
        // Each period starts with a vertical rise from 0, the first included.
        ASSERT_EQ(r.times.size(), 7u);
        EXPECT_EQ(r.times[0], 0.0);
        EXPECT_EQ(r.times[6], 6 * 2e-5);
        const auto figures = FiguresPerCycle(w.Trace(), r.times, level->level);
        ASSERT_EQ(figures.size(), 6u);
        for (const CycleFigures& f : figures) {
            EXPECT_NEAR(f.avg, c.duty * c.amplitude, 1e-9 * c.amplitude);
            EXPECT_NEAR(f.rms, std::sqrt(c.duty) * c.amplitude, 1e-9 * c.amplitude);
            EXPECT_NEAR(f.duty, c.duty, 1e-9);
            EXPECT_EQ(f.min, 0.0);
            EXPECT_EQ(f.max, c.amplitude);
            EXPECT_NEAR(f.end - f.start, 2e-5, 1e-15);
        }
    }
}

TEST(CycleMath, HysteresisIgnoresChatterAroundTheLevel) {
    // Square wave 0/10 whose edges chatter between 4.9 and 5.1 four times.
    Wave w;
    double t = 0.0;
    for (int period = 0; period < 5; ++period) {
        for (double v : {0.0, 0.0, 4.9, 5.1, 4.9, 5.1, 4.9, 5.1, 10.0, 10.0, 5.1, 4.9, 5.1, 4.9})
            w.Add(t += 1.0, v);
    }
    w.flags[30] = 2;  // an invalid sample below the band arms nothing
    w.y[30] = -100;
    const auto level = CycleLevelOf(w.Trace());
    ASSERT_TRUE(level);
    EXPECT_EQ(level->level, 5.0);
    EXPECT_EQ(FindRisingCrossings(w.Trace(), *level).times.size(), 5u);
    // Without hysteresis every upward chatter counts.
    EXPECT_EQ(FindRisingCrossings(w.Trace(), {5.0, 0.0}).times.size(), 20u);
    // A band wider than the swing never re-arms.
    EXPECT_EQ(FindRisingCrossings(w.Trace(), {5.0, 12.0}).times.size(), 0u);
}

TEST(CycleMath, BadSamplesAndOddReferences) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    // Ramps 0..4 per cycle of 4 s: crossings of 2 at t = 2, 6, 10.
    Wave w;
    for (int i = 0; i <= 12; ++i) w.Add(i, i % 4);
    const std::vector<double> bounds = {2.0, 6.0, 10.0};
    EXPECT_EQ(FindRisingCrossings(w.Trace(), {2.0, 1.0}).times, bounds);

    // An invalid sample and a NaN inside the first cycle: both counted, the
    // segments they touch left out of the integrals; the second cycle intact.
    Wave bad = w;
    bad.flags[3] = 2;
    bad.y[4] = nan;
    const auto figures = FiguresPerCycle(bad.Trace(), bounds);
    ASSERT_EQ(figures.size(), 2u);
    EXPECT_EQ(figures[0].skipped, 2);
    EXPECT_EQ(figures[1].skipped, 0);
    // Of cycle 1 only the segment t 5..6 (y 1..2) is left; its extremes
    // include the sample at its start.
    EXPECT_DOUBLE_EQ(figures[0].avg, 1.5);
    EXPECT_DOUBLE_EQ(figures[0].min, 1.0);
    EXPECT_DOUBLE_EQ(figures[1].avg, 1.5);

    // A gap across a bound: each unusable sample counts in its own cycle.
    Wave across = w;
    across.y[5] = across.y[6] = nan;
    const auto split = FiguresPerCycle(across.Trace(), bounds);
    EXPECT_EQ(split[0].skipped, 1);
    EXPECT_EQ(split[1].skipped, 1);

    // A cycle of two samples: its ends are interpolated into the segments.
    Wave sparse;
    for (double v : {0.0, 10.0, 0.0, 10.0}) sparse.Add(sparse.x.size(), v);
    const auto level = CycleLevelOf(sparse.Trace());
    const RisingCrossings two = FindRisingCrossings(sparse.Trace(), *level);
    ASSERT_EQ(two.times, (std::vector<double>{0.5, 2.5}));
    const auto one = FiguresPerCycle(sparse.Trace(), two.times);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_DOUBLE_EQ(one[0].avg, 5.0);

    // No usable sample, X backwards.
    Wave none;
    none.Add(0, nan);
    EXPECT_FALSE(CycleLevelOf(none.Trace()));
    Wave back = w;
    back.x[7] = 1.0;
    const RisingCrossings r = FindRisingCrossings(back.Trace(), {2.0, 1.0});
    EXPECT_TRUE(r.xBackwards);
    EXPECT_TRUE(r.times.empty());
}

TEST(CycleMath, TrustedXTakesTheFastRoadToTheSameFigures) {
    // Uneven and repeated time steps, invalid flags, NaN and infinities, and
    // bounds on samples, between them and beyond both ends of the range.
    for (const unsigned seed : {11u, 12u, 13u}) {
        std::mt19937 random(seed);
        std::uniform_real_distribution<double> u(0.0, 1.0);
        Wave w;
        double t = 0.0;
        for (int i = 0; i < 20000; ++i) {
            const double r = u(random);
            double v = std::sin(t / 7.0) * 10 + u(random);
            if (r < 0.002) v = std::numeric_limits<double>::quiet_NaN();
            if (r > 0.999) v = r > 0.9995 ? HUGE_VAL : -HUGE_VAL;
            w.Add(t, v, u(random) < 0.003 ? 2 : 1);
            t += u(random) < 0.01 ? 0.0 : 0.1 + u(random);
        }
        std::vector<double> bounds = {-5.0};
        while (bounds.back() < t + 5) {
            double next = bounds.back() + 1 + 100 * u(random);
            if (u(random) < 0.2) next = w.x[static_cast<std::size_t>(next / 0.6) % 20000];
            if (next > bounds.back()) bounds.push_back(next);
        }
        CycleTrace slowTrace = w.Trace();
        slowTrace.first = seed == 12 ? 1000 : 0;
        slowTrace.last -= seed == 13 ? 1000 : 0;
        CycleTrace trusted = slowTrace;
        trusted.xTrusted = true;
        const auto same = [](double a, double b) {
            return (std::isnan(a) && std::isnan(b)) ||
                   std::fabs(a - b) <= 1e-9 * (1 + std::fabs(a));
        };
        for (const std::optional<double> duty : {std::optional<double>(), std::optional(2.0)}) {
            const auto slow = FiguresPerCycle(slowTrace, bounds, duty);
            const auto fast = FiguresPerCycle(trusted, bounds, duty);
            ASSERT_EQ(slow.size(), fast.size());
            for (std::size_t k = 0; k < slow.size(); ++k) {
                for (double CycleFigures::*m :
                     {&CycleFigures::avg, &CycleFigures::rms, &CycleFigures::duty,
                      &CycleFigures::min, &CycleFigures::max})
                    EXPECT_TRUE(same(slow[k].*m, fast[k].*m)) << seed << " " << k;
                EXPECT_EQ(slow[k].skipped, fast[k].skipped) << seed << " " << k;
            }
        }
        const auto level = CycleLevelOf(slowTrace);
        ASSERT_TRUE(level);
        EXPECT_EQ(CycleLevelOf(trusted)->level, level->level);
        EXPECT_EQ(FindRisingCrossings(trusted, *level).times,
                  FindRisingCrossings(slowTrace, *level).times);
    }
}

}  // namespace
}  // namespace kurvex
