#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "analysis/LoopMargins.h"
#include "data/ResultData.h"
#include "data/ResultFile.h"
#include "data/ResultVariable.h"

namespace kurvex {
namespace {

constexpr double kPi = std::numbers::pi;
constexpr std::uint8_t V = kPointValid, I = kPointInvalid;

double Wrapped(double degrees) {
    return degrees - 360.0 * std::ceil((degrees - 180.0) / 360.0);
}

// A loop as a product of factors in s = j 2 pi f, in closed form: its gain in
// dB, and its phase summed factor by factor, so continuous however it turns.
struct Loop {
    const char* name;
    double k;
    int integrators;
    std::vector<double> poles, zeros;  // real, in Hz
    double resonance = 0.0, damping = 0.0;
    double delay = 0.0;  // seconds
    double fmin = 10.0, fmax = 1e6;

    double Db(double f) const {
        double db = 20.0 * std::log10(k) - 20.0 * integrators * std::log10(2.0 * kPi * f);
        for (double p : poles) db -= 10.0 * std::log10(1.0 + f * f / (p * p));
        for (double z : zeros) db += 10.0 * std::log10(1.0 + f * f / (z * z));
        const double x = resonance > 0.0 ? f / resonance : 0.0;
        return db - 10.0 * std::log10((1 - x * x) * (1 - x * x) + 4 * damping * damping * x * x);
    }
    double Phase(double f) const {
        double rad = -kPi / 2 * integrators - 2.0 * kPi * f * delay;
        for (double p : poles) rad -= std::atan(f / p);
        for (double z : zeros) rad += std::atan(f / z);
        const double x = resonance > 0.0 ? f / resonance : 0.0;
        return (rad - std::atan2(2 * damping * x, 1 - x * x)) * 180.0 / kPi;
    }
};

// Every place where key(f) changes, bracketed on a fine grid and bisected in log f.
template <class Key>
std::vector<double> Roots(const Loop& loop, Key key) {
    std::vector<double> roots;
    const int n = static_cast<int>(4000 * std::log10(loop.fmax / loop.fmin));
    const auto at = [&](double i) { return loop.fmin * std::pow(loop.fmax / loop.fmin, i / n); };
    for (int i = 1; i <= n; ++i) {
        if (key(at(i - 1)) == key(at(i))) continue;
        double a = i - 1, b = i;
        for (int s = 0; s < 60; ++s) (key(at(a)) == key(at((a + b) / 2)) ? a : b) = (a + b) / 2;
        roots.push_back(at(a));
    }
    return roots;
}

struct Sampled {
    std::vector<double> f, db, phase;
    std::vector<std::uint8_t> flags;
};

Sampled Sample(const Loop& loop) {
    Sampled s;
    for (int i = 0;; ++i) {
        const double f = loop.fmin * std::pow(10.0, i / 200.0);
        if (f > loop.fmax * (1 + 1e-9)) break;
        s.f.push_back(f);
        s.db.push_back(loop.Db(f));
        s.phase.push_back(Wrapped(loop.Phase(f)));
    }
    s.flags.assign(s.f.size(), V);
    return s;
}

LoopMargins Measure(const Sampled& s, std::int32_t first = 0, std::int32_t last = 1 << 30) {
    return StabilityMargins(s.f, s.flags, s.db, s.flags, s.phase, s.flags, first, last);
}

const Loop kLoops[] = {
    {"integrator and a pole", 2 * kPi * 3000, 1, {10e3}, {}},
    {"integrator and two poles", 2 * kPi * 2000, 1, {1e3, 20e3}, {}},
    {"resonance, PI and a pole", 0.3 * 2 * kPi * 100, 1, {20e3}, {100}, 5e3, 0.05, 0, 1, 1e5},
    {"never reaches 0 dB", 0.5, 0, {1e3}, {}, 0, 0, 0, 10, 1e5},
    {"delay wraps the phase", 2 * kPi * 1000, 1, {10e3}, {}, 0, 0, 20e-6, 10, 3e5},
};

TEST(LoopMargins, MarginsMatchTheClosedForm) {
    for (const Loop& loop : kLoops) {
        SCOPED_TRACE(loop.name);
        Sampled s = Sample(loop);
        const FlaggedValues unwrapped = UnwrapPhase(s.phase, s.flags);
        for (std::size_t i = 0; i < s.f.size(); ++i)
            ASSERT_NEAR(unwrapped.values[i], loop.Phase(s.f[i]), 1e-6) << s.f[i];
        const auto gainRoots = Roots(loop, [&](double f) { return loop.Db(f) >= 0; });
        const auto phaseRoots =
            Roots(loop, [&](double f) { return std::floor((loop.Phase(f) + 180.0) / 360.0); });
        const auto bandwidth =
            Roots(loop, [&](double f) { return loop.Db(f) >= loop.Db(loop.fmin) - 3.0; });
        double peak = -1e300;
        for (double f = loop.fmin; f < loop.fmax; f *= 1.0001) peak = std::max(peak, loop.Db(f));
        // Junk below 0 Hz and at invalid samples must change nothing.
        Sampled junk = s;
        for (std::size_t i = 3; i < junk.f.size(); i += 7) junk.flags[i] = I, junk.db[i] = 99;
        for (double f : {0.0, -5.0}) {
            junk.f.insert(junk.f.begin(), f), junk.db.insert(junk.db.begin(), 50.0);
            junk.phase.insert(junk.phase.begin(), 77.0), junk.flags.insert(junk.flags.begin(), V);
        }
        for (const Sampled* in : {&s, &junk}) {
            const LoopMargins m = Measure(*in);
            ASSERT_TRUE(m.Ok()) << m.error;
            ASSERT_EQ(m.gainCrossings.size(), gainRoots.size());
            std::optional<double> firstDown;
            for (std::size_t i = 0; i < gainRoots.size(); ++i) {
                const double f = gainRoots[i], pm = Wrapped(180.0 + loop.Phase(f));
                EXPECT_NEAR(m.gainCrossings[i].frequency / f, 1.0, 0.005);
                EXPECT_NEAR(m.gainCrossings[i].margin, pm, 0.2);
                const bool down = loop.Db(f * 1.001) < 0;
                EXPECT_EQ(m.gainCrossings[i].falling, down);
                if (down && !firstDown) firstDown = f;
            }
            ASSERT_EQ(m.gainCrossover.has_value(), firstDown.has_value());
            ASSERT_EQ(m.phaseMargin.has_value(), firstDown.has_value());
            if (firstDown) {
                EXPECT_NEAR(*m.gainCrossover / *firstDown, 1.0, 0.005);
                EXPECT_NEAR(*m.phaseMargin, Wrapped(180.0 + loop.Phase(*firstDown)), 0.2);
            }
            ASSERT_EQ(m.phaseCrossings.size(), phaseRoots.size());
            for (std::size_t i = 0; i < phaseRoots.size(); ++i) {
                EXPECT_NEAR(m.phaseCrossings[i].frequency / phaseRoots[i], 1.0, 0.005);
                EXPECT_NEAR(m.phaseCrossings[i].margin, -loop.Db(phaseRoots[i]), 0.1);
            }
            ASSERT_EQ(m.gainMargin.has_value(), !phaseRoots.empty());
            if (!phaseRoots.empty()) {
                EXPECT_NEAR(*m.phaseCrossover / phaseRoots[0], 1.0, 0.005);
                EXPECT_NEAR(*m.gainMargin, -loop.Db(phaseRoots[0]), 0.1);
            }
            ASSERT_TRUE(m.bandwidth && !bandwidth.empty());
            EXPECT_NEAR(*m.bandwidth / bandwidth[0], 1.0, 0.005);
            ASSERT_TRUE(m.peakGain && m.peakFrequency);
            EXPECT_NEAR(*m.peakGain, loop.Db(*m.peakFrequency), 1e-9);
            EXPECT_NEAR(*m.peakGain, peak, 0.1);
        }
    }
    // The cases above cover what they claim.
    EXPECT_EQ(Roots(kLoops[2], [&](double f) { return kLoops[2].Db(f) >= 0; }).size(), 3u);
    EXPECT_GE(Measure(Sample(kLoops[4])).phaseCrossings.size(), 5u);
}

TEST(LoopMargins, OnlyTheGivenRangeIsMeasured) {
    const Sampled s = Sample(kLoops[2]);
    const LoopMargins all = Measure(s);
    ASSERT_EQ(all.gainCrossings.size(), 3u);
    // From the resonance's rise on, the first fall is the last crossing.
    std::int32_t after = 0;
    while (s.f[after] < all.gainCrossings[1].frequency * 0.9) ++after;
    const LoopMargins tail = Measure(s, after, static_cast<std::int32_t>(s.f.size()) - 1);
    ASSERT_EQ(tail.gainCrossings.size(), 2u);
    EXPECT_EQ(tail.gainCrossover, all.gainCrossings[2].frequency);
    EXPECT_EQ(tail.phaseMargin, all.gainCrossings[2].margin);
    // The integrator's low end is left out: the resonance is the peak now.
    EXPECT_EQ(all.peakFrequency, s.f[0]);
    EXPECT_NEAR(*tail.peakFrequency / 5e3, 1.0, 0.02);
    const LoopMargins none = Measure(s, 5, 4);
    EXPECT_TRUE(none.Ok());
    EXPECT_FALSE(none.peakGain || none.bandwidth || none.gainCrossover);
}

TEST(LoopMargins, FrequencyThatDoesNotRiseIsRefused) {
    struct Case {
        std::vector<double> f;
        std::vector<std::uint8_t> flags;
        bool refused;
    };
    const Case cases[] = {
        {{1, 3, 2, 4}, {V, V, V, V}, true},
        {{1, 2, 2, 4}, {V, V, V, V}, true},
        {{1, 3, 2, 4}, {V, V, I, V}, false},
        {{0, -1, 1, 4}, {V, V, V, V}, false},
    };
    for (const Case& c : cases) {
        const std::vector<double> db = {6, 3, 0, -3}, deg = {-90, -100, -110, -120};
        const LoopMargins m = StabilityMargins(c.f, c.flags, db, c.flags, deg, c.flags, 0, 3);
        EXPECT_EQ(m.error, c.refused ? kNotIncreasingFrequency : "");
        EXPECT_EQ(m.peakGain.has_value(), !c.refused);
    }
}

TEST(LoopMargins, UnwrapKeepsThePhaseContinuous) {
    struct Case {
        std::vector<double> in;
        std::vector<std::uint8_t> flags;
        std::vector<double> out;  // NaN where flagged invalid
    };
    const double N = std::nan("");
    const Case cases[] = {
        {{270, 280}, {V, V}, {-90, -80}},
        {{-180, -170}, {V, V}, {180, 190}},
        {{170, -170, -150}, {V, V, V}, {170, 190, 210}},
        {{-170, 170, 0, 710}, {V, V, V, V}, {-170, -190, -360, -370}},
        {{0, 180, 0, -180}, {V, V, V, V}, {0, 180, 0, -180}},
        {{170, 0, N, -170}, {V, I, V, V}, {170, N, N, 190}},
    };
    for (const Case& c : cases) {
        const FlaggedValues u = UnwrapPhase(c.in, c.flags);
        ASSERT_EQ(u.values.size(), c.out.size());
        for (std::size_t i = 0; i < c.out.size(); ++i) {
            EXPECT_EQ(u.flags[i], std::isnan(c.out[i]) ? I : V) << i;
            if (!std::isnan(c.out[i])) {
                EXPECT_DOUBLE_EQ(u.values[i], c.out[i]) << i;
            }
        }
    }
}

TEST(LoopMargins, GroupDelayOfAPoleAndADelay) {
    // A pole at 1 kHz behind 20 us: the phase wraps many times, the delay is smooth.
    const Loop loop{"pole and delay", 1, 0, {1e3}, {}, 0, 0, 20e-6, 10, 1e5};
    const Sampled s = Sample(loop);
    const FlaggedValues d = GroupDelay(s.f, s.flags, s.phase, s.flags);
    for (std::size_t i = 0; i < s.f.size(); ++i) {
        const double x = s.f[i] / 1e3, want = 20e-6 + 1 / (2 * kPi * 1e3 * (1 + x * x));
        const bool end = i == 0 || i + 1 == s.f.size();
        ASSERT_EQ(d.flags[i], V);
        EXPECT_NEAR(d.values[i] / want, 1.0, end ? 0.02 : 1e-3) << s.f[i];
    }
    // Linear phase, 0.2 s; uneven steps, a repeated frequency and an invalid phase.
    const std::vector<double> f = {1, 2, 3, 3, 5, 6, 7, 8};
    std::vector<double> deg;
    for (double x : f) deg.push_back(Wrapped(-72 * x));
    const std::vector<std::uint8_t> ff(8, V), pf = {V, V, V, V, V, V, I, V};
    const FlaggedValues g = GroupDelay(f, ff, deg, pf);
    EXPECT_EQ(g.flags, (std::vector<std::uint8_t>{V, V, I, I, V, I, I, I}));
    for (std::size_t i : {0, 1, 4}) EXPECT_NEAR(g.values[i], 0.2, 1e-12) << i;
}

TEST(LoopMargins, PhaseColumnPairsWithItsAmplitude) {
    const std::vector<std::string> names = {
        "Frequency",    "amp(v(out))", "phase(v(out))", "amp(i(v1))", "Vout", "Amp(x)_2",
        "phase(i(v1))", "Phase(x)_2",  "amp(y)",        "phase(y",    "amp(", "phase("};
    struct Case {
        std::int32_t amp, phase;
    };
    for (const Case c : {Case{1, 2}, Case{3, 6}, Case{5, 7}, Case{8, -1}, Case{0, -1}, Case{4, -1},
                         Case{10, -1}, Case{2, -1}, Case{-1, -1}, Case{12, -1}})
        EXPECT_EQ(PhaseColumnFor(names, c.amp), c.phase) << c.amp;
}

TEST(LoopMargins, NgspiceLoopsMatchTheClosedForm) {
    // The decks' integrator is gm / C1 = 1 mS / 50 nF; each RC section is a pole.
    const double k = 1e-3 / 50e-9, p1 = 1 / (2 * kPi * 1e3 * 10e-9),
                 p2 = 1 / (2 * kPi * 1e3 * 100e-9);
    const Loop loops[] = {{"loop_pole.raw", k, 1, {p1}, {}},
                          {"loop_two_poles.raw", k, 1, {p1, p2}, {}}};
    for (const Loop& loop : loops) {
        SCOPED_TRACE(loop.name);
        CResultDataRef data;
        test::RecordingMessages messages;
        ASSERT_TRUE(LoadResultFile(std::string(KURVEX_SPICE_DIR) + "/" + loop.name, data, nullptr,
                                   messages));
        std::vector<std::string> names;
        for (std::int32_t v = 0; v < data->VariableCount(); ++v)
            names.push_back(data->Variable(v)->Name());
        const std::int32_t phase = PhaseColumnFor(names, 1);
        ASSERT_EQ(phase, 2);
        const auto column = [&](std::int32_t v) {
            return std::pair(
                std::span<const double>(data->Variable(v)->Values(), data->RowCount()),
                std::span<const std::uint8_t>(data->Variable(v)->Flags(), data->RowCount()));
        };
        const auto [f, ff] = column(0);
        const auto [db, df] = column(1);
        const auto [deg, pf] = column(phase);
        const LoopMargins m = StabilityMargins(f, ff, db, df, deg, pf, 0, data->RowCount() - 1);
        ASSERT_TRUE(m.Ok()) << m.error;
        const auto gain = Roots(loop, [&](double x) { return loop.Db(x) >= 0; });
        const auto turn =
            Roots(loop, [&](double x) { return std::floor((loop.Phase(x) + 180.0) / 360.0); });
        ASSERT_EQ(gain.size(), 1u);
        ASSERT_TRUE(m.gainCrossover && m.phaseMargin);
        EXPECT_NEAR(*m.gainCrossover / gain[0], 1.0, 0.005);
        EXPECT_NEAR(*m.phaseMargin, 180.0 + loop.Phase(gain[0]), 0.2);
        ASSERT_EQ(turn.size(), loop.poles.size() - 1);
        ASSERT_EQ(m.phaseCrossings.size(), turn.size());
        if (!turn.empty()) {
            EXPECT_NEAR(*m.phaseCrossover / turn[0], 1.0, 0.005);
            EXPECT_NEAR(*m.gainMargin, -loop.Db(turn[0]), 0.1);
        }
    }
}

}  // namespace
}  // namespace kurvex
