#include "graph/AxisTicks.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

#include "data/platform/NumberText.h"
#include "graph/AxisScale.h"

namespace kurvex {

namespace {

bool Within(double v, double lo, double hi) {
    return v >= lo && v <= hi;
}

void AddLogValue(LogTickLists& out, double v, bool label) {
    out.grid.push_back(v);
    if (label) out.labelled.push_back(v);
}

}  // namespace

std::vector<double> LinearTicks(double from, double to, double increment) {
    std::vector<double> ticks;
    if (!std::isfinite(from) || !std::isfinite(to) || !std::isfinite(increment) ||
        !(increment > 0.0) || from > to)
        return ticks;
    const double count = (to - from) / increment;
    if (!(count < static_cast<double>(kMaxTicks))) return ticks;
    const auto accept = [&](double t) { return t >= from && (t <= to || Equal48(t, to)); };
    if (from * to > 0.0) {
        const double k0 = std::ceil(from / increment);
        for (std::size_t i = 0; i <= kMaxTicks; ++i) {
            const double t = (k0 + static_cast<double>(i)) * increment;
            if (t > to && !Equal48(t, to)) break;
            if (accept(t)) ticks.push_back(t);
        }
        return ticks;
    }
    // The range holds 0: count outward from it so that 0 is always a tick.
    for (std::size_t i = 1; i <= kMaxTicks; ++i) {
        const double t = -static_cast<double>(i) * increment;
        if (t < from) break;
        ticks.push_back(t);
    }
    std::reverse(ticks.begin(), ticks.end());
    for (std::size_t i = 0; i <= kMaxTicks; ++i) {
        const double t = static_cast<double>(i) * increment;
        if (t > to && !Equal48(t, to)) break;
        if (accept(t)) ticks.push_back(t);
    }
    return ticks;
}

LogTickLists LogTicks(double lo, double hi) {
    LogTickLists out;
    if (!(lo > 0.0) || !(hi > lo) || !std::isfinite(hi)) return out;
    const double span = std::log10(hi) - std::log10(lo);
    const double first = std::floor(std::log10(lo));
    if (span > 5.0) {
        const double s = span < 20.0 ? 1.0 : (span < 100.0 ? 10.0 : 100.0);
        const auto labelEvery = static_cast<long>(std::trunc(std::ceil(span / s * 0.2)));
        long i = 0;
        // At most span / s + 2 exponents, and span < 700 for finite values.
        for (double k = first;; k += s) {
            const double v = std::pow(10.0, k);
            if (v > hi && !Equal48(v, hi)) break;
            if (Within(v, lo, hi) || Equal48(v, hi)) {
                AddLogValue(out, v, labelEvery == 0 || i % labelEvery == 0);
                ++i;
            }
        }
        return out;
    }
    if (span >= 1.0) {
        double exponent = first;
        double base = std::pow(10.0, exponent);
        if (Within(base, lo, hi)) AddLogValue(out, base, true);
        // At most seven decades: span <= 5.
        while (base < hi) {
            for (int j = 2; j <= 10; ++j) {
                const double v = j * base;
                if (!(Within(v, lo, hi) || Equal48(v, hi))) continue;
                AddLogValue(out, v, j == 10 || (j == 5 && span < 3.0));
            }
            exponent += 1.0;
            base = std::pow(10.0, exponent);
        }
        return out;
    }
    double top = hi, bottom = lo;
    const double step = NiceStepX(top, bottom);
    if (!(step > 0.0)) return out;
    const double start = std::floor(lo / step);
    for (std::size_t i = 0; i <= kMaxTicks; ++i) {
        const double v = (start + static_cast<double>(i)) * step;
        if (v > hi) break;
        if (v >= lo) AddLogValue(out, v, true);
    }
    return out;
}

AxisPrefix EngineeringPrefix(double span) {
    AxisPrefix p;
    const std::string text = Format("%3.2e", span);
    const std::size_t at = text.find('e');
    if (at == std::string::npos) return p;
    int e = std::atoi(text.c_str() + at + 1);
    if (e > -2 && e < 3) return p;
    const int r = e % 3;
    if (r == 1 || r == -2) {
        e -= 1;
    } else if (r == 2 || r == -1) {
        e += 1;
    }
    p.factor = std::pow(10.0, -e);
    switch (e) {
        case -9:
            p.prefix = "n";
            break;
        case -6:
            p.prefix = "u";
            break;
        case -3:
            p.prefix = "m";
            break;
        case 3:
            p.prefix = "K";
            break;
        case 6:
            p.prefix = "M";
            break;
        case 9:
            p.prefix = "G";
            break;
        default:
            p.prefix = e < 1 ? Format("E%d", e) : Format("E+%d", e);
            break;
    }
    return p;
}

std::string FormatTickValue(double value) {
    if (value == 0.0 || std::isnan(value)) return "0.0";
    if (std::fabs(value) >= 0.001) {
        std::string text = Format("%3.3f", value);
        if (!text.empty() && text.back() == '0') text.pop_back();
        return text;
    }
    return Format("%3.2e", value);
}

std::string TickLabel(double value, const AxisPrefix& prefix) {
    return FormatTickValue(value * prefix.factor) + prefix.prefix;
}

std::string XUnit(const std::string& name) {
    const auto startsFolded = [&name](const char* lower, bool whole) {
        const std::size_t n = std::char_traits<char>::length(lower);
        if (name.size() < n || (whole && name.size() != n)) return false;
        for (std::size_t i = 0; i < n; ++i) {
            char c = name[i];
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            if (c != lower[i]) return false;
        }
        return true;
    };
    // Other tools spell the time "time" or "TIME" (SPICE raw files do): it is seconds all the
    // same, as every other rule that looks for the time variable takes it in any case.
    if (startsFolded("time", true)) return "s";
    if (startsFolded("freq", false)) return "Hz";
    return {};
}

}  // namespace kurvex
