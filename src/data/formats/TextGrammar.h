#pragma once

// The pieces of the text result grammar that the line-by-line reader and the
// parallel one share, so that both classify every line and token alike.

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "data/model/ResultVariable.h"
#include "data/platform/NumberText.h"

namespace kurvex::text {

enum CharClass : std::uint8_t {
    kSeparator = 1,    // space, tab, comma
    kNumberChar = 2,   // may stand in a number token
    kHeaderDigit = 4,  // may stand in a numeric first line
};

constexpr std::array<std::uint8_t, 256> MakeClasses() {
    std::array<std::uint8_t, 256> t{};
    t[' '] |= kSeparator | kHeaderDigit;
    t['\t'] |= kSeparator | kHeaderDigit;
    t[','] |= kSeparator;
    for (char c = '0'; c <= '9'; ++c)
        t[static_cast<unsigned char>(c)] |= kNumberChar | kHeaderDigit;
    for (char c : {'.', '+', '-', 'e', 'E'})
        t[static_cast<unsigned char>(c)] |= kNumberChar | kHeaderDigit;
    t['d'] |= kNumberChar;
    t['D'] |= kNumberChar;
    return t;
}
inline constexpr std::array<std::uint8_t, 256> kClass = MakeClasses();

inline std::uint8_t ClassOf(char c) {
    return kClass[static_cast<unsigned char>(c)];
}

inline constexpr std::string_view kBlockSeparator = "__________";

// Ten underscores from the first column, compared as read.
inline bool IsBlockSeparator(std::string_view line) {
    return line.substr(0, 10) == kBlockSeparator;
}

// Nothing but spaces and tabs.
inline bool IsBlank(std::string_view line) {
    for (char c : line) {
        if (c != ' ' && c != '\t') return false;
    }
    return true;
}

// Splits the next line off [p, end) as a text-mode read does: LF or CR LF
// ends it, and a CR just before the end of the bytes is dropped as well.
// False when nothing is left.
inline bool NextLine(const char*& p, const char* end, std::string_view& line) {
    if (p == end) return false;
    const auto* nl = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
    const char* stop = nl ? nl : end;
    const char* const start = p;
    p = nl ? nl + 1 : end;
    if (stop > start && stop[-1] == '\r') --stop;
    line = std::string_view(start, static_cast<size_t>(stop - start));
    return true;
}

// Bytes a LineScanner may read past the end of its bytes.
inline constexpr size_t kScanPadding = 64;

// NextLine over a whole buffer at the speed of a newline count: the line
// ends of 64 bytes are found at once. The buffer must have kScanPadding
// readable bytes after its end.
class LineScanner {
public:
    LineScanner(const char* begin, const char* end) : start_(begin), end_(end), block_(begin) {
        mask_ = Newlines(block_);
    }
    bool Next(std::string_view& line) {
        if (start_ >= end_) return false;
        while (mask_ == 0) {
            block_ += 64;
            if (block_ >= end_) {
                // The last line has no line end.
                Cut(end_, line);
                start_ = end_;
                return true;
            }
            mask_ = Newlines(block_);
        }
        const char* nl = block_ + __builtin_ctzll(mask_);
        mask_ &= mask_ - 1;
        if (nl >= end_) {
            Cut(end_, line);
            start_ = end_;
            return true;
        }
        Cut(nl, line);
        start_ = nl + 1;
        return true;
    }

private:
    void Cut(const char* stop, std::string_view& line) const {
        if (stop > start_ && stop[-1] == '\r') --stop;
        line = std::string_view(start_, static_cast<size_t>(stop - start_));
    }
    static std::uint64_t Newlines(const char* p) {
#if defined(__SSE2__)
        const __m128i nl = _mm_set1_epi8('\n');
        auto bits = [&](int at) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + at));
            return static_cast<std::uint64_t>(
                static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, nl))));
        };
        return bits(0) | bits(16) << 16 | bits(32) << 32 | bits(48) << 48;
#else
        std::uint64_t m = 0;
        for (int i = 0; i < 64; ++i) m |= std::uint64_t{p[i] == '\n'} << i;
        return m;
#endif
    }

    const char* start_;  // of the next line
    const char* const end_;
    const char* block_;   // the 64 bytes whose line ends mask_ holds
    std::uint64_t mask_;  // line ends in block_ not yet used
};

inline bool IsDigit(char c) {
    return static_cast<unsigned char>(c - '0') < 10;
}

// The commonest token of all, "[+-]d.dddddddddE[+-]dd" (the "%.9E" that
// fixed-width files are written with), in a few loads instead of a walk over
// its characters. The value is exact as ParseSimpleDecimal makes it, which
// takes everything this refuses.
inline bool ParseE9(const char* p, const char* end, double& value, const char*& stop) {
    static constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                        1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    const bool negative = *p == '-';
    p += (*p == '-') | (*p == '+');
    if (end - p < 15) return false;
    std::uint64_t eight;
    std::memcpy(&eight, p + 2, 8);
    // Eight ASCII digits at once (the SWAR trick of fast_float and simdjson).
    if (((eight & 0xF0F0F0F0F0F0F0F0ull) |
         (((eight + 0x0606060606060606ull) & 0xF0F0F0F0F0F0F0F0ull) >> 4)) != 0x3333333333333333ull)
        return false;
    if (!IsDigit(p[0]) || p[1] != '.' || !IsDigit(p[10]) || (p[11] | 0x20) != 'e' ||
        (p[12] != '-' && p[12] != '+') || !IsDigit(p[13]) || !IsDigit(p[14]) ||
        (end - p > 15 && IsDigit(p[15])))
        return false;
    eight -= 0x3030303030303030ull;
    eight = (eight * 10) + (eight >> 8);
    eight = (((eight & 0x000000FF000000FFull) * (100 + (1000000ull << 32))) +
             (((eight >> 16) & 0x000000FF000000FFull) * (1 + (10000ull << 32)))) >>
            32;
    // At most ten digits: exact in a double, as every power of ten up to 1e22
    // is, so one multiplication or division rounds once, as strtod does.
    const std::uint64_t mantissa = static_cast<std::uint64_t>(p[0] - '0') * 1000000000ull +
                                   static_cast<std::uint32_t>(eight) * 10ull +
                                   static_cast<std::uint64_t>(p[10] - '0');
    const int exponent = (p[13] - '0') * 10 + (p[14] - '0');
    const int e10 = (p[12] == '-' ? -exponent : exponent) - 9;
    if (e10 < -22 || e10 > 22) return false;
    const double v = e10 < 0 ? static_cast<double>(mantissa) / kPow10[-e10]
                             : static_cast<double>(mantissa) * kPow10[e10];
    value = negative ? -v : v;
    stop = p + 15;
    return true;
}

// The numeric prefix of a marker token such as "1.#INF".
inline double LeadingNumber(std::string_view token) {
    size_t i = 0;
    while (i < token.size() && (ClassOf(token[i]) & kNumberChar)) ++i;
    return ParseDecimal(token.data(), token.data() + i);
}

enum class LineError { None, TooFewTokens, BadToken };

// Classifies the first n tokens of a data line, handing each to
// sink(index, value, flag); `bad` is set when a marker or an unusable number
// was met. Stops at the first fault.
template <class Sink>
inline LineError ParseTokens(std::string_view line, std::int32_t n, Sink&& sink, bool& bad) {
    const char* p = line.data();
    const char* const e = p + line.size();
    for (std::int32_t t = 0; t < n; ++t) {
        while (p < e && (ClassOf(*p) & kSeparator)) ++p;
        if (p == e) return LineError::TooFewTokens;
        const char* s = p;
        const char* stop = nullptr;
        double value;
        if ((ParseE9(p, e, value, stop) || ParseSimpleDecimal(p, e, value, stop)) &&
            (stop == e || (ClassOf(*stop) & kSeparator))) {
            p = stop;
            sink(t, value, kPointValid);
            continue;
        }
        std::uint8_t all = kNumberChar;
        while (p < e && !(ClassOf(*p) & kSeparator)) {
            all &= ClassOf(*p);
            ++p;
        }
        const std::string_view token(s, static_cast<size_t>(p - s));
        if (all) {
            value = ParseDecimal(s, p);
            // An overflowing number would wreck every extent: keep it out of
            // the valid samples.
            if (std::isfinite(value)) {
                sink(t, value, kPointValid);
            } else {
                sink(t, value, kPointInvalid);
                bad = true;
            }
            continue;
        }
        std::uint8_t flag;
        if (token.find("#INF") != std::string_view::npos ||
            token.find("NAN") != std::string_view::npos) {
            flag = kPointInvalid;
        } else if (token.find("MISSING") != std::string_view::npos) {
            flag = kPointMissing;
        } else {
            return LineError::BadToken;
        }
        sink(t, LeadingNumber(token), flag);
        bad = true;
    }
    return LineError::None;
}

}  // namespace kurvex::text
