#include "analysis/LoopMarginsRows.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <span>
#include <string>

#include "analysis/Cycles.h"
#include "data/model/ResultData.h"

namespace kurvex {

namespace {

constexpr const char* kNone = "none";

std::string Printed(const char* format, double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, format, v);
    return buf;
}

std::string Degrees(double v) {
    return Printed("%.1f\xC2\xB0", v);
}

std::string Decibels(double v) {
    return Printed("%.1f dB", v);
}

std::string FrequencyOr(const std::optional<double>& hz) {
    return hz ? FrequencyText(*hz) : kNone;
}

std::string Crossing(const LoopCrossing& c, bool phase) {
    return FrequencyText(c.frequency) + (c.falling ? ", falling, " : ", rising, ") +
           (phase ? "GM " + Decibels(c.margin) : "PM " + Degrees(c.margin));
}

// The phase of column `y` at frequency `f` of column `x` within first..last,
// linear in log f; none where no valid pair of samples holds f.
std::optional<double> PhaseAt(const CResultVariable& x, const CResultVariable& y, double f,
                              std::int32_t first, std::int32_t last) {
    const double* xv = x.Values();
    const double* yv = y.Values();
    for (std::int32_t i = first; i < last; ++i) {
        if (x.Flags()[i] != kPointValid || x.Flags()[i + 1] != kPointValid ||
            y.Flags()[i] != kPointValid || y.Flags()[i + 1] != kPointValid)
            continue;
        if (!(xv[i] > 0.0 && xv[i] <= f && f <= xv[i + 1])) continue;
        const double span = std::log10(xv[i + 1] / xv[i]);
        const double t = span > 0.0 ? std::log10(f / xv[i]) / span : 0.0;
        // Across a wrap of the phase the nearer sample tells the level.
        if (std::fabs(yv[i + 1] - yv[i]) > 180.0) return t < 0.5 ? yv[i] : yv[i + 1];
        return yv[i] + t * (yv[i + 1] - yv[i]);
    }
    return std::nullopt;
}

// The screens showing data column `column` as a curve.
std::vector<std::int32_t> ScreensShowing(const std::vector<CGraphCurve*>& screens,
                                         std::int32_t column) {
    std::vector<std::int32_t> out;
    for (std::int32_t s = 0; s < static_cast<std::int32_t>(screens.size()); ++s) {
        if (!screens[static_cast<size_t>(s)]) continue;
        const CGraphCurve& g = *screens[static_cast<size_t>(s)];
        for (std::int32_t i = 0; i < g.CurveCount(); ++i) {
            if (g.Curve(i).sourceKind == kCurveColumn && g.Curve(i).columnIndex == column) {
                out.push_back(s);
                break;
            }
        }
    }
    return out;
}

// The samples first..last of the ascending column x inside [from, to].
std::pair<std::int32_t, std::int32_t> IndicesWithin(const CResultVariable& x, std::int32_t n,
                                                    double from, double to) {
    std::int32_t first = n, last = -1;
    for (std::int32_t i = 0; i < n; ++i) {
        if (x.Flags()[i] != kPointValid || !(x.Values()[i] >= from && x.Values()[i] <= to))
            continue;
        if (first == n) first = i;
        last = i;
    }
    return {first, last};
}

}  // namespace

std::string FrequencyText(double hz) {
    if (!std::isfinite(hz)) return "-";
    if (hz == 0.0) return "0 Hz";
    static const struct {
        double scale;
        const char* unit;
    } kUnits[] = {{1e9, "GHz"}, {1e6, "MHz"}, {1e3, "kHz"}, {1.0, "Hz"}, {1e-3, "mHz"}};
    for (const auto& u : kUnits) {
        // Rounded to five digits first, so 999.996 Hz reads "1 kHz", not "1000 Hz".
        const double shown = std::stod(Printed("%.5g", std::fabs(hz) / u.scale));
        if (shown >= 1.0 || u.scale == 1e-3) return Printed("%.5g ", hz / u.scale) + u.unit;
    }
    return {};
}

std::vector<std::int32_t> PhaseColumns(const CGraphCurve& screen) {
    std::vector<std::int32_t> out;
    const CResultData* d = screen.Data().Get();
    if (!d) return out;
    for (std::int32_t i = 0; i < d->VariableCount(); ++i) {
        std::string name = d->Variable(i)->Name();
        for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (name.rfind("phase(", 0) == 0) out.push_back(i);
    }
    return out;
}

LoopMarginsReport LoopMarginsOf(const std::vector<CGraphCurve*>& screens, std::int32_t screen,
                                std::int32_t curve, std::int32_t phaseColumn) {
    LoopMarginsReport r;
    r.screen = screen;
    if (screen < 0 || screen >= static_cast<std::int32_t>(screens.size()) ||
        !screens[static_cast<size_t>(screen)]) {
        r.error = "No curve is selected.";
        return r;
    }
    const CGraphCurve& g = *screens[static_cast<size_t>(screen)];
    const CResultData* d = g.Data().Get();
    if (!d || curve < 0 || curve >= g.CurveCount()) {
        r.error = "No curve is selected.";
        return r;
    }
    const CCurveEntry& c = g.Curve(curve);
    const std::int32_t n = d->RowCount();
    if (c.sourceKind != kCurveColumn || c.columnIndex <= 0 || c.columnIndex >= d->VariableCount() ||
        g.XIndex() < 0 || g.XIndex() >= d->VariableCount()) {
        r.error = "The selected curve " + c.formula + " is not a column of the file.";
        return r;
    }
    r.ampColumn = c.columnIndex;
    std::vector<std::string> names;
    for (std::int32_t i = 0; i < d->VariableCount(); ++i) names.push_back(d->Variable(i)->Name());
    r.phaseColumn = phaseColumn >= 0 && phaseColumn < d->VariableCount()
                        ? phaseColumn
                        : PhaseColumnFor(names, r.ampColumn);
    if (r.phaseColumn < 0) {
        r.error = "No phase pairs with " + c.formula + ": choose one under Phase.";
        return r;
    }
    const CResultVariable& x = *d->Variable(g.XIndex());
    const CResultVariable& amp = *d->Variable(r.ampColumn);
    const CResultVariable& phase = *d->Variable(r.phaseColumn);
    const auto [from, to] = VisibleXRange(g);
    // A log axis's ends come back through 10^x: allow for the rounding.
    const double slack = (to - from) * 1e-9;
    const auto [first, last] = IndicesWithin(x, n, from - slack, to + slack);
    r.title = names[static_cast<size_t>(r.ampColumn)] + " with " +
              names[static_cast<size_t>(r.phaseColumn)] + ", " + FrequencyText(from) + " to " +
              FrequencyText(to);
    const auto values = [n](const CResultVariable& v) {
        return std::span<const double>(v.Values(), static_cast<size_t>(n));
    };
    const auto flags = [n](const CResultVariable& v) {
        return std::span<const std::uint8_t>(v.Flags(), static_cast<size_t>(n));
    };
    r.margins = StabilityMargins(values(x), flags(x), values(amp), flags(amp), values(phase),
                                 flags(phase), first, last);
    const LoopMargins& m = r.margins;
    if (!m.Ok()) {
        r.error = m.error;
        return r;
    }
    r.rows = {
        {"Gain crossover", FrequencyOr(m.gainCrossover)},
        {"Phase margin", m.phaseMargin ? Degrees(*m.phaseMargin) : kNone},
        {"Phase crossover", FrequencyOr(m.phaseCrossover)},
        {"Gain margin", m.gainMargin ? Decibels(*m.gainMargin) : kNone},
        {"\xE2\x88\x92"
         "3 dB bandwidth",
         FrequencyOr(m.bandwidth)},
        {"Peak gain", m.peakGain && m.peakFrequency
                          ? Decibels(*m.peakGain) + " at " + FrequencyText(*m.peakFrequency)
                          : kNone},
    };
    for (const LoopCrossing& x1 : m.gainCrossings) r.gainCrossings.push_back(Crossing(x1, false));
    for (const LoopCrossing& x1 : m.phaseCrossings) r.phaseCrossings.push_back(Crossing(x1, true));
    return r;
}

std::string LoopMarginsText(const LoopMarginsReport& report) {
    std::string out = report.title.empty() ? std::string("Loop margins\n") : report.title + "\n";
    if (!report.Ok()) return out + report.error + "\n";
    for (const LoopMarginsRow& row : report.rows) out += row.label + "\t" + row.value + "\n";
    const auto list = [&out](const char* heading, const std::vector<std::string>& items) {
        out += std::string(heading) + "\t" +
               (items.empty() ? kNone : std::to_string(items.size())) + "\n";
        for (const std::string& item : items) out += "\t" + item + "\n";
    };
    list("All gain crossings", report.gainCrossings);
    list("All phase crossings", report.phaseCrossings);
    return out;
}

std::vector<std::vector<ScreenMark>> LoopMarginsMarks(const std::vector<CGraphCurve*>& screens,
                                                      const LoopMarginsReport& report) {
    std::vector<std::vector<ScreenMark>> marks(screens.size());
    if (!report.Ok()) return marks;
    const LoopMargins& m = report.margins;
    if (m.gainCrossover) {
        const std::string label = "PM " + (m.phaseMargin ? Degrees(*m.phaseMargin) : kNone);
        for (std::int32_t s : ScreensShowing(screens, report.ampColumn))
            marks[static_cast<size_t>(s)].push_back({*m.gainCrossover, 0.0, label});
    }
    if (m.phaseCrossover) {
        const std::string label = "GM " + (m.gainMargin ? Decibels(*m.gainMargin) : kNone);
        for (std::int32_t s : ScreensShowing(screens, report.phaseColumn)) {
            const CGraphCurve& g = *screens[static_cast<size_t>(s)];
            const CResultData* d = g.Data().Get();
            if (!d || g.XIndex() < 0 || g.XIndex() >= d->VariableCount()) continue;
            // The level the shown phase passes there, wrapped or not.
            const std::optional<double> shown =
                PhaseAt(*d->Variable(g.XIndex()), *d->Variable(report.phaseColumn),
                        *m.phaseCrossover, 0, d->RowCount() - 1);
            if (!shown) continue;
            const double level = -180.0 + 360.0 * std::round((*shown + 180.0) / 360.0);
            marks[static_cast<size_t>(s)].push_back({*m.phaseCrossover, level, label});
        }
    }
    return marks;
}

}  // namespace kurvex
