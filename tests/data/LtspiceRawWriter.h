#pragma once

// Raw files laid out as LTspice writes them, after the format's public
// description: a UTF-16LE header, then a double time and single-precision
// values (doubles where "Flags:" says double; AC values as pairs of doubles,
// frequency included), point by point or variable by variable
// ("fastaccess"). No Debian program writes these; tests and the benchmark
// make their own.

#include <complex>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kurvex::test {

struct LtspiceLayout {
    std::vector<std::string> names;  // X first
    std::int64_t points = 0;
    bool fastAccess = false;
    bool stepped = false;
    bool complex = false;
    bool doubles = false;
};

inline std::string Utf16LE(std::string_view text) {
    std::string out;
    for (char c : text) out += {c, '\0'};
    return out;
}

inline std::string LtspiceHeader(const LtspiceLayout& l) {
    std::string flags = l.complex ? "complex forward log" : "real forward";
    if (l.doubles) flags += " double";
    if (l.fastAccess) flags += " fastaccess";
    if (l.stepped) flags += " stepped";
    std::string text = "Title: * C:\\sim\\buck.asc\nDate: Mon Jan  6 10:00:00 2025\nPlotname: " +
                       std::string(l.complex ? "AC Analysis" : "Transient Analysis") +
                       "\nFlags: " + flags + "\nNo. Variables: " + std::to_string(l.names.size()) +
                       "\nNo. Points: " + std::to_string(l.points) +
                       "\nOffset:   0.0000000000000000e+000\n"
                       "Command: Linear Technology Corporation LTspice XVII\nVariables:\n";
    for (size_t i = 0; i < l.names.size(); ++i) {
        const char* type = i > 0 ? (l.names[i][0] == 'I' ? "device_current" : "voltage")
                                 : (l.complex ? "frequency" : "time");
        text += "\t" + std::to_string(i) + "\t" + l.names[i] + "\t" + type + "\n";
    }
    return Utf16LE(text + "Binary:\n");
}

// Hands `sink` the file in pieces of about a megabyte; value(v, p) is
// variable v at point p (a time to be marked is given negative).
template <class Value, class Sink>
void WriteLtspiceRaw(const LtspiceLayout& l, Value value, Sink sink) {
    sink(std::string_view(LtspiceHeader(l)));
    std::string out;
    auto append = [&](auto x) { out.append(reinterpret_cast<const char*>(&x), sizeof x); };
    auto put = [&](std::int64_t v, std::int64_t p) {
        const std::complex<double> z = value(v, p);
        if (l.complex) {
            append(z.real());
            append(z.imag());
        } else if (v == 0 || l.doubles) {
            append(z.real());
        } else {
            append(static_cast<float>(z.real()));
        }
        if (out.size() >= (1 << 20)) {
            sink(std::string_view(out));
            out.clear();
        }
    };
    const auto n = static_cast<std::int64_t>(l.names.size());
    for (std::int64_t a = 0; a < (l.fastAccess ? n : l.points); ++a) {
        for (std::int64_t b = 0; b < (l.fastAccess ? l.points : n); ++b) {
            l.fastAccess ? put(a, b) : put(b, a);
        }
    }
    sink(std::string_view(out));
}

template <class Value>
std::string LtspiceRaw(const LtspiceLayout& l, Value value) {
    std::string file;
    WriteLtspiceRaw(l, value, [&](std::string_view piece) { file += piece; });
    return file;
}

}  // namespace kurvex::test
