#include "analysis/Cycles.h"

#include <algorithm>
#include <cmath>

#include "analysis/Measure.h"
#include "data/platform/NumberText.h"

namespace kurvex {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Mean of the values that are numbers; NaN when none is.
struct Mean {
    double sum = 0.0;
    std::int32_t n = 0;
    void Add(double v) {
        if (std::isnan(v)) return;
        sum += v;
        ++n;
    }
    double Value() const { return n ? sum / n : kNaN; }
};

}  // namespace

Cycles FindCycles(const CycleTrace& reference, const std::string& name, const CycleRequest& request,
                  double from, double to) {
    Cycles c;
    const auto level = CycleLevelOf(reference, request.level, request.hysteresis);
    if (!level) {
        c.error = Format("No cycles: %s has no valid sample in the range.", name.c_str());
        return c;
    }
    c.level = *level;
    const RisingCrossings crossings = FindRisingCrossings(reference, *level);
    if (crossings.xBackwards) {
        c.error = "No cycles: X runs backwards within the range.";
        return c;
    }
    for (double t : crossings.times) {
        if (t >= from && t <= to) c.bounds.push_back(t);
    }
    const double below = level->level - level->hysteresis / 2.0;
    if (c.bounds.empty()) {
        c.error = Format("No cycles: %s never rises through its level %g after being below %g.",
                         name.c_str(), level->level, below);
    } else if (c.bounds.size() == 1) {
        c.error = Format(
            "No cycles: %s rises through its level %g only once; a cycle runs from one rising "
            "crossing to the next.",
            name.c_str(), level->level);
    }
    if (!c.Ok()) c.bounds.clear();
    return c;
}

CycleSummary SummariseCycles(std::span<const CycleFigures> cycles) {
    CycleSummary s;
    s.cycles = static_cast<std::int32_t>(cycles.size());
    Mean duty, avg, rms, ripple;
    s.min = kNaN;
    s.max = kNaN;
    for (const CycleFigures& f : cycles) {
        duty.Add(f.duty);
        avg.Add(f.avg);
        rms.Add(f.rms);
        ripple.Add(f.max - f.min);
        if (!std::isnan(f.min) && !(s.min <= f.min)) s.min = f.min;
        if (!std::isnan(f.max) && !(s.max >= f.max)) s.max = f.max;
        s.skipped += f.skipped;
    }
    s.period = cycles.empty() ? kNaN
                              : (cycles.back().end - cycles.front().start) /
                                    static_cast<double>(cycles.size());
    s.frequency = s.period > 0.0 ? 1.0 / s.period : kNaN;
    s.duty = duty.Value();
    s.avg = avg.Value();
    s.rms = rms.Value();
    s.ripple = ripple.Value();
    return s;
}

RawCurve RawCurveOf(const CGraphCurve& screen, std::int32_t curve) {
    RawCurve r;
    CResultData* d = screen.Data().Get();
    if (!d || curve < 0 || curve >= screen.CurveCount()) return r;
    const CCurveEntry& c = screen.Curve(curve);
    r.name = c.formula;
    r.colour = c.colour;
    if (screen.XIndex() < 0 || screen.XIndex() >= d->VariableCount()) return r;
    r.xColumn = RefPtr<CResultVariable>(d->Variable(screen.XIndex()));
    if (c.sourceKind == kCurveFormula) {
        r.yColumn = c.formulaResult;
    } else if (c.columnIndex >= 0 && c.columnIndex < d->VariableCount()) {
        r.yColumn = RefPtr<CResultVariable>(d->Variable(c.columnIndex));
    }
    if (!r.yColumn) return r;
    const std::int32_t rows =
        std::min({d->RowCount(), r.xColumn->Capacity(), r.yColumn->Capacity()});
    r.sortedX = screen.XIndex() >= 0 && screen.Data().IsSorted(screen.XIndex());
    r.trace.x = r.xColumn->Values();
    r.trace.xFlags = r.xColumn->Flags();
    r.trace.y = r.yColumn->Values();
    r.trace.yFlags = r.yColumn->Flags();
    r.trace.last = rows - 1;
    r.trace.xTrusted = r.sortedX;
    return r;
}

CycleTrace TraceWithin(const RawCurve& curve, double from, double to) {
    CycleTrace t = curve.trace;
    if (t.last < t.first) return t;
    CurveSamples s;
    s.x = t.x;
    s.xFlags = t.xFlags;
    s.y = t.y;
    s.yFlags = t.yFlags;
    s.count = s.yCount = t.last + 1;
    s.sortedX = curve.sortedX;
    const SampleRange r = VisibleRange(s, from, to);
    t.first = r.first;
    t.last = r.last;
    return t;
}

std::optional<CurvePlace> DefaultReference(const std::vector<CGraphCurve*>& screens) {
    for (std::size_t i = 0; i < screens.size(); ++i) {
        const CGraphCurve* s = screens[i];
        if (s && s->SelectedCurve() >= 0 && s->SelectedCurve() < s->CurveCount())
            return CurvePlace{static_cast<std::int32_t>(i), s->SelectedCurve()};
    }
    if (screens.empty() || !screens[0] || screens[0]->CurveCount() < 1) return std::nullopt;
    return CurvePlace{0, 0};
}

std::pair<double, double> VisibleXRange(const CGraphCurve& screen) {
    double from = screen.XRange().from;
    double to = screen.XRange().to;
    if (screen.XLog()) {
        from = std::pow(10.0, from);
        to = std::pow(10.0, to);
    }
    if (from > to) std::swap(from, to);
    return {from, to};
}

}  // namespace kurvex
