#pragma once

#include <cstdint>

#include "graph/canvas/GraphTypes.h"

namespace kurvex {

// How one run of a curve is drawn: its colour, and in black and white a dash
// pattern (dash and gap in screen pixels; 0 and 0 for a solid line).
struct RunLook {
    Rgb colour = kRgbBlack;
    int dash = 0;
    int gap = 0;

    bool operator==(const RunLook&) const = default;
};

// The look of run `run` (0 .. runCount - 1) of a curve of `colour` on a
// screen of `curveCount` curves. Run 0 is the curve as it always was. A
// lone curve gives each later run the next colour of the new-curve palette;
// among several curves a curve keeps its hue and runs step in lightness;
// in black and white runs differ by dash pattern.
RunLook RunAppearance(Rgb colour, std::int32_t run, std::int32_t runCount, std::int32_t curveCount,
                      bool blackWhite);

}  // namespace kurvex
