#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace kurvex {

// The window a curve is multiplied by before its transform. The values are
// those kept in the options ("FFTWindow"); rectangular leaves the samples as
// they are.
enum class FftWindow : std::int32_t {
    kRectangular = 0,
    kHann = 1,
    kHamming = 2,
    kBlackmanHarris = 3,
    kFlatTop = 4,
};

// Every window, in menu order.
inline constexpr FftWindow kFftWindows[] = {FftWindow::kRectangular, FftWindow::kHann,
                                            FftWindow::kHamming, FftWindow::kBlackmanHarris,
                                            FftWindow::kFlatTop};

// The window stored as `value`, or none for a value no window has.
std::optional<FftWindow> FftWindowFromValue(std::int32_t value);
// The command-line name: "rect", "hann", "hamming", "blackman-harris", "flattop".
const char* FftWindowKey(FftWindow window);
// The window of a command-line name, or none.
std::optional<FftWindow> FftWindowFromKey(std::string_view key);
// The name shown to the user: "Rectangular", "Hann", "Hamming", "Blackman-Harris", "Flat-top".
const char* FftWindowLabel(FftWindow window);

// Multiplies `values` by the periodic window of their length and returns its
// coherent gain (the mean of the window), by which the amplitudes are divided
// so that a sine centred on a bin reads its amplitude. The rectangular window
// changes nothing and returns 1.
double ApplyFftWindow(FftWindow window, std::span<double> values);

// The comment line naming the window in a spectrum file (";; FFT Window: Hann"
// and CR LF); empty for the rectangular window, whose files stay as they were.
std::string FftWindowComment(FftWindow window);

}  // namespace kurvex
