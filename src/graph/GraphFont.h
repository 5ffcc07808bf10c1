#pragma once

#include <cstdint>
#include <string>

namespace kurvex {

// Logical description of the axis font, field for field as the display record
// stores it (a negative height is a character height).
struct GraphFont {
    std::int32_t height = 15;
    std::int32_t width = 0;
    std::int32_t escapement = 0;
    std::int32_t orientation = 0;
    std::int32_t weight = 500;
    std::uint8_t italic = 0;
    std::uint8_t underline = 0;
    std::uint8_t strikeOut = 0;
    std::uint8_t charSet = 0;
    std::uint8_t outPrecision = 0;
    std::uint8_t clipPrecision = 0;
    std::uint8_t quality = 0;
    std::uint8_t pitchAndFamily = 0;
    std::string faceName = "Arial";  // at most kFaceNameMax bytes are kept

    static constexpr std::size_t kFaceNameMax = 31;  // the record's 32 bytes hold a NUL

    bool operator==(const GraphFont&) const = default;
};

// Extent of a text in pixels.
struct TextSize {
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// Measures text in a font; implemented by whatever draws (a canvas, a test).
class TextMeasure {
public:
    virtual ~TextMeasure() = default;
    // Extent of `text` written in `font`.
    virtual TextSize Measure(const GraphFont& font, const std::string& text) const = 0;
};

// What the layout of a screen needs to know about its font.
struct CharMetrics {
    std::int32_t digitsWidth = 75;  // width of "0123456789"
    std::int32_t textHeight = 15;

    bool operator==(const CharMetrics&) const = default;
};

}  // namespace kurvex
