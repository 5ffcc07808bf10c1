#include "graph/MouseMode.h"

namespace kurvex {

namespace {
std::int32_t g_mode = kModePan;
std::int32_t g_lineStyle = 0;
std::function<bool(std::int32_t, std::int32_t)> g_hook;
}  // namespace

std::int32_t MouseMode() {
    return g_mode;
}

bool SetMouseMode(std::int32_t mode) {
    if (mode == g_mode) return true;
    if (g_hook && !g_hook(g_mode, mode)) return false;
    g_mode = mode;
    return true;
}

void SetMouseModeHook(std::function<bool(std::int32_t, std::int32_t)> hook) {
    g_hook = std::move(hook);
}

std::int32_t MeasureLineStyleSetting() {
    return g_lineStyle;
}
void SetMeasureLineStyleSetting(std::int32_t style) {
    g_lineStyle = style;
}

}  // namespace kurvex
