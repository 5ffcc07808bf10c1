#include "interaction/ControlRules.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace kurvex {

namespace {

bool IsControl(char32_t c) {
    return c < 0x20 || c == 0x7F;
}
bool IsDigit(char32_t c) {
    return c >= '0' && c <= '9';
}
bool IsLetter(char32_t c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool IsLetterLike(char32_t c) {
    return IsLetter(c) || c == '_' || c == '-' || c == '+' || c == ' ' || c == ',' || c == '.';
}
bool IsNumberChar(char32_t c) {
    return c == 'e' || c == 'E' || c == '+' || c == '-' || c == '.';
}
bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}
bool Has(std::uint16_t mask, std::uint16_t bits) {
    return (mask & bits) == bits;
}

// Whether `mask` lets the printable character `c` into the text at all.
bool Allowed(char32_t c, std::uint16_t mask) {
    if (mask == kEditIdentifier) return IsLetter(c) || IsDigit(c) || c == '_';
    if (c == ' ') return Has(mask, kEditBlanks);
    if (c == '.' && Has(mask, kEditNoDot)) return false;
    if (c == '-' && Has(mask, kEditDigits) && !Has(mask, kEditMinus)) return false;
    if (Has(mask, kEditNumberChars) && IsNumberChar(c)) return true;
    if (Has(mask, kEditSuffix) && IsSuffixLetter(c)) return true;
    if (c == '-' && Has(mask, kEditDigits | kEditMinus)) return true;
    if (IsDigit(c)) return Has(mask, kEditDigits);
    if (IsLetterLike(c)) return Has(mask, kEditLetters);
    return Has(mask, kEditOther);
}

TypedChar Replaced(std::u16string text, int caret) {
    TypedChar t;
    t.action = TypedChar::Replace;
    t.caret = std::clamp(caret, 0, static_cast<int>(text.size()));
    t.text = std::move(text);
    return t;
}

}  // namespace

bool IsSuffixLetter(char32_t c) {
    switch (c) {
        case 'k':
        case 'K':
        case 'M':
        case 'g':
        case 'G':
        case 't':
        case 'T':
        case 'm':
        case 'u':
        case 'U':
        case 'n':
        case 'N':
        case 'p':
        case 'P':
            return true;
        default:
            return false;
    }
}

double SuffixFactor(char32_t c) {
    switch (c) {
        case 'k':
        case 'K':
            return 1e3;
        case 'M':
            return 1e6;
        case 'g':
        case 'G':
            return 1e9;
        case 't':
        case 'T':
            return 1e12;
        case 'm':
            return 1e-3;
        case 'u':
        case 'U':
            return 1e-6;
        case 'n':
        case 'N':
            return 1e-9;
        case 'p':
        case 'P':
            return 1e-12;
        default:
            return 1.0;
    }
}

TypedChar TypeChar(const std::u16string& text, int caret, char16_t c, std::uint16_t mask,
                   bool readOnly) {
    TypedChar t;
    if (IsControl(c)) {
        t.action = TypedChar::Insert;
        return t;
    }
    if (readOnly || !Allowed(c, mask)) return t;
    if (mask == kEditIdentifier) {
        t.action = TypedChar::Insert;
        return t;
    }
    caret = std::clamp(caret, 0, static_cast<int>(text.size()));
    if (Has(mask, kEditSuffix) && IsSuffixLetter(c)) {
        const std::size_t last = text.find_last_of(u"0123456789");
        if (last == std::u16string::npos) return t;
        const bool loneLeadingZero =
            last == 0 && text[0] == u'0';  // the last digit is the first character
        if (loneLeadingZero) return t;
        std::u16string out = text.substr(0, last + 1);
        out.push_back(c);
        const int end = static_cast<int>(out.size());
        return Replaced(std::move(out), end);
    }
    const bool numeric = (mask & (kEditDigits | kEditNumberChars)) != 0;
    if ((c == u'-' || c == u'+') && numeric) {
        // Right after an exponent letter the sign belongs to the exponent.
        if (Has(mask, kEditNumberChars) && caret > 0 &&
            (text[static_cast<std::size_t>(caret) - 1] == u'e' ||
             text[static_cast<std::size_t>(caret) - 1] == u'E')) {
            t.action = TypedChar::Insert;
            return t;
        }
        const bool negative = !text.empty() && text[0] == u'-';
        if (c == u'-') return negative ? Replaced(text, caret) : Replaced(u"-" + text, caret + 1);
        return negative ? Replaced(text.substr(1), caret - 1) : Replaced(text, caret);
    }
    t.action = TypedChar::Insert;
    return t;
}

FilteredText FilterText(const std::u16string& text, int caret, std::uint16_t mask) {
    FilteredText f;
    f.text.reserve(text.size());
    caret = std::clamp(caret, 0, static_cast<int>(text.size()));
    f.caret = caret;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (!IsControl(c) && Allowed(c, mask)) {
            f.text.push_back(c);
        } else if (static_cast<int>(i) < caret) {
            --f.caret;
        }
    }
    return f;
}

std::int32_t ReadWholeNumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    std::int64_t value = 0;
    constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    for (; i < text.size() && IsDigit(static_cast<unsigned char>(text[i])); ++i)
        value = std::min(value * 10 + (text[i] - '0'), kLimit);
    if (negative) value = -value;
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        value, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

double ReadSuffixedNumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    const std::size_t digitsFrom = i;
    std::size_t digits = 0;
    std::size_t leadingDigits = 0;  // integral digits after leading zeros
    bool seenNonZero = false;
    for (; i < text.size() && IsDigit(static_cast<unsigned char>(text[i])); ++i, ++digits) {
        seenNonZero = seenNonZero || text[i] != '0';
        if (seenNonZero) ++leadingDigits;
    }
    if (i < text.size() && text[i] == '.') {
        ++i;
        for (; i < text.size() && IsDigit(static_cast<unsigned char>(text[i])); ++i, ++digits) {
        }
    }
    if (digits == 0) return 0.0;
    std::int64_t exponent = 0;
    if (i + 1 < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        bool expNegative = false;
        if (text[j] == '-' || text[j] == '+') expNegative = text[j++] == '-';
        if (j < text.size() && IsDigit(static_cast<unsigned char>(text[j]))) {
            for (; j < text.size() && IsDigit(static_cast<unsigned char>(text[j])); ++j)
                exponent = std::min<std::int64_t>(exponent * 10 + (text[j] - '0'), 100000);
            if (expNegative) exponent = -exponent;
            i = j;
        }
    }
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data() + digitsFrom, text.data() + i, value);
    if (error == std::errc::result_out_of_range) {
        // Beyond a double: an infinity when the number was large, else 0.
        const bool large = exponent + static_cast<std::int64_t>(leadingDigits) > 0;
        value = large ? std::numeric_limits<double>::infinity() : 0.0;
    } else if (error != std::errc() || end != text.data() + i) {
        value = 0.0;
    }
    if (negative) value = -value;
    if (value == 0.0) return 0.0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    if (i < text.size()) value *= SuffixFactor(static_cast<unsigned char>(text[i]));
    return value;
}

std::string ColourText(Rgb colour) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X%02X%02X", colour & 0xFFu, (colour >> 8) & 0xFFu,
                  (colour >> 16) & 0xFFu);
    return text;
}

std::optional<Rgb> ColourFromText(std::string_view text) {
    if (text.size() < 6) return std::nullopt;
    Rgb rgb[3] = {0, 0, 0};
    for (int pair = 0; pair < 3; ++pair) {
        unsigned value = 0;
        const char* first = text.data() + pair * 2;
        const auto [end, error] = std::from_chars(first, first + 2, value, 16);
        if (error != std::errc() || end != first + 2) return std::nullopt;
        rgb[pair] = value;
    }
    return rgb[0] | (rgb[1] << 8) | (rgb[2] << 16);
}

std::optional<std::string> SwatchWord(SwatchMode mode, const SwatchWords& words) {
    switch (mode) {
        case kSwatchTransparent:
            return words.transparent;
        case kSwatchAutomatic:
            return words.automatic;
        default:
            return std::nullopt;
    }
}

}  // namespace kurvex
