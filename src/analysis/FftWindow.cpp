#include "analysis/FftWindow.h"

#include <cmath>
#include <numbers>

namespace kurvex {

namespace {

struct WindowInfo {
    FftWindow window;
    const char* key;
    const char* label;
    // Cosine-sum coefficients: w(z) = c0 - c1 cos z + c2 cos 2z - c3 cos 3z + c4 cos 4z.
    double c[5];
};

// Flat-top: Heinzel's HFT95, whose amplitude stays within 0.05 % anywhere
// between two bins.
constexpr WindowInfo kInfo[] = {
    {FftWindow::kRectangular, "rect", "Rectangular", {1.0, 0.0, 0.0, 0.0, 0.0}},
    {FftWindow::kHann, "hann", "Hann", {0.5, 0.5, 0.0, 0.0, 0.0}},
    {FftWindow::kHamming, "hamming", "Hamming", {0.54, 0.46, 0.0, 0.0, 0.0}},
    {FftWindow::kBlackmanHarris,
     "blackman-harris",
     "Blackman-Harris",
     {0.35875, 0.48829, 0.14128, 0.01168, 0.0}},
    {FftWindow::kFlatTop, "flattop", "Flat-top", {1.0, 1.9383379, 1.3045202, 0.4028270, 0.0350665}},
};

const WindowInfo& Info(FftWindow window) {
    for (const WindowInfo& info : kInfo) {
        if (info.window == window) return info;
    }
    return kInfo[0];
}

}  // namespace

std::optional<FftWindow> FftWindowFromValue(std::int32_t value) {
    for (const WindowInfo& info : kInfo) {
        if (static_cast<std::int32_t>(info.window) == value) return info.window;
    }
    return std::nullopt;
}

const char* FftWindowKey(FftWindow window) {
    return Info(window).key;
}

std::optional<FftWindow> FftWindowFromKey(std::string_view key) {
    for (const WindowInfo& info : kInfo) {
        if (key == info.key) return info.window;
    }
    return std::nullopt;
}

const char* FftWindowLabel(FftWindow window) {
    return Info(window).label;
}

double ApplyFftWindow(FftWindow window, std::span<double> values) {
    if (window == FftWindow::kRectangular || values.empty()) return 1.0;
    const double* c = Info(window).c;
    const double step = 2.0 * std::numbers::pi / static_cast<double>(values.size());
    double sum = 0.0;
    for (std::size_t j = 0; j < values.size(); ++j) {
        const double z = step * static_cast<double>(j);
        const double w = c[0] - c[1] * std::cos(z) + c[2] * std::cos(2.0 * z) -
                         c[3] * std::cos(3.0 * z) + c[4] * std::cos(4.0 * z);
        values[j] *= w;
        sum += w;
    }
    return sum / static_cast<double>(values.size());
}

std::string FftWindowComment(FftWindow window) {
    if (window == FftWindow::kRectangular) return {};
    return std::string(";; FFT Window: ") + FftWindowLabel(window) + "\r\n";
}

}  // namespace kurvex
