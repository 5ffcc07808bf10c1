#include "graph/FontRecord.h"

#include <algorithm>
#include <cstring>

namespace kurvex {

namespace {
constexpr std::size_t kFaceOffset = 28;

void PutInt(std::uint8_t* at, std::int32_t v) {
    const auto u = static_cast<std::uint32_t>(v);
    for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(u >> (8 * i));
}

std::int32_t GetInt(const std::uint8_t* at) {
    std::uint32_t u = 0;
    for (int i = 0; i < 4; ++i) u |= static_cast<std::uint32_t>(at[i]) << (8 * i);
    return static_cast<std::int32_t>(u);
}
}  // namespace

std::array<std::uint8_t, kFontRecordBytes> EncodeFontRecord(const GraphFont& font) {
    std::array<std::uint8_t, kFontRecordBytes> b{};
    PutInt(&b[0], font.height);
    PutInt(&b[4], font.width);
    PutInt(&b[8], font.escapement);
    PutInt(&b[12], font.orientation);
    PutInt(&b[16], font.weight);
    b[20] = font.italic;
    b[21] = font.underline;
    b[22] = font.strikeOut;
    b[23] = font.charSet;
    b[24] = font.outPrecision;
    b[25] = font.clipPrecision;
    b[26] = font.quality;
    b[27] = font.pitchAndFamily;
    const std::size_t n = std::min(font.faceName.size(), GraphFont::kFaceNameMax);
    std::memcpy(&b[kFaceOffset], font.faceName.data(), n);
    return b;
}

GraphFont DecodeFontRecord(const std::uint8_t* bytes) {
    GraphFont f;
    f.height = GetInt(bytes);
    f.width = GetInt(bytes + 4);
    f.escapement = GetInt(bytes + 8);
    f.orientation = GetInt(bytes + 12);
    f.weight = GetInt(bytes + 16);
    f.italic = bytes[20];
    f.underline = bytes[21];
    f.strikeOut = bytes[22];
    f.charSet = bytes[23];
    f.outPrecision = bytes[24];
    f.clipPrecision = bytes[25];
    f.quality = bytes[26];
    f.pitchAndFamily = bytes[27];
    const char* face = reinterpret_cast<const char*>(bytes + kFaceOffset);
    f.faceName.assign(face, strnlen(face, GraphFont::kFaceNameMax));
    return f;
}

}  // namespace kurvex
