#include "data/NumberText.h"

#include <locale.h>

#include <charconv>
#include <clocale>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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
