#include "graph/RunColours.h"

#include <algorithm>
#include <cmath>

#include "graph/ViewLayout.h"

namespace kurvex {

namespace {

int Red(Rgb c) {
    return static_cast<int>(c & 0xFF);
}
int Green(Rgb c) {
    return static_cast<int>((c >> 8) & 0xFF);
}
int Blue(Rgb c) {
    return static_cast<int>((c >> 16) & 0xFF);
}

Rgb Mix(Rgb c, Rgb toward, double t) {
    auto one = [t](int a, int b) { return static_cast<Rgb>(std::lround(a + (b - a) * t)) & 0xFF; };
    return one(Red(c), Red(toward)) | (one(Green(c), Green(toward)) << 8) |
           (one(Blue(c), Blue(toward)) << 16);
}

// Lighter than this toward white and a run fades into the page; darker than
// this toward black and runs of dark colours can no longer be told apart.
constexpr double kMostLighter = 0.65;
constexpr double kMostDarker = 0.6;

Rgb LightnessStep(Rgb c, std::int32_t run, std::int32_t runCount) {
    const std::int32_t later = std::max(1, runCount - 1);
    const int luma = (299 * Red(c) + 587 * Green(c) + 114 * Blue(c)) / 1000;
    // A dark colour has no room to go darker, a light one none to go lighter:
    // their runs all step the other way; a middle one alternates.
    if (luma < 70) return Mix(c, kRgbWhite, kMostLighter * run / later);
    if (luma > 170) return Mix(c, kRgbBlack, kMostDarker * run / later);
    const std::int32_t levels = (later + 1) / 2;
    const std::int32_t level = (run + 1) / 2;
    return run % 2 == 1 ? Mix(c, kRgbWhite, kMostLighter * level / levels)
                        : Mix(c, kRgbBlack, kMostDarker * level / levels);
}

}  // namespace

RunLook RunAppearance(Rgb colour, std::int32_t run, std::int32_t runCount, std::int32_t curveCount,
                      bool blackWhite) {
    if (blackWhite) {
        // Patterns long and short enough to be told apart at a glance.
        static constexpr int kPatterns[][2] = {{6, 4}, {2, 3}, {12, 4}, {1, 6}, {18, 6}, {4, 8}};
        constexpr std::int32_t kCount = sizeof(kPatterns) / sizeof(kPatterns[0]);
        if (run <= 0) return {kRgbBlack, 0, 0};
        const auto& p = kPatterns[(run - 1) % kCount];
        return {kRgbBlack, p[0], p[1]};
    }
    if (run <= 0) return {colour, 0, 0};
    if (curveCount <= 1) {
        // The palette from the colour after the curve's own, which never
        // comes back for a later run.
        constexpr std::int32_t n = 12;
        std::int32_t own = -1;
        for (std::int32_t i = 0; i < n; ++i)
            if (kNewCurvePalette[i] == colour) own = i;
        if (own < 0) return {kNewCurvePalette[(run - 1) % n], 0, 0};
        return {kNewCurvePalette[(own + 1 + (run - 1) % (n - 1)) % n], 0, 0};
    }
    return {LightnessStep(colour, run, runCount), 0, 0};
}

}  // namespace kurvex
