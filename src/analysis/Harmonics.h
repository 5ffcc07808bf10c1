#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "analysis/FigureTable.h"
#include "graph/GraphCurve.h"

namespace kurvex {

// One harmonic of a spectrum.
struct HarmonicRow {
    std::int32_t order = 0;
    double frequency = 0.0;
    double amplitude = 0.0;
    double percent = 0.0;  // of the fundamental's amplitude
};

// The harmonics of an amplitude spectrum and its total harmonic distortion.
struct Harmonics {
    std::string error;  // why there is no fundamental; empty when there is one
    std::int32_t fundamentalBin = 0;
    double fundamental = 0.0;  // its frequency
    double amplitude = 0.0;
    std::optional<double> thd;      // percent; none without a second order in the spectrum
    std::vector<HarmonicRow> rows;  // order 1 (the fundamental) up

    bool Ok() const { return error.empty(); }
};

// The most orders listed.
inline constexpr std::int32_t kMaxHarmonicOrder = 50;

// The harmonics of `amplitude` over `frequency` (k / T, bin 0 at 0 Hz). The
// fundamental is the strongest bin above 0 Hz, or the bin nearest
// `fundamental` when given; order k is bin k times the fundamental's, up to
// `maxOrder` or the last bin. THD = sqrt(sum of A_k^2, k >= 2) / A_1.
Harmonics FindHarmonics(std::span<const double> frequency, std::span<const double> amplitude,
                        std::optional<double> fundamental = std::nullopt,
                        std::int32_t maxOrder = kMaxHarmonicOrder);

// The harmonics of curve `curve` of a screen that shows spectra; an error
// when the screen shows time curves or the curve has no spectrum.
Harmonics HarmonicsOfCurve(const CGraphCurve& screen, std::int32_t curve,
                           std::optional<double> fundamental = std::nullopt);

// The table of the harmonics: "Order", "Frequency", "Amplitude", "Percent";
// the title gives the curve's name and the THD, the message any error.
FigureTable HarmonicsTable(const Harmonics& harmonics, const std::string& name,
                           Rgb colour = kRgbBlack);

}  // namespace kurvex
