#pragma once

#include <string>

namespace kurvex {

// The decimal value of the longest numeric prefix of [begin, end), as the C
// library's strtod gives it in the "C" locale, with "d"/"D" also accepted as the
// exponent letter; 0.0 when there is no numeric prefix. Locale-independent.
double ParseDecimal(const char* begin, const char* end);

// The common case of ParseDecimal, fast: a plain decimal [+-]digits[.digits]
// [eEdD[+-]digits] starting at `begin` whose value is exactly computable from at
// most 19 significant digits and a power of ten up to 1e22. Sets `value` and
// `end` (the first character after the number) and returns true; false means
// "use ParseDecimal" and says nothing about the text.
bool ParseSimpleDecimal(const char* begin, const char* end, double& value, const char*& stop);

// Appends the shortest "%.{p}g" text of `v`, p from 6 up to 17, that reads
// back as exactly `v`: where "%g" is exact ("0", "1.5", "100000", "0.0001")
// its text is kept. For finite values.
void AppendExactNumber(std::string& out, double v);
std::string ExactNumber(double v);

// Printf into a std::string ("C" locale conventions as the C library has them).
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

}  // namespace kurvex
