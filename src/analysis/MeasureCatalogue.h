#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/Averages.h"
#include "analysis/Cycles.h"
#include "analysis/Edges.h"
#include "analysis/LoopMargins.h"
#include "analysis/Measure.h"
#include "formula/CycleMath.h"

namespace kurvex {

// Every measurement Kurvex offers. The first eleven keep the numbers the Run
// Table's columns have always had.
enum class MeasureId : std::int32_t {
    ValueAtX = 0,
    Cursor1,
    Cursor2,
    Avg,  // the design's averages: each sample counts once
    Rms,
    Min,
    Max,
    Period,
    Frequency,
    Duty,
    Ripple,
    AvgAbs,
    CycleAvg,
    CycleRms,
    CycleMin,
    CycleMax,
    RiseTime,
    FallTime,
    Rises,
    Falls,
    DeadTimeTo,    // from each fall of the curve to the other's rise
    DeadTimeFrom,  // from each fall of the other to the curve's rise
    TimeAvg,       // the scripts' time integrals: trapezoids over uneven steps
    TimeRms,
    Integral,
    WindowMin,  // the scripts' extremes: the range's ends interpolated
    WindowMax,
    PeakToPeak,
    SlopeAtX,
    GainCrossover,  // loop margins: the curve is the gain in dB, the other the phase in degrees
    PhaseMargin,
    PhaseCrossover,
    GainMargin,
    Bandwidth,
    PeakGain,
    DiffRms,  // the RMS of the curve less the other (in a run table, the reference run's curve)
};

// What an entry reads besides the measured curve.
enum MeasureTakes : unsigned {
    kTakesNothing = 0,
    kTakesX = 1u << 0,       // an X the user gives
    kTakesCursor = 1u << 1,  // the X of a cursor
    kTakesOther = 1u << 2,   // a second curve: the cycles' reference or the dead times' partner
    kTakesCycleLevel = 1u << 3,
    kTakesEdgeLevels = 1u << 4,
    // Without a second curve, a run table compares with the reference run's curve.
    kTakesReferenceRun = 1u << 5,
};

// How an entry's unit follows from the units of X and the curve.
enum class MeasureUnit { Y, X, PerX, Ratio, Count, YTimesX, YPerX };

// What a measurement reads besides the samples, in X's own units.
struct MeasureParams {
    double from = -std::numeric_limits<double>::infinity();
    double to = std::numeric_limits<double>::infinity();
    std::optional<double> x;  // ValueAtX, SlopeAtX; the cursors' X for Cursor1/2
    CycleRequest cycles;
    std::optional<double> low, high;  // edge levels; each the curve's extreme unless given
};

// Samples first..last of `s` as a measurement reads them.
CycleTrace TraceOfSamples(const CurveSamples& s, std::int32_t first, std::int32_t last);

// One measurement's result: its value and, where it applies, the x (and the
// sample) at which it was found; or why there is none.
struct MeasureOutcome {
    std::optional<double> value;
    std::optional<double> at;
    std::optional<std::int32_t> index;
    std::string error;
};

// One run's samples of the measured curve, and of a second curve where an
// entry takes one, with the parameters; what several entries share (the
// cycles, the edges, the averages) is found once.
class MeasureContext {
public:
    // `curve` holds the samples of the range (first..last); `name` is its
    // source text, for messages.
    MeasureContext(const CycleTrace& curve, std::string name, const MeasureParams& params);

    // The cycles' reference, or the dead times' partner; without one the
    // curve is its own reference.
    void SetOther(const CycleTrace& other, std::string name);
    // Cycles found already (a table measures many curves on one reference).
    void UseCycles(const Cycles& cycles);

    MeasureOutcome Measure(MeasureId id);

    const MeasureParams& Params() const { return params_; }
    const CycleTrace& Curve() const { return curve_; }
    const std::string& Name() const { return name_; }
    const std::optional<CycleTrace>& Other() const { return other_; }

    // Averages over the samples, |x| summed only when asked.
    const std::optional<AverageFigures>& Averages(bool withAbs);
    const Cycles& FoundCycles();
    // The figures of the curve's cycles; of the reference's, with its duty.
    const CycleSummary& CurveCycles();
    const std::vector<CycleFigures>& CurveCycleFigures();
    const CycleSummary& ReferenceCycles();
    const EdgeLevelsResult& Levels();
    const EdgeList& Edges();
    const EdgeLevelsResult& OtherLevels();
    const EdgeList& OtherEdges();
    const DeadTimes& Dead();
    // The margins of the curve's gain with the other's phase, over the
    // samples both hold from the curve's first to its last.
    const LoopMargins& Margins();

private:
    CycleTrace curve_;
    std::string name_;
    MeasureParams params_;
    std::optional<CycleTrace> other_;
    std::string otherName_;
    std::optional<std::optional<AverageFigures>> averages_;
    std::optional<Cycles> cycles_;
    std::optional<std::vector<CycleFigures>> curveFigures_;
    std::optional<CycleSummary> curveSummary_, referenceSummary_;
    std::optional<EdgeLevelsResult> levels_, otherLevels_;
    std::optional<EdgeList> edges_, otherEdges_;
    std::optional<DeadTimes> dead_;
    std::optional<LoopMargins> margins_;
};

// One entry of the catalogue.
struct MeasureEntry {
    MeasureId id;
    const char* key;      // its name on the command line and in Python: "cycle_avg"
    const char* caption;  // as lists and tables show it: "Cycle Avg"
    const char* title;    // as the measure window heads it
    MeasureUnit unit;
    unsigned takes;  // MeasureTakes
    MeasureOutcome (*compute)(MeasureContext&);
};

// The catalogue, in the order lists offer it.
std::span<const MeasureEntry> MeasureCatalogue();
const MeasureEntry& CatalogueEntry(MeasureId id);
// The entry named `key`, or null.
const MeasureEntry* FindMeasureEntry(std::string_view key);

// The unit of an entry's value for these units of X and of the curve ("V·s",
// "Hz"); empty where it has none or a part is unknown.
std::string MeasureUnitText(MeasureUnit unit, const std::string& xUnit, const std::string& yUnit);

// Samples that are all valid, X rising: what the scripts measure.
struct TimeSeries {
    const double* x = nullptr;
    const double* y = nullptr;
    std::size_t n = 0;
};

// The value at x, linear between samples (x within the samples).
double SeriesValueAt(const TimeSeries& s, double x);
// The three-point slope at x on uneven steps.
double SeriesSlopeAt(const TimeSeries& s, double x);
// A window figure (TimeAvg, TimeRms, Integral, WindowMin, WindowMax,
// PeakToPeak) over [x1, x2] within the samples, the values at the ends
// interpolated; MIN and MAX give the x where found.
MeasureOutcome SeriesWindowFigure(MeasureId id, const TimeSeries& s, double x1, double x2);

}  // namespace kurvex
