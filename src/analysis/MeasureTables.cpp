#include "analysis/MeasureTables.h"

#include <algorithm>
#include <cmath>

#include "analysis/Measure.h"
#include "analysis/MeasureCatalogue.h"
#include "data/platform/NumberText.h"
#include "graph/RunColours.h"

namespace kurvex {

namespace {

MeasureId AverageId(AverageKind kind) {
    switch (kind) {
        case AverageKind::Mean:
            return MeasureId::Avg;
        case AverageKind::MeanAbs:
            return MeasureId::AvgAbs;
        case AverageKind::Rms:
            break;
    }
    return MeasureId::Rms;
}

}  // namespace

std::optional<MeasureResult> AverageCommand(const std::vector<CGraphCurve*>& screens,
                                            AverageKind kind) {
    const auto target = FindMeasureTarget(screens);
    if (!target) return std::nullopt;
    CGraphCurve& screen = *screens[static_cast<std::size_t>(target->screen)];
    if (target->curve < 0 || target->curve >= screen.CurveCount()) return std::nullopt;
    const CCurveEntry& curve = screen.Curve(target->curve);
    const MeasureEntry& entry = CatalogueEntry(AverageId(kind));
    MeasureResult result{entry.title, curve.formula, std::nullopt, curve.colour};
    const CurveSamples s = SamplesOf(screen, target->curve);
    // A later run says which it is, in the colour it is drawn with.
    if (const std::int32_t run = MeasuredRunOf(screen, target->curve); run > 0) {
        result.label += " [" + RunNameOf(screen, run) + "]";
        result.colour = RunAppearance(curve.colour, run, screen.DrawnRunCount(),
                                      screen.CurveCount(), screen.BlackWhite())
                            .colour;
    }
    if (s.y) {
        // |x| costs a cached column's pyramid its reads: only its own entry sums it.
        const SampleRange r = VisibleRange(s, screen.XRange().from, screen.XRange().to);
        MeasureContext context(TraceOfSamples(s, r.first, std::min(r.last, s.yCount - 1)),
                               curve.formula, {});
        result.value = context.Measure(entry.id).value;
    }
    return result;
}

FigureTable CycleTable(const std::vector<CGraphCurve*>& screens,
                       std::optional<CurvePlace> reference, const CycleRequest& request) {
    FigureTable t;
    t.columns = {"Curve", "Avg", "RMS", "Min", "Max", "Ripple", "Duty"};
    if (!reference) reference = DefaultReference(screens);
    if (!reference || reference->screen < 0 ||
        reference->screen >= static_cast<std::int32_t>(screens.size()) ||
        !screens[static_cast<std::size_t>(reference->screen)]) {
        t.message = "No curve to measure.";
        return t;
    }
    const CGraphCurve& home = *screens[static_cast<std::size_t>(reference->screen)];
    if (home.FreqDisplay()) {
        t.message = "Cycles are measured on time curves; the view shows spectra.";
        return t;
    }
    const RawCurve ref = RawCurveOf(home, reference->curve);
    if (!ref.yColumn) {
        t.message = "The reference curve has no data.";
        return t;
    }
    const auto [from, to] = VisibleXRange(home);
    const Cycles cycles = FindCycles(TraceWithin(ref, from, to), ref.name, request, from, to);
    if (!cycles.Ok()) {
        t.title = "Reference " + ref.name;
        t.message = cycles.error;
        return t;
    }
    const double period =
        (cycles.bounds.back() - cycles.bounds.front()) / static_cast<double>(cycles.Count());
    t.title = Format("Reference %s: level %g, hysteresis %g; %d cycles, period %g, frequency %g",
                     ref.name.c_str(), cycles.level.level, cycles.level.hysteresis, cycles.Count(),
                     period, 1.0 / period);
    std::int32_t skipped = 0;
    for (std::size_t si = 0; si < screens.size(); ++si) {
        if (!screens[si]) continue;
        const CGraphCurve& screen = *screens[si];
        for (std::int32_t ci = 0; ci < screen.CurveCount(); ++ci) {
            const RawCurve curve = RawCurveOf(screen, ci);
            FigureRow row{curve.name, curve.colour, {}};
            if (curve.yColumn) {
                const bool isReference =
                    static_cast<std::int32_t>(si) == reference->screen && ci == reference->curve;
                MeasureContext context(
                    TraceWithin(curve, from, to), curve.name,
                    {from, to, std::nullopt, request, std::nullopt, std::nullopt});
                // The reference is its own: its row alone gives the duty.
                if (!isReference) context.SetOther(TraceWithin(ref, from, to), ref.name);
                context.UseCycles(cycles);
                for (const MeasureId id :
                     {MeasureId::CycleAvg, MeasureId::CycleRms, MeasureId::CycleMin,
                      MeasureId::CycleMax, MeasureId::Ripple})
                    row.values.push_back(context.Measure(id).value);
                row.values.push_back(isReference ? context.Measure(MeasureId::Duty).value
                                                 : std::nullopt);
                skipped += context.CurveCycles().skipped;
            } else {
                row.values.assign(6, std::nullopt);
            }
            t.rows.push_back(std::move(row));
        }
    }
    if (skipped > 0)
        t.message = Format("%d invalid samples inside the cycles were left out.", skipped);
    return t;
}

FigureTable EdgeTable(const std::vector<CGraphCurve*>& screens, const EdgeRequest& request) {
    FigureTable t;
    t.columns = {"Curve", "Rise", "Fall", "Rises", "Falls", "Low", "High"};
    std::string problems;
    for (const CGraphCurve* screen : screens) {
        if (!screen) continue;
        if (screen->FreqDisplay()) {
            t.message = "Edges are measured on time curves; the view shows spectra.";
            t.rows.clear();
            return t;
        }
        const auto [from, to] = VisibleXRange(*screen);
        for (std::int32_t ci = 0; ci < screen->CurveCount(); ++ci) {
            const RawCurve curve = RawCurveOf(*screen, ci);
            FigureRow row{curve.name, curve.colour, std::vector<std::optional<double>>(6)};
            if (curve.yColumn) {
                MeasureContext context(TraceWithin(curve, from, to), curve.name,
                                       {from, to, std::nullopt, {}, request.low, request.high});
                const EdgeLevelsResult& levels = context.Levels();
                if (levels.Ok()) {
                    row.values.clear();
                    for (const MeasureId id : {MeasureId::RiseTime, MeasureId::FallTime,
                                               MeasureId::Rises, MeasureId::Falls})
                        row.values.push_back(context.Measure(id).value);
                    row.values.push_back(levels.levels.low);
                    row.values.push_back(levels.levels.high);
                } else {
                    problems += (problems.empty() ? "" : " ") + levels.error;
                }
            }
            t.rows.push_back(std::move(row));
        }
    }
    t.message = problems;
    return t;
}

namespace {

// The mean (the catalogue's figure), least, greatest and number of dead times.
std::vector<std::optional<double>> DeadFigures(MeasureContext& context, MeasureId mean,
                                               const std::vector<Edge>& dead) {
    if (dead.empty()) return {std::nullopt, std::nullopt, std::nullopt, 0.0};
    double mn = dead.front().time;
    double mx = mn;
    for (const Edge& e : dead) {
        mn = std::min(mn, e.time);
        mx = std::max(mx, e.time);
    }
    return {context.Measure(mean).value, mn, mx, static_cast<double>(dead.size())};
}

const CGraphCurve* ScreenAt(const std::vector<CGraphCurve*>& screens, const CurvePlace& p) {
    if (p.screen < 0 || p.screen >= static_cast<std::int32_t>(screens.size())) return nullptr;
    return screens[static_cast<std::size_t>(p.screen)];
}

}  // namespace

FigureTable DeadTimeTable(const std::vector<CGraphCurve*>& screens, const CurvePlace& a,
                          const CurvePlace& b, const EdgeRequest& request) {
    FigureTable t;
    t.columns = {"Dead time", "Mean", "Min", "Max", "Count"};
    const CGraphCurve* sa = ScreenAt(screens, a);
    const CGraphCurve* sb = ScreenAt(screens, b);
    if (!sa || !sb) {
        t.message = "Choose two curves.";
        return t;
    }
    if (sa->FreqDisplay()) {
        t.message = "Dead times are measured on time curves; the view shows spectra.";
        return t;
    }
    const auto [from, to] = VisibleXRange(*sa);
    const RawCurve ca = RawCurveOf(*sa, a.curve);
    const RawCurve cb = RawCurveOf(*sb, b.curve);
    if (!ca.yColumn || !cb.yColumn) {
        t.message = "Both curves need data.";
        return t;
    }
    MeasureContext context(TraceWithin(ca, from, to), ca.name,
                           {from, to, std::nullopt, {}, request.low, request.high});
    context.SetOther(TraceWithin(cb, from, to), cb.name);
    if (!context.Levels().Ok() || !context.OtherLevels().Ok()) {
        t.message = !context.Levels().Ok() ? context.Levels().error : context.OtherLevels().error;
        return t;
    }
    const DeadTimes& d = context.Dead();
    t.title = "Dead times between " + ca.name + " and " + cb.name;
    t.rows.push_back({ca.name + " off -> " + cb.name + " on", ca.colour,
                      DeadFigures(context, MeasureId::DeadTimeTo, d.ab)});
    t.rows.push_back({cb.name + " off -> " + ca.name + " on", cb.colour,
                      DeadFigures(context, MeasureId::DeadTimeFrom, d.ba)});
    return t;
}

}  // namespace kurvex
