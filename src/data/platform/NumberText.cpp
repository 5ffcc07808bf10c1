#include "data/platform/NumberText.h"

#include <locale.h>

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

namespace kurvex {

namespace {

// strtod under the "C" locale whatever the program's locale is (Qt sets the
// user's locale, whose decimal comma would misread every file).
double StrtodC(const char* text) {
    static locale_t c = newlocale(LC_ALL_MASK, "C", nullptr);
    return strtod_l(text, nullptr, c);
}

double Convert(const char* b, const char* e) {
    const char* p = b;
    // from_chars refuses the "+" that strtod takes; "+-1" is no number for either.
    if (p < e && *p == '+') {
        ++p;
        if (p < e && (*p == '+' || *p == '-')) return 0.0;
    }
    double v = 0.0;
    const auto r = std::from_chars(p, e, v, std::chars_format::general);
    if (r.ec == std::errc()) return v;
    if (r.ec == std::errc::invalid_argument) return 0.0;
    // Out of range: strtod gives 0 or a denormal for underflow, infinity for
    // overflow, where from_chars only reports an error.
    std::string copy(b, static_cast<size_t>(e - b));
    return StrtodC(copy.c_str());
}

}  // namespace

double ParseDecimal(const char* begin, const char* end) {
    const char* d = nullptr;
    for (const char* p = begin; p < end; ++p) {
        if (*p == 'd' || *p == 'D') {
            d = p;
            break;
        }
    }
    if (!d) return Convert(begin, end);
    // Fortran-style exponent: read it as "e". Tokens are short; a long one
    // takes the heap.
    char small[64];
    std::string big;
    const size_t n = static_cast<size_t>(end - begin);
    char* buf = small;
    if (n > sizeof small) {
        big.assign(begin, n);
        buf = big.data();
    } else {
        std::memcpy(buf, begin, n);
    }
    for (size_t i = 0; i < n; ++i) {
        if (buf[i] == 'd' || buf[i] == 'D') buf[i] = 'e';
    }
    return Convert(buf, buf + n);
}

namespace {

// Eight ASCII digits at once (the SWAR trick of fast_float and simdjson).
inline bool EightDigits(const char* p, std::uint64_t& out) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    if (((v & 0xF0F0F0F0F0F0F0F0ull) |
         (((v + 0x0606060606060606ull) & 0xF0F0F0F0F0F0F0F0ull) >> 4)) != 0x3333333333333333ull)
        return false;
    v -= 0x3030303030303030ull;
    v = (v * 10) + (v >> 8);
    v = (((v & 0x000000FF000000FFull) * (100 + (1000000ull << 32))) +
         (((v >> 16) & 0x000000FF000000FFull) * (1 + (10000ull << 32)))) >>
        32;
    out = static_cast<std::uint32_t>(v);
    return true;
}

inline bool IsDigit(char c) {
    return static_cast<unsigned>(c - '0') < 10;
}

// Takes digits into the mantissa; false when there are more than 19.
inline bool TakeDigits(const char*& p, const char* end, std::uint64_t& mantissa, int& digits,
                       int& count) {
    std::uint64_t eight;
    while (end - p >= 8 && digits <= 11 && EightDigits(p, eight)) {
        mantissa = mantissa * 100000000ull + eight;
        digits += 8;
        count += 8;
        p += 8;
    }
    while (p < end && IsDigit(*p)) {
        if (++digits > 19) return false;
        mantissa = mantissa * 10 + static_cast<unsigned>(*p - '0');
        ++count;
        ++p;
    }
    return true;
}

}  // namespace

bool ParseSimpleDecimal(const char* begin, const char* end, double& value, const char*& stop) {
    // Every power of ten up to 1e22 is exact in a double, so one multiplication
    // or division of an exact mantissa rounds once, as strtod does.
    static constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                        1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    const char* p = begin;
    bool negative = false;
    if (p < end && (*p == '-' || *p == '+')) negative = *p++ == '-';
    std::uint64_t mantissa = 0;
    int digits = 0;  // significant digits taken into the mantissa
    int scale = 0;   // decimal places
    bool any = false;
    const char* at = p;
    while (p < end && *p == '0') ++p;  // leading zeros carry nothing
    int intDigits = 0;
    if (!TakeDigits(p, end, mantissa, digits, intDigits)) return false;
    any = p != at;
    if (p < end && *p == '.') {
        ++p;
        const char* frac = p;
        if (mantissa == 0) {
            while (p < end && *p == '0') ++p;
        }
        int fracDigits = 0;
        if (!TakeDigits(p, end, mantissa, digits, fracDigits)) return false;
        scale = static_cast<int>(p - frac);
        any = any || p != frac;
    }
    if (!any) return false;
    int exponent = 0;
    if (p < end && (*p == 'e' || *p == 'E' || *p == 'd' || *p == 'D')) {
        ++p;
        bool negExp = false;
        if (p < end && (*p == '-' || *p == '+')) negExp = *p++ == '-';
        if (p == end || !IsDigit(*p)) return false;
        while (p < end && IsDigit(*p)) {
            if (exponent < 10000) exponent = exponent * 10 + (*p - '0');
            ++p;
        }
        if (negExp) exponent = -exponent;
    }
    stop = p;
    if (mantissa == 0) {
        value = negative ? -0.0 : 0.0;
        return true;
    }
    if (mantissa > (std::uint64_t{1} << 53)) return false;
    const int e10 = exponent - scale;
    if (e10 < -22 || e10 > 22) return false;
    double v = static_cast<double>(mantissa);
    v = e10 < 0 ? v / kPow10[-e10] : v * kPow10[e10];
    value = negative ? -v : v;
    return true;
}

namespace {

bool ReadsBackAs(const char* b, const char* e, double v) {
    double back = 0.0;
    const auto r = std::from_chars(b, e, back);
    return r.ec == std::errc() && r.ptr == e && back == v;
}

// A decimal d.ddd × 10^exp as sign, digits without trailing zeros, exponent.
struct Digits {
    bool negative = false;
    char digits[20];
    int count = 0;
    int exp = 0;
};

// The shortest digits that read back as v (places < 0), or v correctly
// rounded to `places` significant digits, as printf rounds.
Digits DigitsOf(double v, int places) {
    char sci[40];
    const auto r = places < 0
                       ? std::to_chars(sci, sci + sizeof sci - 1, v, std::chars_format::scientific)
                       : std::to_chars(sci, sci + sizeof sci - 1, v, std::chars_format::scientific,
                                       places - 1);
    *r.ptr = '\0';
    Digits d;
    const char* p = sci;
    d.negative = *p == '-';
    if (d.negative) ++p;
    for (; p < r.ptr && *p != 'e'; ++p) {
        if (*p != '.') d.digits[d.count++] = *p;
    }
    while (d.count > 1 && d.digits[d.count - 1] == '0') --d.count;
    d.exp = std::atoi(p + 1);
    return d;
}

// The "%.{p}g" text of `d` (at most p digits).
void AppendG(std::string& out, const Digits& d, int p) {
    const char* digits = d.digits;
    const int count = d.count, exp = d.exp;
    if (d.negative) out += '-';
    if (exp < -4 || exp >= p) {
        out += digits[0];
        if (count > 1) {
            out += '.';
            out.append(digits + 1, static_cast<size_t>(count - 1));
        }
        char e[8];
        const int n =
            std::snprintf(e, sizeof e, "e%c%02d", exp < 0 ? '-' : '+', exp < 0 ? -exp : exp);
        out.append(e, static_cast<size_t>(n));
    } else if (exp < 0) {
        out += "0.";
        out.append(static_cast<size_t>(-exp - 1), '0');
        out.append(digits, static_cast<size_t>(count));
    } else if (count <= exp + 1) {
        out.append(digits, static_cast<size_t>(count));
        out.append(static_cast<size_t>(exp + 1 - count), '0');
    } else {
        out.append(digits, static_cast<size_t>(exp + 1));
        out += '.';
        out.append(digits + exp + 1, static_cast<size_t>(count - exp - 1));
    }
}

}  // namespace

void AppendExactNumber(std::string& out, double v) {
    if (v == 0.0) {
        out += std::signbit(v) ? "-0" : "0";
        return;
    }
    // The shortest digits that read back come from to_chars. Printed to
    // p >= 6 places they are what "%.{p}g" prints as long as the p-digit grid
    // is much coarser than the double's spacing (p <= 15, a normal number).
    // Elsewhere each precision is rounded as printf rounds and read back.
    Digits d = DigitsOf(v, -1);
    const int shortest = d.count;
    if (shortest <= 15 && std::fabs(v) >= std::numeric_limits<double>::min()) {
        AppendG(out, d, shortest < 6 ? 6 : shortest);
        return;
    }
    std::string text;
    for (int q = shortest < 6 ? 6 : shortest; q <= 17; ++q) {
        d = DigitsOf(v, q);
        text.clear();
        AppendG(text, d, q);
        if (q == 17 || ReadsBackAs(text.data(), text.data() + text.size(), v)) break;
    }
    out += text;
}

std::string ExactNumber(double v) {
    std::string s;
    AppendExactNumber(s, v);
    return s;
}

std::string Format(const char* fmt, ...) {
    char small[256];
    va_list args;
    va_start(args, fmt);
    va_list again;
    va_copy(again, args);
    const int n = std::vsnprintf(small, sizeof small, fmt, args);
    va_end(args);
    std::string out;
    if (n < 0) {
        va_end(again);
        return out;
    }
    if (static_cast<size_t>(n) < sizeof small) {
        out.assign(small, static_cast<size_t>(n));
    } else {
        out.resize(static_cast<size_t>(n));
        std::vsnprintf(out.data(), static_cast<size_t>(n) + 1, fmt, again);
    }
    va_end(again);
    return out;
}

}  // namespace kurvex
