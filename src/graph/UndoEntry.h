#pragma once

#include <cstdint>

namespace kurvex {

// The kind of range change that pushed the newest undo entry. A run of steps
// of kind 1, 2 or 3 shares one entry, so one undo takes back the whole run.
enum UndoKind : std::int32_t {
    kUndoZoom = 0,     // zoom, re-draw, pan, FFT switch
    kUndoHScroll = 1,  // horizontal scroll bar
    kUndoVScroll = 2,  // vertical scroll bar
    kUndoWheel = 3,    // mouse wheel
};

// One saved range state of a screen.
struct UndoEntry {
    double xFrom = 0.0;
    double xTo = 0.0;
    double xIncrement = 0.0;
    double yFrom = 0.0;
    double yTo = 0.0;
    double yIncrement = 0.0;
    std::int32_t xLog = 0;
    std::int32_t yLog = 0;
    std::int32_t freqDisplay = 0;
};

}  // namespace kurvex
