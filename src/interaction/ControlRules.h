#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "graph/canvas/GraphTypes.h"

namespace kurvex {

// Bits of the filter mask of a filtering edit box.
enum EditMaskBit : std::uint16_t {
    kEditDigits = 0x0001,       // "0" .. "9"
    kEditLetters = 0x0002,      // A-Z, a-z and "_", "-", "+", " ", ",", "."
    kEditOther = 0x0004,        // any other printable character
    kEditNumberChars = 0x0010,  // "e", "E", "+", "-", "."
    kEditMinus = 0x0020,        // with kEditDigits: "-" is allowed
    kEditSuffix = 0x0040,       // engineering suffixes
    kEditBlanks = 0x0080,       // blanks may be typed
    kEditNoDot = 0x0100,        // "." is refused
};
// The mask of a box that takes identifiers only (letters, digits and "_").
inline constexpr std::uint16_t kEditIdentifier = 0x02FF;
// Digits, number characters, minus and suffixes: range ends.
inline constexpr std::uint16_t kEditNumberMask = 0x0071;
// Digits only: counts.
inline constexpr std::uint16_t kEditCountMask = 0x0001;

// What typing one character into a filtering edit box does. Texts are
// UTF-16 so that positions are those of the widget's text.
struct TypedChar {
    enum Action {
        Refuse,   // beep and leave the text alone
        Insert,   // let the box insert it as usual
        Replace,  // the box shows `text` with the caret at `caret`
    };
    Action action = Refuse;
    std::u16string text;
    int caret = 0;
};

// Filters one typed character `c` for a box holding `text` with the caret at
// `caret`. Control characters always pass. Signs act on the whole number:
// "-" puts one in front, "+" takes it away (except right after an exponent
// letter, where they are the exponent's sign); a suffix letter replaces
// whatever follows the last digit.
TypedChar TypeChar(const std::u16string& text, int caret, char16_t c, std::uint16_t mask,
                   bool readOnly);

// Text after a paste, with what the mask does not allow removed.
struct FilteredText {
    std::u16string text;
    int caret = 0;  // where the caret was, less the characters removed before it
};
// Removes from `text` every character `mask` refuses (blanks unless allowed,
// "." when refused); `caret` follows the characters it stood behind.
FilteredText FilterText(const std::u16string& text, int caret, std::uint16_t mask);

// True for the engineering suffix letters k K M g G t T m u U n N p P.
bool IsSuffixLetter(char32_t c);
// The power of ten a suffix letter stands for ("M" mega, "m" milli).
double SuffixFactor(char32_t c);

// The text as a whole number: leading blanks, an optional sign, decimal
// digits up to the first other character; 0 without digits. Values beyond
// 32 bits are limited to the nearest 32-bit value.
std::int32_t ReadWholeNumber(std::string_view text);

// The text as a number with an optional engineering suffix: the longest
// decimal number at the start (0 when there is none), then blanks, then a
// suffix letter that scales it; anything after is ignored. Too large a
// number reads as an infinity (the caller refuses it), too small as 0.
double ReadSuffixedNumber(std::string_view text);

// A colour as six upper-case hexadecimal digits, red first ("FF0000").
std::string ColourText(Rgb colour);
// The colour of the first six characters read as hexadecimal pairs, red
// first, either case; none for a shorter text or one that is not hexadecimal.
std::optional<Rgb> ColourFromText(std::string_view text);

// What a colour swatch shows: its colour, or a word in its place.
enum SwatchMode : std::int32_t { kSwatchColour = 0, kSwatchTransparent = 1, kSwatchAutomatic = 2 };
// The words of the two word modes; a user of the swatch may replace them.
struct SwatchWords {
    std::string transparent = "Transparent";
    std::string automatic = "Automatic";
};
// The word a swatch in `mode` shows; none where it shows its colour.
std::optional<std::string> SwatchWord(SwatchMode mode, const SwatchWords& words);

}  // namespace kurvex
