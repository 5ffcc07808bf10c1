#pragma once

// Local stand-in until the screen widget's own version lands.

#include <cstdint>
#include <functional>

namespace kurvex {

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

// The process-wide mouse mode.
std::int32_t MouseMode();
// Asks to change the mode: the hook (if set) may refuse; true when changed.
bool SetMouseMode(std::int32_t mode);
// Runs on every change with (old, new); returns false to refuse.
void SetMouseModeHook(std::function<bool(std::int32_t oldMode, std::int32_t newMode)> hook);

// The measure-line style shared by all views.
std::int32_t MeasureLineStyleSetting();
void SetMeasureLineStyleSetting(std::int32_t style);

}  // namespace kurvex
