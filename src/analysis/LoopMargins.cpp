#include "analysis/LoopMargins.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <string_view>

#include "data/model/PhaseColumns.h"
#include "data/model/ResultVariable.h"

namespace kurvex {

namespace {

// The angle in (-180, 180].
double Principal(double degrees) {
    double r = std::fmod(degrees, 360.0);
    if (r <= -180.0) r += 360.0;
    if (r > 180.0) r -= 360.0;
    return r;
}

// What follows `prefix` (matched without regard to case) in `name`, if it starts so.
std::optional<std::string_view> After(std::string_view name, std::string_view prefix) {
    if (name.size() <= prefix.size()) return std::nullopt;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(name[i])) != prefix[i]) return std::nullopt;
    }
    return name.substr(prefix.size());
}

// The samples StabilityMargins measures: valid in all three columns.
struct Response {
    std::vector<double> logF, frequency, gain, phase;

    // Log-linear in frequency between samples k - 1 and k at fraction t.
    double FrequencyAt(std::size_t k, double t) const {
        return std::pow(10.0, logF[k - 1] + t * (logF[k] - logF[k - 1]));
    }
};

double Lerp(const std::vector<double>& y, std::size_t k, double t) {
    return y[k - 1] + t * (y[k] - y[k - 1]);
}

// Each pass of `y` through `level`, in order: calls found(k, t, falling) for a
// crossing between samples k - 1 and k at fraction t. A sample exactly at the
// level counts as above it, so a touch from above is no crossing.
template <class Found>
void Crossings(const std::vector<double>& y, double level, Found found) {
    for (std::size_t k = 1; k < y.size(); ++k) {
        const bool above = y[k - 1] >= level, nowAbove = y[k] >= level;
        if (above == nowAbove) continue;
        found(k, (level - y[k - 1]) / (y[k] - y[k - 1]), !nowAbove);
    }
}

}  // namespace

FlaggedValues UnwrapPhase(std::span<const double> degrees, std::span<const std::uint8_t> flags) {
    const std::size_t n = std::min(degrees.size(), flags.size());
    FlaggedValues out;
    out.values.assign(degrees.begin(), degrees.begin() + static_cast<std::ptrdiff_t>(n));
    out.flags.assign(n, kPointInvalid);
    bool started = false;
    double lastGiven = 0.0, lastOut = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const double d = degrees[i];
        if (flags[i] != kPointValid || !std::isfinite(d)) continue;
        double v = Principal(d);
        if (started) {
            double step = d - lastGiven;
            if (std::abs(step) > 180.0) step -= 360.0 * std::round(step / 360.0);
            v = lastOut + step;
        }
        started = true;
        lastGiven = d;
        lastOut = v;
        out.values[i] = v;
        out.flags[i] = kPointValid;
    }
    return out;
}

FlaggedValues GroupDelay(std::span<const double> frequency,
                         std::span<const std::uint8_t> frequencyFlags,
                         std::span<const double> degrees, std::span<const std::uint8_t> flags) {
    const std::size_t n =
        std::min({frequency.size(), frequencyFlags.size(), degrees.size(), flags.size()});
    FlaggedValues out;
    out.values.assign(n, 0.0);
    out.flags.assign(n, kPointInvalid);
    // The formula function GD computes the same, below the analysis layer.
    GroupDelayColumn(frequency.data(), frequencyFlags.data(), degrees.data(), flags.data(),
                     out.values.data(), out.flags.data(), static_cast<std::int64_t>(n));
    return out;
}

LoopMargins StabilityMargins(std::span<const double> frequency,
                             std::span<const std::uint8_t> frequencyFlags,
                             std::span<const double> gainDb,
                             std::span<const std::uint8_t> gainFlags,
                             std::span<const double> degrees,
                             std::span<const std::uint8_t> phaseFlags, std::int32_t first,
                             std::int32_t last) {
    LoopMargins m;
    const auto n =
        static_cast<std::int64_t>(std::min({frequency.size(), frequencyFlags.size(), gainDb.size(),
                                            gainFlags.size(), degrees.size(), phaseFlags.size()}));
    const std::int64_t from = std::max<std::int64_t>(first, 0);
    const std::int64_t to = std::min<std::int64_t>(last, n - 1);
    Response r;
    std::vector<double> given;
    for (std::int64_t i = from; i <= to; ++i) {
        const auto u = static_cast<std::size_t>(i);
        if (frequencyFlags[u] != kPointValid || gainFlags[u] != kPointValid ||
            phaseFlags[u] != kPointValid)
            continue;
        if (!std::isfinite(frequency[u]) || !std::isfinite(gainDb[u]) ||
            !std::isfinite(degrees[u]) || !(frequency[u] > 0.0))
            continue;
        if (!r.frequency.empty() && !(frequency[u] > r.frequency.back())) {
            m.error = kNotIncreasingFrequency;
            return m;
        }
        r.frequency.push_back(frequency[u]);
        r.logF.push_back(std::log10(frequency[u]));
        r.gain.push_back(gainDb[u]);
        given.push_back(degrees[u]);
    }
    if (r.frequency.empty()) return m;
    r.phase = UnwrapPhase(given, std::vector<std::uint8_t>(given.size(), kPointValid)).values;

    const auto peak = std::max_element(r.gain.begin(), r.gain.end()) - r.gain.begin();
    m.peakGain = r.gain[static_cast<std::size_t>(peak)];
    m.peakFrequency = r.frequency[static_cast<std::size_t>(peak)];

    Crossings(r.gain, 0.0, [&](std::size_t k, double t, bool falling) {
        m.gainCrossings.push_back(
            {r.FrequencyAt(k, t), Principal(180.0 + Lerp(r.phase, k, t)), falling});
    });
    // The phase passes at most one level -180 + k 360 between neighbours:
    // unwrapped, it steps by no more than 180 degrees.
    for (std::size_t k = 1; k < r.phase.size(); ++k) {
        const double a = r.phase[k - 1], b = r.phase[k];
        const double bandA = std::floor((a + 180.0) / 360.0),
                     bandB = std::floor((b + 180.0) / 360.0);
        if (bandA == bandB) continue;
        const double level = -180.0 + 360.0 * std::max(bandA, bandB);
        const double t = (level - a) / (b - a);
        m.phaseCrossings.push_back({r.FrequencyAt(k, t), -Lerp(r.gain, k, t), b < a});
    }
    for (const LoopCrossing& c : m.gainCrossings) {
        if (!c.falling) continue;
        m.gainCrossover = c.frequency;
        m.phaseMargin = c.margin;
        break;
    }
    if (!m.phaseCrossings.empty()) {
        m.phaseCrossover = m.phaseCrossings.front().frequency;
        m.gainMargin = m.phaseCrossings.front().margin;
    }
    Crossings(r.gain, r.gain.front() - 3.0, [&](std::size_t k, double t, bool falling) {
        if (falling && !m.bandwidth) m.bandwidth = r.FrequencyAt(k, t);
    });
    return m;
}

std::int32_t PhaseColumnFor(std::span<const std::string> names, std::int32_t ampIndex) {
    const auto n = static_cast<std::int64_t>(names.size());
    if (ampIndex < 0 || ampIndex >= n) return -1;
    // What follows "amp(" is kept whole, so a suffix that a merge gave both
    // columns pairs them still.
    const auto rest = After(names[static_cast<std::size_t>(ampIndex)], "amp(");
    if (!rest) return -1;
    const auto pairs = [&](std::int64_t i) {
        const auto other = After(names[static_cast<std::size_t>(i)], "phase(");
        return other && *other == *rest;
    };
    // The readers put the phase right after its amplitude; look there first.
    if (ampIndex + 1 < n && pairs(ampIndex + 1)) return ampIndex + 1;
    for (std::int64_t i = 0; i < n; ++i) {
        if (pairs(i)) return static_cast<std::int32_t>(i);
    }
    return -1;
}

}  // namespace kurvex
