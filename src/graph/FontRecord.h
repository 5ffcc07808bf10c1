#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "graph/GraphFont.h"

namespace kurvex {

// Bytes of a logical font description in a settings stream: five 32-bit
// numbers, eight single bytes and a 32-byte face name.
inline constexpr std::size_t kFontRecordBytes = 60;

// The font as the 60 bytes of its record; the face name is cut to 31 bytes.
std::array<std::uint8_t, kFontRecordBytes> EncodeFontRecord(const GraphFont& font);
// The font of a 60-byte record; the face name stops at its first NUL.
GraphFont DecodeFontRecord(const std::uint8_t* bytes);

}  // namespace kurvex
