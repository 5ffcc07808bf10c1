#pragma once

#include <cstdint>
#include <functional>

namespace kurvex {

// What a drag on a screen does; one value for the whole program.
enum MouseModeValue : std::int32_t {
    kModeEscape = 0,
    kModePan = 1,
    kModeZoomBox = 2,
    kModeZoomPoint = 3,
    kModeZoomAxisEnd = 4,
    kModeMeasure = 5,
    kModeText = 6,
    kModeLine = 7,
};

// The process-wide mouse mode (Pan when the program starts).
std::int32_t MouseMode();
// Asks to change the mode: the hook (if set) may refuse; true when the mode
// is now `mode` (asking for the mode in force changes nothing and asks no hook).
bool SetMouseMode(std::int32_t mode);
// Runs on every change with (old, new); returns false to refuse. An empty
// function removes the hook.
void SetMouseModeHook(std::function<bool(std::int32_t oldMode, std::int32_t newMode)> hook);

// The program-wide measure-line style: 0 vertical bar, 1 cross (the values of
// MeasureLineStyle in analysis/Measure.h).
std::int32_t MeasureLineStyleSetting();
void SetMeasureLineStyleSetting(std::int32_t style);

// What the line mode draws: pen style 0 solid or 2 dotted, and an arrow head.
std::int32_t LineStyleFlag();
std::int32_t ArrowFlag();
void SetLineTool(std::int32_t lineStyle, std::int32_t arrow);

// The mode one window works in: the shared one, or its own where it has been
// told not to follow the program.
struct WindowMouseMode {
    bool useShared = true;
    std::int32_t own = kModePan;

    // The mode a drag on this window takes now.
    std::int32_t Current() const { return useShared ? MouseMode() : own; }
    // Changes the mode this window works in: the shared one (through its hook)
    // while it follows it, else only its own. True when the mode is now `mode`.
    bool Set(std::int32_t mode);
};

}  // namespace kurvex
