#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kurvex {

// A column of samples with its point flags, as an analysis hands it back.
struct FlaggedValues {
    std::vector<double> values;
    std::vector<std::uint8_t> flags;
};

// The phase in degrees made continuous along its samples: the first valid
// sample keeps its principal value in (-180, 180], and a step of more than
// 180 degrees between neighbouring valid samples is taken as a wrap. Samples
// flagged otherwise than valid, or not finite, are copied and flagged invalid;
// the unwrapping goes on across them.
FlaggedValues UnwrapPhase(std::span<const double> degrees, std::span<const std::uint8_t> flags);

// The group delay in seconds, -(1/360) dphi/df, of a phase in degrees over a
// frequency in Hz. The phase is unwrapped first. Inside, the three-point
// derivative for uneven spacing; one-sided at the two ends. A sample is
// invalid when it or a neighbour it needs is invalid, or when the frequency
// does not increase across them.
FlaggedValues GroupDelay(std::span<const double> frequency,
                         std::span<const std::uint8_t> frequencyFlags,
                         std::span<const double> degrees, std::span<const std::uint8_t> flags);

// One place where a loop's response crosses a level between two samples.
struct LoopCrossing {
    double frequency = 0.0;
    double margin = 0.0;   // phase margin (degrees) or gain margin (dB) there
    bool falling = false;  // the gain, or the phase, goes down through the level
};

// The stability figures of a loop's frequency response; each is absent where
// the response has none.
struct LoopMargins {
    std::string error;  // why nothing was measured; empty when the figures hold

    // The first fall through 0 dB and the phase margin 180 + phase there,
    // reduced to (-180, 180].
    std::optional<double> gainCrossover;
    std::optional<double> phaseMargin;
    std::vector<LoopCrossing> gainCrossings;  // every pass through 0 dB, either way

    // The first pass of the phase through -180 + k 360 degrees (any k) and
    // the gain margin -gain there.
    std::optional<double> phaseCrossover;
    std::optional<double> gainMargin;
    std::vector<LoopCrossing> phaseCrossings;

    // The first frequency where the gain has fallen 3 dB below its value at
    // the lowest frequency.
    std::optional<double> bandwidth;

    // The largest gain sample and its frequency (not interpolated).
    std::optional<double> peakGain;
    std::optional<double> peakFrequency;

    bool Ok() const { return error.empty(); }
};

// Refused: the valid frequencies above 0 Hz of the range do not rise strictly.
inline constexpr const char* kNotIncreasingFrequency =
    "The X variable is not an increasing frequency.";

// The margins of frequency (Hz), gain (dB) and phase (degrees) over samples
// first..last. A sample counts when all three are valid and finite and its
// frequency is above 0 Hz. The phase is unwrapped here, whatever is given.
// Between samples the frequency is interpolated linearly in log10, gain and
// phase linearly.
LoopMargins StabilityMargins(std::span<const double> frequency,
                             std::span<const std::uint8_t> frequencyFlags,
                             std::span<const double> gainDb,
                             std::span<const std::uint8_t> gainFlags,
                             std::span<const double> degrees,
                             std::span<const std::uint8_t> phaseFlags, std::int32_t first,
                             std::int32_t last);

// The column of `names` that holds the phase paired with the amplitude
// column `ampIndex` ("phase(V)" for "amp(V)", as the SPICE, MAT and
// frequency-response files name them); -1 when there is none.
std::int32_t PhaseColumnFor(std::span<const std::string> names, std::int32_t ampIndex);

}  // namespace kurvex
