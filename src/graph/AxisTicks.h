#pragma once

#include <string>
#include <vector>

namespace kurvex {

// Most ticks an axis hands out; a grid finer than this is not drawn at all.
inline constexpr std::size_t kMaxTicks = 10000;

// The multiples of `increment` in [from, to], ascending; empty when the range
// or the increment is unusable or would give more than kMaxTicks ticks.
std::vector<double> LinearTicks(double from, double to, double increment);

// Tick values of a logarithmic axis, as values (not logarithms).
struct LogTickLists {
    std::vector<double> grid;      // where grid lines go
    std::vector<double> labelled;  // which of them carry a label
};

// Grid and labelled values of a log axis over the values [lo, hi]; empty lists
// unless 0 < lo < hi, both finite.
LogTickLists LogTicks(double lo, double hi);

// The scale an axis's labels are written in: value × factor, then prefix.
struct AxisPrefix {
    double factor = 1.0;
    std::string prefix;

    bool operator==(const AxisPrefix&) const = default;
};

// The engineering prefix ("m", "K", "E+12" ...) fitting an axis span in user
// units (to - from, or hi - lo on a log axis).
AxisPrefix EngineeringPrefix(double span);

// The text of one tick value: "0.0", three decimals less a trailing zero, or
// an exponent form for tiny values.
std::string FormatTickValue(double value);

// The label of a tick: its value in the axis's scale, then the prefix.
std::string TickLabel(double value, const AxisPrefix& prefix);

// The unit of an X variable: "s" for "Time", "Hz" for "Freq...", else none.
std::string XUnit(const std::string& name);

}  // namespace kurvex
