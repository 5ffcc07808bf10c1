#pragma once

#include <cstdint>

namespace kurvex {

// What a right click on a graph screen does.
enum RightMouseAction : std::int32_t {
    kRightMouseShowMenu = 0,
    kRightMousePan = 1,
    kRightMouseZoom = 2,
};

// The process-wide options; the shell loads them from the per-user settings
// at start-up and writes each change back as it is made.
struct AppOptions {
    std::int32_t redrawXOnReload = 1;  // a requested reload rescales X too
    std::int32_t autoReload = 1;       // a document follows its files and reloads by itself
    std::int32_t rightMouseAction = kRightMouseShowMenu;
    // Print margins in hundredths of an inch.
    std::int32_t topMargin = 100;
    std::int32_t bottomMargin = 100;
    std::int32_t leftMargin = 100;
    std::int32_t rightMargin = 100;
    // The window every transform applies (the values of FftWindow; 0 rectangular).
    std::int32_t fftWindow = 0;
    // Complex results read with their phase continuous along frequency.
    std::int32_t unwrapPhase = 1;
    // Results with more samples than this (MB of 8-byte samples) are read
    // through the column cache; 0 never.
    std::int32_t cacheAboveMB = 512;
    // The cache's size limit in MB; 0 until first used, when a fifth of the
    // free disk space is taken and kept.
    std::int32_t cacheLimitMB = 0;
};

// The largest value either cache option takes (a petabyte).
inline constexpr std::int32_t kMaxCacheMB = 1 << 30;

// The number of FFT windows the option may name (values 0 .. kFftWindowCount - 1).
inline constexpr std::int32_t kFftWindowCount = 5;

// The one set of options of this process.
inline AppOptions& Options() {
    static AppOptions options;
    return options;
}

}  // namespace kurvex
