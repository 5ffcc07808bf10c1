#pragma once

#include <string>

namespace kurvex {

// The decimal value of the longest numeric prefix of [begin, end), as the C
// library's strtod gives it in the "C" locale, with "d"/"D" also accepted as the
// exponent letter; 0.0 when there is no numeric prefix. Locale-independent.
double ParseDecimal(const char* begin, const char* end);

// Printf into a std::string ("C" locale conventions as the C library has them).
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

}  // namespace kurvex
