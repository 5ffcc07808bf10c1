#include "analysis/MeasureCatalogue.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "analysis/Measure.h"
#include "data/platform/NumberText.h"

namespace kurvex {

namespace {

MeasureOutcome Value(double v) {
    MeasureOutcome o;
    o.value = Finite(v);
    return o;
}

MeasureOutcome Failed(std::string why) {
    MeasureOutcome o;
    o.error = std::move(why);
    return o;
}

// The curve's Y at the X the parameters give, where X first passes it.
MeasureOutcome ValueAtX(MeasureContext& c) {
    const std::optional<double> x = c.Params().x;
    if (!x) return Failed("no X to read the value at");
    const CycleTrace& t = c.Curve();
    const std::int32_t n = t.last - t.first + 1;
    if (n < 1) return Failed("no samples");
    CurveSamples s;
    std::vector<std::uint8_t> valid;
    if (!t.xFlags || !t.yFlags) valid.assign(static_cast<std::size_t>(n), kPointValid);
    s.x = t.x + t.first;
    s.y = t.y + t.first;
    s.xFlags = t.xFlags ? t.xFlags + t.first : valid.data();
    s.yFlags = t.yFlags ? t.yFlags + t.first : valid.data();
    s.count = s.yCount = n;
    s.sortedX = t.xTrusted;
    const std::vector<XLocation> places = XPlaces(s, *x, false);
    if (places.empty()) return Failed("X " + Format("%g", *x) + " lies outside the samples");
    MeasureOutcome o;
    o.value = YAt(s, places.front());
    o.at = *x;
    if (!o.value) o.error = "no valid sample at X " + Format("%g", *x);
    return o;
}

MeasureOutcome Extremum(MeasureContext& c, bool largest) {
    const CycleTrace& t = c.Curve();
    std::vector<std::uint8_t> valid;
    if (!t.yFlags) valid.assign(static_cast<std::size_t>(std::max(t.last + 1, 0)), kPointValid);
    const auto i = FindExtremum(t.y, t.yFlags ? t.yFlags : valid.data(), t.first, t.last, largest);
    if (!i) return Failed("no valid sample in the range");
    MeasureOutcome o;
    o.value = t.y[*i];
    o.at = t.x[*i];
    o.index = *i;
    return o;
}

MeasureOutcome Average(MeasureContext& c, double AverageFigures::*figure) {
    const auto& f = c.Averages(figure == &AverageFigures::meanAbs);
    if (!f) return Failed("no sample in the range");
    MeasureOutcome o;
    o.value = (*f).*figure;
    return o;
}

// A figure of the cycles, or why there are none.
MeasureOutcome CycleFigure(MeasureContext& c, bool ofReference, double CycleSummary::*figure) {
    const Cycles& found = c.FoundCycles();
    if (!found.Ok()) return Failed(found.error);
    const CycleSummary& s = ofReference ? c.ReferenceCycles() : c.CurveCycles();
    return Value(s.*figure);
}

MeasureOutcome EdgeFigure(MeasureContext& c, bool rising, bool count) {
    if (!c.Levels().Ok()) return Failed(c.Levels().error);
    const std::vector<Edge>& edges = rising ? c.Edges().rise : c.Edges().fall;
    if (count) return Value(static_cast<double>(edges.size()));
    if (edges.empty()) return Failed(rising ? "no rising edge" : "no falling edge");
    return Value(MeanEdgeTime(edges));
}

MeasureOutcome DeadFigure(MeasureContext& c, bool to) {
    if (!c.Levels().Ok()) return Failed(c.Levels().error);
    if (!c.OtherLevels().Ok()) return Failed(c.OtherLevels().error);
    const std::vector<Edge>& dead = to ? c.Dead().ab : c.Dead().ba;
    if (dead.empty()) return Failed("no dead time");
    return Value(MeanEdgeTime(dead));
}

// The valid samples of the range, X rising, as the scripts measure them:
// the trace's own memory when every sample is valid, else a copy.
struct Series {
    TimeSeries s;
    std::vector<double> xs, ys;
    std::string error;
};

Series SeriesOf(const CycleTrace& t) {
    Series out;
    bool all = true;
    for (std::int32_t i = t.first; i <= t.last && all; ++i) all = t.Usable(i);
    if (all && t.last >= t.first) {
        out.s = {t.x + t.first, t.y + t.first, static_cast<std::size_t>(t.last - t.first + 1)};
    } else {
        for (std::int32_t i = t.first; i <= t.last; ++i) {
            if (!t.Usable(i)) continue;
            out.xs.push_back(t.x[i]);
            out.ys.push_back(t.y[i]);
        }
        out.s = {out.xs.data(), out.ys.data(), out.xs.size()};
    }
    if (out.s.n == 0) out.error = "no valid sample in the range";
    if (!t.xTrusted && !std::is_sorted(out.s.x, out.s.x + out.s.n))
        out.error = "X does not rise, so there is no time integral";
    return out;
}

MeasureOutcome Window(MeasureContext& c, MeasureId id) {
    const Series series = SeriesOf(c.Curve());
    if (!series.error.empty()) return Failed(series.error);
    const TimeSeries& s = series.s;
    const double x1 = std::max(c.Params().from, s.x[0]);
    const double x2 = std::min(c.Params().to, s.x[s.n - 1]);
    if (x2 < x1) return Failed("the range holds no samples");
    MeasureOutcome o = SeriesWindowFigure(id, s, x1, x2);
    if (o.value && !std::isfinite(*o.value)) o.value.reset();
    return o;
}

// The time RMS of the curve less the other, where both have samples, the
// other read linearly at the curve's X.
MeasureOutcome DiffRms(MeasureContext& c) {
    if (!c.Other()) return Failed("no second curve to compare with");
    const Series a = SeriesOf(c.Curve()), b = SeriesOf(*c.Other());
    if (!a.error.empty()) return Failed(a.error);
    if (!b.error.empty()) return Failed(b.error);
    const double x1 = std::max({c.Params().from, a.s.x[0], b.s.x[0]});
    const double x2 = std::min({c.Params().to, a.s.x[a.s.n - 1], b.s.x[b.s.n - 1]});
    if (!(x2 > x1)) return Failed("the curves share no stretch of X");
    std::vector<double> xs, ds;
    for (std::size_t i = 0; i < a.s.n; ++i) {
        if (a.s.x[i] < x1 || a.s.x[i] > x2) continue;
        xs.push_back(a.s.x[i]);
        ds.push_back(a.s.y[i] - SeriesValueAt(b.s, a.s.x[i]));
    }
    if (xs.size() < 2) return Failed("the curves share no stretch of X");
    MeasureOutcome o = SeriesWindowFigure(MeasureId::TimeRms, {xs.data(), ds.data(), xs.size()},
                                          xs.front(), xs.back());
    if (o.value && !std::isfinite(*o.value)) o.value.reset();
    return o;
}

MeasureOutcome Slope(MeasureContext& c) {
    const Series series = SeriesOf(c.Curve());
    if (!series.error.empty()) return Failed(series.error);
    const TimeSeries& s = series.s;
    const std::optional<double> x = c.Params().x;
    if (!x) return Failed("no X to read the slope at");
    if (s.n < 2 || *x < s.x[0] || *x > s.x[s.n - 1])
        return Failed("X " + Format("%g", *x) + " lies outside the samples");
    MeasureOutcome o = Value(SeriesSlopeAt(s, *x));
    o.at = *x;
    return o;
}

MeasureOutcome MarginFigure(MeasureContext& c, std::optional<double> LoopMargins::*figure,
                            std::optional<double> LoopMargins::*where) {
    const LoopMargins& m = c.Margins();
    if (!m.Ok()) return Failed(m.error);
    MeasureOutcome o;
    o.value = m.*figure;
    if (where) o.at = m.*where;
    if (!o.value) o.error = "the loop never crosses there";
    return o;
}

// Keys and captions are what users type and read: they stay once released.
const MeasureEntry kCatalogue[] = {
    {MeasureId::ValueAtX, "value_at", "Value at X", "Value at X", MeasureUnit::Y, kTakesX,
     ValueAtX},
    {MeasureId::Cursor1, "cursor1", "At Cursor 1", "At Cursor 1", MeasureUnit::Y, kTakesCursor,
     ValueAtX},
    {MeasureId::Cursor2, "cursor2", "At Cursor 2", "At Cursor 2", MeasureUnit::Y, kTakesCursor,
     ValueAtX},
    {MeasureId::Avg, "avg", "Avg", "Average Value", MeasureUnit::Y, kTakesNothing,
     [](MeasureContext& c) { return Average(c, &AverageFigures::mean); }},
    {MeasureId::AvgAbs, "avg_abs", "Avg(|x|)", "Average of the |X| Value", MeasureUnit::Y,
     kTakesNothing, [](MeasureContext& c) { return Average(c, &AverageFigures::meanAbs); }},
    {MeasureId::Rms, "rms", "RMS", "RMS Value", MeasureUnit::Y, kTakesNothing,
     [](MeasureContext& c) { return Average(c, &AverageFigures::rms); }},
    {MeasureId::Min, "min", "Min", "Minimum", MeasureUnit::Y, kTakesNothing,
     [](MeasureContext& c) { return Extremum(c, false); }},
    {MeasureId::Max, "max", "Max", "Maximum", MeasureUnit::Y, kTakesNothing,
     [](MeasureContext& c) { return Extremum(c, true); }},
    {MeasureId::Period, "period", "Period", "Period", MeasureUnit::X,
     kTakesOther | kTakesCycleLevel,
     [](MeasureContext& c) { return CycleFigure(c, false, &CycleSummary::period); }},
    {MeasureId::Frequency, "frequency", "Frequency", "Frequency", MeasureUnit::PerX,
     kTakesOther | kTakesCycleLevel,
     [](MeasureContext& c) { return CycleFigure(c, false, &CycleSummary::frequency); }},
    {MeasureId::Duty, "duty", "Duty", "Duty", MeasureUnit::Ratio, kTakesOther | kTakesCycleLevel,
     [](MeasureContext& c) { return CycleFigure(c, true, &CycleSummary::duty); }},
    {MeasureId::Ripple, "ripple", "Ripple", "Ripple", MeasureUnit::Y,
     kTakesOther | kTakesCycleLevel,
     [](MeasureContext& c) { return CycleFigure(c, false, &CycleSummary::ripple); }},
    {MeasureId::CycleAvg, "cycle_avg", "Cycle Avg", "Cycle Average", MeasureUnit::Y,
     kTakesOther | kTakesCycleLevel,
     [](MeasureContext& c) { return CycleFigure(c, false, &CycleSummary::avg); }},
    {MeasureId::CycleRms, "cycle_rms", "Cycle RMS", "Cycle RMS", MeasureUnit::Y,
     kTakesOther | kTakesCycleLevel,
     [](MeasureContext& c) { return CycleFigure(c, false, &CycleSummary::rms); }},
    {MeasureId::CycleMin, "cycle_min", "Cycle Min", "Cycle Minimum", MeasureUnit::Y,
     kTakesOther | kTakesCycleLevel,
     [](MeasureContext& c) { return CycleFigure(c, false, &CycleSummary::min); }},
    {MeasureId::CycleMax, "cycle_max", "Cycle Max", "Cycle Maximum", MeasureUnit::Y,
     kTakesOther | kTakesCycleLevel,
     [](MeasureContext& c) { return CycleFigure(c, false, &CycleSummary::max); }},
    {MeasureId::RiseTime, "rise_time", "Rise Time", "Rise Time (10-90 %)", MeasureUnit::X,
     kTakesEdgeLevels, [](MeasureContext& c) { return EdgeFigure(c, true, false); }},
    {MeasureId::FallTime, "fall_time", "Fall Time", "Fall Time (90-10 %)", MeasureUnit::X,
     kTakesEdgeLevels, [](MeasureContext& c) { return EdgeFigure(c, false, false); }},
    {MeasureId::Rises, "rises", "Rises", "Rising Edges", MeasureUnit::Count, kTakesEdgeLevels,
     [](MeasureContext& c) { return EdgeFigure(c, true, true); }},
    {MeasureId::Falls, "falls", "Falls", "Falling Edges", MeasureUnit::Count, kTakesEdgeLevels,
     [](MeasureContext& c) { return EdgeFigure(c, false, true); }},
    {MeasureId::DeadTimeTo, "dead_time_to", "Dead Time to", "Dead Time (off to other on)",
     MeasureUnit::X, kTakesOther | kTakesEdgeLevels,
     [](MeasureContext& c) { return DeadFigure(c, true); }},
    {MeasureId::DeadTimeFrom, "dead_time_from", "Dead Time from", "Dead Time (other off to on)",
     MeasureUnit::X, kTakesOther | kTakesEdgeLevels,
     [](MeasureContext& c) { return DeadFigure(c, false); }},
    {MeasureId::TimeAvg, "time_avg", "Time Avg (trapezoid)", "Time Average (trapezoid rule)",
     MeasureUnit::Y, kTakesNothing,
     [](MeasureContext& c) { return Window(c, MeasureId::TimeAvg); }},
    {MeasureId::TimeRms, "time_rms", "Time RMS (trapezoid)", "Time RMS (trapezoid rule)",
     MeasureUnit::Y, kTakesNothing,
     [](MeasureContext& c) { return Window(c, MeasureId::TimeRms); }},
    {MeasureId::Integral, "integral", "Integral", "Integral (trapezoid rule)", MeasureUnit::YTimesX,
     kTakesNothing, [](MeasureContext& c) { return Window(c, MeasureId::Integral); }},
    {MeasureId::WindowMin, "window_min", "Min (ends interpolated)", "Minimum (ends interpolated)",
     MeasureUnit::Y, kTakesNothing,
     [](MeasureContext& c) { return Window(c, MeasureId::WindowMin); }},
    {MeasureId::WindowMax, "window_max", "Max (ends interpolated)", "Maximum (ends interpolated)",
     MeasureUnit::Y, kTakesNothing,
     [](MeasureContext& c) { return Window(c, MeasureId::WindowMax); }},
    {MeasureId::PeakToPeak, "pp", "Peak-to-Peak", "Peak-to-Peak (ends interpolated)",
     MeasureUnit::Y, kTakesNothing,
     [](MeasureContext& c) { return Window(c, MeasureId::PeakToPeak); }},
    {MeasureId::SlopeAtX, "slope_at", "Slope at X", "Slope at X", MeasureUnit::YPerX, kTakesX,
     Slope},
    {MeasureId::GainCrossover, "gain_crossover", "Gain Crossover", "Gain Crossover (0 dB)",
     MeasureUnit::X, kTakesOther,
     [](MeasureContext& c) { return MarginFigure(c, &LoopMargins::gainCrossover, nullptr); }},
    {MeasureId::PhaseMargin, "phase_margin", "Phase Margin", "Phase Margin", MeasureUnit::Y,
     kTakesOther,
     [](MeasureContext& c) {
         return MarginFigure(c, &LoopMargins::phaseMargin, &LoopMargins::gainCrossover);
     }},
    {MeasureId::PhaseCrossover, "phase_crossover", "Phase Crossover", "Phase Crossover (-180 deg)",
     MeasureUnit::X, kTakesOther,
     [](MeasureContext& c) { return MarginFigure(c, &LoopMargins::phaseCrossover, nullptr); }},
    {MeasureId::GainMargin, "gain_margin", "Gain Margin", "Gain Margin", MeasureUnit::Y,
     kTakesOther,
     [](MeasureContext& c) {
         return MarginFigure(c, &LoopMargins::gainMargin, &LoopMargins::phaseCrossover);
     }},
    {MeasureId::Bandwidth, "bandwidth_3db", "Bandwidth (-3 dB)", "Bandwidth (-3 dB)",
     MeasureUnit::X, kTakesOther,
     [](MeasureContext& c) { return MarginFigure(c, &LoopMargins::bandwidth, nullptr); }},
    {MeasureId::PeakGain, "peak_gain", "Peak Gain", "Peak Gain", MeasureUnit::Y, kTakesOther,
     [](MeasureContext& c) {
         return MarginFigure(c, &LoopMargins::peakGain, &LoopMargins::peakFrequency);
     }},
    {MeasureId::DiffRms, "diff_rms", "RMS of Difference", "RMS of the Difference (trapezoid rule)",
     MeasureUnit::Y, kTakesOther | kTakesReferenceRun, DiffRms},
};

std::size_t Above(const TimeSeries& s, double x) {
    return static_cast<std::size_t>(std::upper_bound(s.x, s.x + s.n, x) - s.x);
}

// The slope at sample k: the mean of the neighbouring slopes, each weighted
// by the other's step (GD()'s arithmetic).
double SlopeAtSample(const TimeSeries& s, std::size_t k) {
    if (k == 0) return (s.y[1] - s.y[0]) / (s.x[1] - s.x[0]);
    if (k + 1 >= s.n) return (s.y[k] - s.y[k - 1]) / (s.x[k] - s.x[k - 1]);
    const double h1 = s.x[k] - s.x[k - 1], h2 = s.x[k + 1] - s.x[k];
    const double s1 = (s.y[k] - s.y[k - 1]) / h1, s2 = (s.y[k + 1] - s.y[k]) / h2;
    return (h2 * s1 + h1 * s2) / (h1 + h2);
}

}  // namespace

CycleTrace TraceOfSamples(const CurveSamples& s, std::int32_t first, std::int32_t last) {
    CycleTrace t;
    t.x = s.x;
    t.xFlags = s.xFlags;
    t.y = s.y;
    t.yFlags = s.yFlags;
    t.first = first;
    t.last = last;
    t.xTrusted = s.sortedX;
    return t;
}

MeasureContext::MeasureContext(const CycleTrace& curve, std::string name,
                               const MeasureParams& params)
    : curve_(curve), name_(std::move(name)), params_(params) {}

void MeasureContext::SetOther(const CycleTrace& other, std::string name) {
    other_ = other;
    otherName_ = std::move(name);
}

void MeasureContext::UseCycles(const Cycles& cycles) {
    cycles_ = cycles;
}

MeasureOutcome MeasureContext::Measure(MeasureId id) {
    return CatalogueEntry(id).compute(*this);
}

const std::optional<AverageFigures>& MeasureContext::Averages(bool withAbs) {
    // A cached column sums from its pyramid, which leaves |x| out unless asked.
    if (!averages_ || (withAbs && *averages_ && std::isnan((**averages_).meanAbs)))
        averages_ = AveragesOver(curve_.y, curve_.first, curve_.last, withAbs);
    return *averages_;
}

const Cycles& MeasureContext::FoundCycles() {
    if (!cycles_) {
        cycles_ = FindCycles(other_ ? *other_ : curve_, other_ ? otherName_ : name_, params_.cycles,
                             params_.from, params_.to);
    }
    return *cycles_;
}

const std::vector<CycleFigures>& MeasureContext::CurveCycleFigures() {
    if (!curveFigures_) {
        // A curve that is its own reference gives its duty in the same pass.
        const Cycles& c = FoundCycles();
        curveFigures_ = other_ ? FiguresPerCycle(curve_, c.bounds)
                               : FiguresPerCycle(curve_, c.bounds, c.level.level);
    }
    return *curveFigures_;
}

const CycleSummary& MeasureContext::CurveCycles() {
    if (!curveSummary_) curveSummary_ = SummariseCycles(CurveCycleFigures());
    return *curveSummary_;
}

const CycleSummary& MeasureContext::ReferenceCycles() {
    if (!other_) return CurveCycles();
    if (!referenceSummary_) {
        const Cycles& c = FoundCycles();
        referenceSummary_ = SummariseCycles(FiguresPerCycle(*other_, c.bounds, c.level.level));
    }
    return *referenceSummary_;
}

const EdgeLevelsResult& MeasureContext::Levels() {
    if (!levels_) levels_ = EdgeLevelsOf(curve_, name_, params_.low, params_.high);
    return *levels_;
}

const EdgeList& MeasureContext::Edges() {
    if (!edges_) edges_ = Levels().Ok() ? FindEdges(curve_, Levels().levels) : EdgeList{};
    return *edges_;
}

const EdgeLevelsResult& MeasureContext::OtherLevels() {
    if (!otherLevels_) {
        if (other_) {
            otherLevels_ = EdgeLevelsOf(*other_, otherName_, params_.low, params_.high);
        } else {
            otherLevels_ = EdgeLevelsResult{};
            otherLevels_->error = "no second curve to measure against";
        }
    }
    return *otherLevels_;
}

const EdgeList& MeasureContext::OtherEdges() {
    if (!otherEdges_)
        otherEdges_ = OtherLevels().Ok() ? FindEdges(*other_, OtherLevels().levels) : EdgeList{};
    return *otherEdges_;
}

const DeadTimes& MeasureContext::Dead() {
    if (!dead_) dead_ = FindDeadTimes(Edges(), OtherEdges());
    return *dead_;
}

const LoopMargins& MeasureContext::Margins() {
    if (margins_) return *margins_;
    if (!other_) {
        margins_ = LoopMargins{};
        margins_->error = "the loop margins need the phase beside the gain";
        return *margins_;
    }
    const CycleTrace& gain = curve_;
    const CycleTrace& phase = *other_;
    const std::int32_t n = std::min(gain.last, phase.last) + 1;
    const auto count = static_cast<std::size_t>(std::max(n, 0));
    const std::vector<std::uint8_t> allValid(count, kPointValid);
    const auto flags = [&](const std::uint8_t* f) {
        return std::span<const std::uint8_t>(f ? f : allValid.data(), count);
    };
    const auto values = [&](const double* v) { return std::span<const double>(v, count); };
    margins_ = StabilityMargins(values(gain.x), flags(gain.xFlags), values(gain.y),
                                flags(gain.yFlags), values(phase.y), flags(phase.yFlags),
                                gain.first, std::min(gain.last, phase.last));
    return *margins_;
}

std::span<const MeasureEntry> MeasureCatalogue() {
    return kCatalogue;
}

const MeasureEntry& CatalogueEntry(MeasureId id) {
    for (const MeasureEntry& e : kCatalogue)
        if (e.id == id) return e;
    return kCatalogue[0];  // unreachable: every id has its entry, which a test checks
}

const MeasureEntry* FindMeasureEntry(std::string_view key) {
    for (const MeasureEntry& e : kCatalogue)
        if (key == e.key) return &e;
    return nullptr;
}

std::string MeasureUnitText(MeasureUnit unit, const std::string& xUnit, const std::string& yUnit) {
    switch (unit) {
        case MeasureUnit::Y:
            return yUnit;
        case MeasureUnit::X:
            return xUnit;
        case MeasureUnit::PerX:
            if (xUnit == "s") return "Hz";
            return xUnit.empty() ? "" : "1/" + xUnit;
        case MeasureUnit::Ratio:
        case MeasureUnit::Count:
            return "";
        case MeasureUnit::YTimesX:
            return xUnit.empty() || yUnit.empty() ? "" : yUnit + "\u00b7" + xUnit;
        case MeasureUnit::YPerX:
            return xUnit.empty() || yUnit.empty() ? "" : yUnit + "/" + xUnit;
    }
    return "";
}

double SeriesValueAt(const TimeSeries& s, double x) {
    const std::size_t i = Above(s, x);
    if (i >= s.n) return s.y[s.n - 1];
    if (i == 0) return s.y[0];
    const double x0 = s.x[i - 1], x1 = s.x[i];
    if (x1 == x0) return s.y[i];
    return s.y[i - 1] + (s.y[i] - s.y[i - 1]) * (x - x0) / (x1 - x0);
}

double SeriesSlopeAt(const TimeSeries& s, double x) {
    const std::size_t i = Above(s, x);
    if (i == 0) return SlopeAtSample(s, 0);
    if (i >= s.n) return SlopeAtSample(s, s.n - 1);
    if (s.x[i - 1] == x) return SlopeAtSample(s, i - 1);
    const double d0 = SlopeAtSample(s, i - 1), d1 = SlopeAtSample(s, i);
    return d0 + (d1 - d0) * (x - s.x[i - 1]) / (s.x[i] - s.x[i - 1]);
}

MeasureOutcome SeriesWindowFigure(MeasureId id, const TimeSeries& s, double x1, double x2) {
    MeasureOutcome o;
    const std::size_t first = Above(s, x1);  // samples strictly inside the window
    const std::size_t last =
        std::max(first, static_cast<std::size_t>(std::lower_bound(s.x, s.x + s.n, x2) - s.x));
    const double y1 = SeriesValueAt(s, x1), y2 = SeriesValueAt(s, x2);
    if (id == MeasureId::WindowMin || id == MeasureId::WindowMax || id == MeasureId::PeakToPeak) {
        // Values first without branches, then where the first of them lies.
        double lo = y1, hi = y1;
        for (std::size_t i = first; i < last; ++i) {
            lo = s.y[i] < lo ? s.y[i] : lo;
            hi = s.y[i] > hi ? s.y[i] : hi;
        }
        lo = std::min(lo, y2);
        hi = std::max(hi, y2);
        const auto where = [&](double value) {
            if (y1 == value) return x1;
            const double* p = std::find(s.y + first, s.y + last, value);
            return p == s.y + last ? x2 : s.x[p - s.y];
        };
        if (id == MeasureId::WindowMin) {
            o.value = lo;
            o.at = where(lo);
        } else if (id == MeasureId::WindowMax) {
            o.value = hi;
            o.at = where(hi);
        } else {
            o.value = hi - lo;
        }
        return o;
    }
    const bool square = id == MeasureId::TimeRms;
    const auto f = [square](double y) { return square ? y * y : y; };
    double sum = 0;
    if (first < last) {
        sum = 0.5 * (f(y1) + f(s.y[first])) * (s.x[first] - x1) +
              0.5 * (f(s.y[last - 1]) + f(y2)) * (x2 - s.x[last - 1]);
        // Two sums so that the additions do not wait on each other.
        double a = 0, b = 0;
        std::size_t i = first + 1;
        if (square) {
            for (; i + 1 < last; i += 2) {
                a += (s.y[i - 1] * s.y[i - 1] + s.y[i] * s.y[i]) * (s.x[i] - s.x[i - 1]);
                b += (s.y[i] * s.y[i] + s.y[i + 1] * s.y[i + 1]) * (s.x[i + 1] - s.x[i]);
            }
        } else {
            for (; i + 1 < last; i += 2) {
                a += (s.y[i - 1] + s.y[i]) * (s.x[i] - s.x[i - 1]);
                b += (s.y[i] + s.y[i + 1]) * (s.x[i + 1] - s.x[i]);
            }
        }
        for (; i < last; ++i) a += (f(s.y[i - 1]) + f(s.y[i])) * (s.x[i] - s.x[i - 1]);
        sum += 0.5 * (a + b);
    } else {
        sum = 0.5 * (f(y1) + f(y2)) * (x2 - x1);
    }
    if (id == MeasureId::Integral) {
        o.value = sum;
        return o;
    }
    if (!(x2 > x1)) {
        o.error = "the window is empty";
        return o;
    }
    o.value = square ? std::sqrt(sum / (x2 - x1)) : sum / (x2 - x1);
    return o;
}

}  // namespace kurvex
