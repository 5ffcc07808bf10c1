#include "interaction/MouseMode.h"

#include <utility>

namespace kurvex {

namespace {

struct SharedModes {
    std::int32_t mode = kModePan;
    std::function<bool(std::int32_t, std::int32_t)> hook;
    std::int32_t measureLineStyle = 0;
    std::int32_t lineStyle = 0;
    std::int32_t arrow = 0;
};

SharedModes& Shared() {
    static SharedModes modes;
    return modes;
}

}  // namespace

std::int32_t MouseMode() {
    return Shared().mode;
}

bool SetMouseMode(std::int32_t mode) {
    SharedModes& s = Shared();
    if (mode < kModeEscape || mode > kModeLine) return false;
    if (mode == s.mode) return true;
    if (s.hook && !s.hook(s.mode, mode)) return false;
    s.mode = mode;
    return true;
}

void SetMouseModeHook(std::function<bool(std::int32_t, std::int32_t)> hook) {
    Shared().hook = std::move(hook);
}

bool WindowMouseMode::Set(std::int32_t mode) {
    if (useShared) return SetMouseMode(mode);
    if (mode < kModeEscape || mode > kModeLine) return false;
    own = mode;
    return true;
}

std::int32_t MeasureLineStyleSetting() {
    return Shared().measureLineStyle;
}

void SetMeasureLineStyleSetting(std::int32_t style) {
    Shared().measureLineStyle = style == 1 ? 1 : 0;
}

std::int32_t LineStyleFlag() {
    return Shared().lineStyle;
}

std::int32_t ArrowFlag() {
    return Shared().arrow;
}

void SetLineTool(std::int32_t lineStyle, std::int32_t arrow) {
    Shared().lineStyle = lineStyle == 2 ? 2 : 0;
    Shared().arrow = arrow ? 1 : 0;
}

}  // namespace kurvex
