#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>
#include <span>
#include <string>
#include <tuple>
#include <vector>

#include "TestSupport.h"
#include "analysis/LoopMargins.h"
#include "data/document/ResultFile.h"
#include "data/model/PhaseColumns.h"
#include "formula/FormulaTestSupport.h"
#include "formula/FormulaVariable.h"

namespace kurvex {
namespace {

constexpr double kPi = std::numbers::pi;
constexpr std::uint8_t V = kPointValid, I = kPointInvalid;

double Wrapped(double deg) {
    return deg - 360.0 * std::ceil((deg - 180.0) / 360.0);
}

// A loop as a product of factors in s = j 2 pi f, in closed form: its gain in
// dB, and its phase summed factor by factor, so continuous however it turns.
struct Loop {
    const char* name;
    double k;
    int integrators;
    std::vector<double> poles, zeros;  // real, in Hz
    double resonance = 0.0, damping = 0.0, delay = 0.0, fmin = 10.0, fmax = 1e6;

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

// The loop at 200 points per decade, its phase wrapped as a simulator gives it.
struct Sampled {
    std::vector<double> f, db, phase;
    std::vector<std::uint8_t> flags;

    explicit Sampled(const Loop& loop) {
        for (double f1 = loop.fmin; f1 <= loop.fmax * (1 + 1e-9); f1 *= std::pow(10.0, 0.005)) {
            f.push_back(f1), db.push_back(loop.Db(f1)), phase.push_back(Wrapped(loop.Phase(f1)));
        }
        flags.assign(f.size(), V);
    }
    LoopMargins Measure(std::int32_t first = 0, std::int32_t last = 1 << 30) const {
        return StabilityMargins(f, flags, db, flags, phase, flags, first, last);
    }
};

const Loop kLoops[] = {
    {"integrator and a pole", 2 * kPi * 3000, 1, {10e3}, {}},
    {"integrator and two poles", 2 * kPi * 2000, 1, {1e3, 20e3}, {}},
    {"resonance, PI and a pole", 0.3 * 2 * kPi * 100, 1, {20e3}, {100}, 5e3, 0.05, 0, 1, 1e5},
    {"never reaches 0 dB", 0.5, 0, {1e3}, {}, 0, 0, 0, 10, 1e5},
    {"delay wraps the phase", 2 * kPi * 1000, 1, {10e3}, {}, 0, 0, 20e-6, 10, 3e5},
    {"unstable: below -180 at the crossover", 2 * kPi * 2000, 1, {100, 300}, {}},
};

// Checks every figure of `m` against the roots of the closed form.
void ExpectClosedForm(const Loop& loop, const LoopMargins& m) {
    ASSERT_TRUE(m.Ok()) << m.error;
    const auto gain = Roots(loop, [&](double f) { return loop.Db(f) >= 0; });
    const auto turn = Roots(loop, [&](double f) { return std::floor(loop.Phase(f) / 360 + 0.5); });
    const auto bandwidth =
        Roots(loop, [&](double f) { return loop.Db(f) >= loop.Db(loop.fmin) - 3; });
    double peak = -1e300;
    for (double f = loop.fmin; f < loop.fmax; f *= 1.0001) peak = std::max(peak, loop.Db(f));
    ASSERT_EQ(m.gainCrossings.size(), gain.size());
    std::optional<double> firstDown;
    for (std::size_t i = 0; i < gain.size(); ++i) {
        const double f = gain[i], pm = Wrapped(180.0 + loop.Phase(f));
        EXPECT_NEAR(m.gainCrossings[i].frequency / f, 1.0, 0.005);
        EXPECT_NEAR(m.gainCrossings[i].margin, pm, 0.2);
        EXPECT_EQ(m.gainCrossings[i].falling, loop.Db(f * 1.001) < 0);
        if (loop.Db(f * 1.001) < 0 && !firstDown) firstDown = f;
    }
    ASSERT_EQ(m.gainCrossover.has_value(), firstDown.has_value());
    ASSERT_EQ(m.phaseMargin.has_value(), firstDown.has_value());
    if (firstDown) {
        EXPECT_NEAR(*m.gainCrossover / *firstDown, 1.0, 0.005);
        EXPECT_NEAR(*m.phaseMargin, Wrapped(180 + loop.Phase(*firstDown)), 0.2);
    }
    ASSERT_EQ(m.phaseCrossings.size(), turn.size());
    for (std::size_t i = 0; i < turn.size(); ++i) {
        EXPECT_NEAR(m.phaseCrossings[i].frequency / turn[i], 1.0, 0.005);
        EXPECT_NEAR(m.phaseCrossings[i].margin, -loop.Db(turn[i]), 0.1);
    }
    EXPECT_EQ(m.phaseCrossover.has_value(), !turn.empty());
    EXPECT_EQ(m.gainMargin,
              turn.empty() ? std::nullopt : std::optional(m.phaseCrossings[0].margin));
    ASSERT_TRUE(m.bandwidth && !bandwidth.empty() && m.peakGain && m.peakFrequency);
    EXPECT_NEAR(*m.bandwidth / bandwidth[0], 1.0, 0.005);
    EXPECT_NEAR(*m.peakGain, loop.Db(*m.peakFrequency), 1e-9);
    EXPECT_NEAR(*m.peakGain, peak, 0.1);
}

TEST(LoopMargins, MarginsMatchTheClosedForm) {
    for (const Loop& loop : kLoops) {
        SCOPED_TRACE(loop.name);
        Sampled s(loop);
        const FlaggedValues unwrapped = UnwrapPhase(s.phase, s.flags);
        for (std::size_t i = 0; i < s.f.size(); ++i)
            ASSERT_NEAR(unwrapped.values[i], loop.Phase(s.f[i]), 1e-6) << s.f[i];
        ExpectClosedForm(loop, s.Measure());
        // Junk below 0 Hz and at invalid samples must change nothing.
        for (std::size_t i = 3; i < s.f.size(); i += 7) s.flags[i] = I, s.db[i] = 99;
        for (double f : {0.0, -5.0}) {
            s.f.insert(s.f.begin(), f), s.db.insert(s.db.begin(), 50.0);
            s.phase.insert(s.phase.begin(), 77.0), s.flags.insert(s.flags.begin(), V);
        }
        ExpectClosedForm(loop, s.Measure());
    }
    // By hand: 130 is -230 wrapped, so the crossover at 10^1.5 Hz lies at -200 degrees.
    const std::vector<double> f = {10, 100}, db = {10, -10}, deg = {-170, 130};
    const std::vector<std::uint8_t> v(2, V);
    const LoopMargins m = StabilityMargins(f, v, db, v, deg, v, 0, 1);
    EXPECT_NEAR(m.gainCrossover.value_or(0.0), std::pow(10.0, 1.5), 1e-9);
    EXPECT_NEAR(m.phaseMargin.value_or(0.0), -20.0, 1e-9);
}

TEST(LoopMargins, OnlyTheRangeAndRisingFrequenciesAreMeasured) {
    const Sampled s(kLoops[2]);
    const LoopMargins all = s.Measure();
    ASSERT_EQ(all.gainCrossings.size(), 3u);
    // From the resonance's rise on, the first fall is the last crossing, and
    // the resonance is the peak, no longer the integrator's low end.
    std::int32_t after = 0;
    while (s.f[after] < all.gainCrossings[1].frequency * 0.9) ++after;
    const LoopMargins tail = s.Measure(after, static_cast<std::int32_t>(s.f.size()) - 1);
    ASSERT_EQ(tail.gainCrossings.size(), 2u);
    EXPECT_EQ(tail.gainCrossover, all.gainCrossings[2].frequency);
    EXPECT_EQ(tail.phaseMargin, all.gainCrossings[2].margin);
    EXPECT_NEAR(*tail.peakFrequency / 5e3, 1.0, 0.02);
    EXPECT_FALSE(s.Measure(5, 4).peakGain);
    // 2.5 Hz marks a sample flagged invalid.
    for (const auto& [f, refused] :
         std::vector<std::pair<std::vector<double>, bool>>{{{1, 3, 2, 4}, true},
                                                           {{1, 2, 2, 4}, true},
                                                           {{1, 3, 2.5, 4}, false},
                                                           {{1, 2, -1, 4}, false}}) {
        std::vector<std::uint8_t> flags(4, V);
        for (std::size_t i = 0; i < 4; ++i) flags[i] = f[i] == 2.5 ? I : V;
        const std::vector<double> db = {6, 3, 0, -3}, deg = {-90, -100, -110, -120};
        const LoopMargins m = StabilityMargins(f, flags, db, flags, deg, flags, 0, 3);
        EXPECT_EQ(m.error, refused ? kNotIncreasingFrequency : "");
        EXPECT_EQ(m.peakGain.has_value(), !refused);
    }
}

TEST(LoopMargins, UnwrapKeepsThePhaseContinuous) {
    // In: X is flagged invalid. Out: NaN where the result is flagged invalid. The column
    // unwrapper sees the frequencies 1, 2, 3 ... unless a case gives its own.
    const double N = std::nan(""), X = 1e300;
    using Doubles = std::vector<double>;
    const std::tuple<Doubles, Doubles, Doubles> cases[] = {
        {{270, 280}, {-90, -80}, {}},
        {{-180, -170}, {180, 190}, {}},
        {{0, 180, 0, -180}, {0, 180, 0, -180}, {}},
        {{-170, 170, 0, 710}, {-170, -190, -360, -370}, {}},
        {{170, X, N, -170}, {170, N, N, 190}, {}},
        {{170, -170, -150, -150}, {170, 190, 210, 210}, {1, 2, 3, 3}},  // a repeat is no new sweep
    };
    for (const auto& [in, out, given] : cases) {
        std::vector<std::uint8_t> flags;
        for (double d : in) flags.push_back(d == X ? I : V);
        const FlaggedValues u = UnwrapPhase(in, flags);
        Doubles x = given, column = in;
        for (std::size_t i = x.size(); i < in.size(); ++i) x.push_back(i + 1.0);
        UnwrapPhaseColumn(x.data(), std::vector<std::uint8_t>(x.size(), V).data(), column.data(),
                          flags.data(), static_cast<std::int64_t>(in.size()));
        ASSERT_EQ(u.values.size(), out.size());
        for (std::size_t i = 0; i < out.size(); ++i) {
            EXPECT_EQ(u.flags[i], std::isnan(out[i]) ? I : V) << i;
            if (std::isnan(out[i])) continue;
            EXPECT_EQ(column[i], out[i]) << i << " of " << in.size() << " (column)";
            EXPECT_EQ(u.values[i], out[i]) << i;
        }
    }
}

TEST(LoopMargins, GroupDelayIsExactOnAQuadraticPhase) {
    // The three-point derivative is exact on a quadratic however uneven the
    // steps; the phase wraps, a frequency repeats, one falls and a phase is invalid.
    // The formula GD, which reads no flags, must agree where that phase is NaN.
    const std::vector<double> f = {1, 2, 3, 3, 5, 6, 7, 8, 9, 8.5, 10, 11};
    std::vector<double> deg;
    for (double x : f) deg.push_back(Wrapped(-36 * x - 2 * x * x));
    std::vector<std::uint8_t> pf(f.size(), V);
    pf[6] = I;
    const FlaggedValues g = GroupDelay(f, std::vector<std::uint8_t>(f.size(), V), deg, pf);
    deg[6] = std::nan("");
    const FormulaBuild gd =
        BuildFormulaVariable(test::MakeData({"Frequency", "P"}, {f, deg}), "GD(P)");
    ASSERT_TRUE(gd.variable);
    const std::vector<std::uint8_t> want = {V, V, I, I, V, I, I, I, I, I, V, V};
    EXPECT_EQ(g.flags, want);
    EXPECT_EQ(std::vector<std::uint8_t>(gd.variable->Flags(), gd.variable->Flags() + 12), want);
    // The ends take the secant to their one neighbour.
    for (std::size_t i : {0, 1, 4, 10, 11}) {
        const double secant = i == 0 ? 42 : i == 11 ? 78 : 36 + 4 * f[i];
        EXPECT_NEAR(g.values[i] * 360, secant, 1e-9) << f[i];
        EXPECT_NEAR(gd.variable->Values()[i] * 360, secant, 1e-9) << f[i];
    }
}

TEST(LoopMargins, NgspiceLoopsMatchTheClosedForm) {
    // The decks' integrator is gm / C1 = 1 mS / 50 nF; each RC section is a pole.
    const double k = 1e-3 / 50e-9, p1 = 1 / (2 * kPi * 1e-5), p2 = 1 / (2 * kPi * 1e-4);
    // loop_resonant.cir: gm = 1 mS into Rz-Cz parallel to Cp, then Rd-L-C.
    const double gm = 1e-3, rz = 300, cz = 5.3e-6, cp = 27e-9, rd = 0.3, l = 100e-6, c = 10e-6;
    const Loop resonant{"",
                        gm / (cz + cp),
                        1,
                        {1 / (2 * kPi * rz * cz * cp / (cz + cp))},
                        {1 / (2 * kPi * rz * cz)},
                        1 / (2 * kPi * std::sqrt(l * c)),
                        rd / 2 * std::sqrt(c / l),
                        0,
                        1,
                        1e5};
    const auto named = [](Loop loop, const char* name) { return loop.name = name, loop; };
    // The resonance lifts the gain through 0 dB three times.
    for (const Loop& loop :
         {Loop{"loop_pole.raw", k, 1, {p1}, {}}, Loop{"loop_two_poles.raw", k, 1, {p1, p2}, {}},
          named(resonant, "loop_resonant.raw"), named(resonant, "loop_resonant.fra")}) {
        SCOPED_TRACE(loop.name);
        CResultDataRef data;
        test::RecordingMessages messages;
        ASSERT_TRUE(LoadResultFile(std::string(KURVEX_SPICE_DIR) + "/" + loop.name, data, nullptr,
                                   messages));
        const std::int32_t phase = PhaseColumnFor(test::Names(data), 1), n = data->RowCount();
        ASSERT_EQ(phase, 2);
        const auto val = [&](int v) {
            return std::span<const double>(data->Variable(v)->Values(), n);
        };
        const auto flg = [&](int v) {
            return std::span<const std::uint8_t>(data->Variable(v)->Flags(), n);
        };
        const LoopMargins m =
            StabilityMargins(val(0), flg(0), val(1), flg(1), val(phase), flg(phase), 0, n - 1);
        ExpectClosedForm(loop, m);
    }
}

}  // namespace
}  // namespace kurvex
