#include "cli/MeasureCommand.h"

#include <cmath>
#include <limits>
#include <optional>
#include <span>
#include <vector>

#include "analysis/Averages.h"
#include "analysis/Cycles.h"
#include "analysis/Edges.h"
#include "analysis/LoopMargins.h"
#include "analysis/Measure.h"
#include "cli/CliSupport.h"
#include "cli/CommandTable.h"
#include "cli/ExitStatus.h"
#include "data/platform/NumberText.h"
#include "graph/GraphCurve.h"

namespace kurvex::cli {

namespace {

std::string Number(std::optional<double> v, bool json) {
    if (!v || !std::isfinite(*v)) return json ? "null" : "-";
    return Format(json ? "%.17g" : "%.10g", *v);
}

std::string Number(double v, bool json) {
    return Number(std::optional<double>(v), json);
}

struct Extremum {
    std::int32_t index = -1;
    double x = 0, y = 0;
};

std::string Show(const std::optional<Extremum>& e, bool json) {
    if (!e) return json ? "null" : "-";
    if (json) return Format("{\"index\": %d, \"x\": %.17g, \"y\": %.17g}", e->index, e->x, e->y);
    return Format("index %d  x %.10g  y %.10g", e->index, e->x, e->y);
}

// Adds the curve `name` (a variable, else a formula) to `screen`; 0 or the
// exit status after saying why not.
int AddNamedCurve(CGraphCurve& screen, const CResultDataRef& data, const std::string& name,
                  std::FILE* err) {
    const std::int32_t column = data.FindVariable(name.c_str());
    CCurveEntry curve =
        column >= 0 ? CCurveEntry::ForColumn(data, column) : CCurveEntry::ForFormula(name);
    if (column < 0) {
        const CurveBindResult bound = curve.Bind(data);
        if (!bound.ok) {
            std::fprintf(err,
                         "kurvex-cli: '%s' is no variable of the file and no formula over them",
                         name.c_str());
            if (!bound.error.message.empty())
                std::fprintf(err, " (error at %d: %s)", bound.error.position,
                             bound.error.message.c_str());
            std::fputc('\n', err);
            return kExitFailed;
        }
    }
    screen.AddCurve(curve);
    return kExitOk;
}

// The samples of curve i of the screen over the range, or all of them.
CycleTrace Trace(const RawCurve& curve, bool hasRange, double from, double to) {
    return hasRange ? TraceWithin(curve, from, to) : curve.trace;
}

// A list of edges as JSON objects or text lines.
std::string EdgeItems(const std::vector<Edge>& edges, bool json, const char* what) {
    std::string s;
    for (std::size_t i = 0; i < edges.size(); ++i) {
        if (json) {
            s += Format("%s{\"at\": %s, \"time\": %s}", i ? ", " : "",
                        Number(edges[i].at, true).c_str(), Number(edges[i].time, true).c_str());
        } else {
            s += Format("%s: at %s  time %s\n", what, Number(edges[i].at, false).c_str(),
                        Number(edges[i].time, false).c_str());
        }
    }
    return s;
}

int PrintCycles(const std::vector<CycleFigures>& figures, const CycleSummary& s,
                const CycleSummary& reference, bool json, std::FILE* out, std::FILE* err) {
    if (s.skipped > 0) {
        std::fprintf(err, "kurvex-cli: %d invalid samples inside the cycles were left out\n",
                     s.skipped);
    }
    const char* format = json ? "{\"cycles\": %d, \"period\": %s, \"frequency\": %s, \"duty\": %s, "
                                "\"avg\": %s, \"rms\": %s, \"min\": %s, \"max\": %s, \"ripple\": "
                                "%s, \"per_cycle\": ["
                              : "cycles: %d\nperiod: %s\nfrequency: %s\nduty: %s\navg: %s\nrms: "
                                "%s\nmin: %s\nmax: %s\nripple: %s\n";
    std::fprintf(out, format, s.cycles, Number(s.period, json).c_str(),
                 Number(s.frequency, json).c_str(), Number(reference.duty, json).c_str(),
                 Number(s.avg, json).c_str(), Number(s.rms, json).c_str(),
                 Number(s.min, json).c_str(), Number(s.max, json).c_str(),
                 Number(s.ripple, json).c_str());
    for (std::size_t i = 0; i < figures.size(); ++i) {
        const CycleFigures& f = figures[i];
        if (json) {
            std::fprintf(out,
                         "%s{\"start\": %s, \"end\": %s, \"avg\": %s, \"rms\": %s, \"min\": %s, "
                         "\"max\": %s}",
                         i ? ", " : "", Number(f.start, true).c_str(), Number(f.end, true).c_str(),
                         Number(f.avg, true).c_str(), Number(f.rms, true).c_str(),
                         Number(f.min, true).c_str(), Number(f.max, true).c_str());
        } else {
            std::fprintf(out, "cycle %zu: start %s  end %s  avg %s  rms %s  min %s  max %s\n",
                         i + 1, Number(f.start, false).c_str(), Number(f.end, false).c_str(),
                         Number(f.avg, false).c_str(), Number(f.rms, false).c_str(),
                         Number(f.min, false).c_str(), Number(f.max, false).c_str());
        }
    }
    if (json) std::fputs("]}\n", out);
    return kExitOk;
}

// What the modes read from the command line.
struct ModeOptions {
    bool hasRange = false;
    double from = -std::numeric_limits<double>::infinity();
    double to = std::numeric_limits<double>::infinity();
    CycleRequest cycles;
    std::optional<double> low, high;
    bool json = false;
};

int Cycles(CGraphCurve& screen, const ModeOptions& o, std::FILE* out, std::FILE* err) {
    const RawCurve curve = RawCurveOf(screen, 0);
    const RawCurve ref = RawCurveOf(screen, screen.CurveCount() - 1);
    const CycleTrace refTrace = Trace(ref, o.hasRange, o.from, o.to);
    const kurvex::Cycles found = FindCycles(refTrace, ref.name, o.cycles, o.from, o.to);
    if (!found.Ok()) {
        std::fprintf(err, "kurvex-cli: %s\n", found.error.c_str());
        return kExitFailed;
    }
    const std::vector<CycleFigures> figures =
        FiguresPerCycle(Trace(curve, o.hasRange, o.from, o.to), found.bounds);
    const std::vector<CycleFigures> refFigures =
        FiguresPerCycle(refTrace, found.bounds, found.level.level);
    return PrintCycles(figures, SummariseCycles(figures), SummariseCycles(refFigures), o.json, out,
                       err);
}

// The edges of curve i over the range; false after saying why there are none.
bool EdgesOf(CGraphCurve& screen, std::int32_t i, const ModeOptions& o, EdgeList& edges,
             std::FILE* err) {
    const RawCurve curve = RawCurveOf(screen, i);
    const CycleTrace trace = Trace(curve, o.hasRange, o.from, o.to);
    const EdgeLevelsResult levels = EdgeLevelsOf(trace, curve.name, o.low, o.high);
    if (!levels.Ok()) {
        std::fprintf(err, "kurvex-cli: %s\n", levels.error.c_str());
        return false;
    }
    edges = FindEdges(trace, levels.levels);
    return true;
}

int Edges(CGraphCurve& screen, const ModeOptions& o, std::FILE* out, std::FILE* err) {
    EdgeList e;
    if (!EdgesOf(screen, 0, o, e, err)) return kExitFailed;
    if (o.json) {
        std::fprintf(
            out, "{\"rise\": [%s], \"fall\": [%s], \"rise_mean\": %s, \"fall_mean\": %s}\n",
            EdgeItems(e.rise, true, "").c_str(), EdgeItems(e.fall, true, "").c_str(),
            Number(MeanEdgeTime(e.rise), true).c_str(), Number(MeanEdgeTime(e.fall), true).c_str());
    } else {
        std::fprintf(out, "rises: %zu\nfalls: %zu\nrise_mean: %s\nfall_mean: %s\n%s%s",
                     e.rise.size(), e.fall.size(), Number(MeanEdgeTime(e.rise), false).c_str(),
                     Number(MeanEdgeTime(e.fall), false).c_str(),
                     EdgeItems(e.rise, false, "rise").c_str(),
                     EdgeItems(e.fall, false, "fall").c_str());
    }
    return kExitOk;
}

int Dead(CGraphCurve& screen, const ModeOptions& o, std::FILE* out, std::FILE* err) {
    EdgeList a, b;
    if (!EdgesOf(screen, 0, o, a, err) || !EdgesOf(screen, 1, o, b, err)) return kExitFailed;
    const DeadTimes d = FindDeadTimes(a, b);
    if (o.json) {
        std::fprintf(out,
                     "{\"dead_ab\": [%s], \"dead_ba\": [%s], \"dead_ab_mean\": %s, "
                     "\"dead_ba_mean\": %s}\n",
                     EdgeItems(d.ab, true, "").c_str(), EdgeItems(d.ba, true, "").c_str(),
                     Number(MeanEdgeTime(d.ab), true).c_str(),
                     Number(MeanEdgeTime(d.ba), true).c_str());
    } else {
        std::fprintf(
            out, "dead_ab_mean: %s\ndead_ba_mean: %s\n%s%s",
            Number(MeanEdgeTime(d.ab), false).c_str(), Number(MeanEdgeTime(d.ba), false).c_str(),
            EdgeItems(d.ab, false, "dead_ab").c_str(), EdgeItems(d.ba, false, "dead_ba").c_str());
    }
    return kExitOk;
}

// Frequencies as a JSON list, or as text ("none" when empty).
std::string FrequencyList(const std::vector<LoopCrossing>& crossings, bool json) {
    std::string s;
    for (const LoopCrossing& c : crossings)
        s += (s.empty() ? "" : ", ") + Number(c.frequency, json);
    if (json) return "[" + s + "]";
    return s.empty() ? "none" : s + " Hz";
}

// A figure as text with its unit, "none" when it has no value.
std::string WithUnit(std::optional<double> v, const char* unit) {
    if (!v || !std::isfinite(*v)) return "none";
    return Number(v, false) + " " + unit;
}

// Curve 0 of the screen is the gain in dB, curve 1 the phase in degrees.
int Margins(CGraphCurve& screen, const ModeOptions& o, std::FILE* out, std::FILE* err) {
    const RawCurve gain = RawCurveOf(screen, 0), phase = RawCurveOf(screen, 1);
    const std::int32_t n = std::min(gain.trace.last, phase.trace.last) + 1;
    const auto count = static_cast<std::size_t>(std::max(n, 0));
    const std::vector<std::uint8_t> allValid(count, kPointValid);
    const auto flags = [&](const std::uint8_t* f) {
        return std::span<const std::uint8_t>(f ? f : allValid.data(), count);
    };
    const auto values = [&](const double* v) { return std::span<const double>(v, count); };
    std::int32_t first = 0, last = n - 1;
    if (o.hasRange) {
        // The samples whose X lies in the range, wherever X runs.
        first = n;
        last = -1;
        for (std::int32_t i = 0; i < n; ++i) {
            if (!(gain.trace.x[i] >= o.from && gain.trace.x[i] <= o.to)) continue;
            first = std::min(first, i);
            last = i;
        }
    }
    const LoopMargins m = StabilityMargins(
        values(gain.trace.x), flags(gain.trace.xFlags), values(gain.trace.y),
        flags(gain.trace.yFlags), values(phase.trace.y), flags(phase.trace.yFlags), first, last);
    if (!m.Ok()) {
        std::fprintf(err, "kurvex-cli: %s\n", m.error.c_str());
        return kExitFailed;
    }
    if (o.json) {
        std::fprintf(out,
                     "{\"gain_crossover\": %s, \"phase_margin\": %s, \"phase_crossover\": %s, "
                     "\"gain_margin\": %s, \"bandwidth_3db\": %s, \"peak\": {\"frequency\": %s, "
                     "\"gain\": %s}, \"crossings\": {\"gain\": %s, \"phase\": %s}}\n",
                     Number(m.gainCrossover, true).c_str(), Number(m.phaseMargin, true).c_str(),
                     Number(m.phaseCrossover, true).c_str(), Number(m.gainMargin, true).c_str(),
                     Number(m.bandwidth, true).c_str(), Number(m.peakFrequency, true).c_str(),
                     Number(m.peakGain, true).c_str(), FrequencyList(m.gainCrossings, true).c_str(),
                     FrequencyList(m.phaseCrossings, true).c_str());
        return kExitOk;
    }
    const std::string peak = m.peakGain && m.peakFrequency ? WithUnit(m.peakGain, "dB") + " at " +
                                                                 WithUnit(m.peakFrequency, "Hz")
                                                           : "none";
    std::fprintf(out,
                 "gain crossover: %s\nphase margin: %s\nphase crossover: %s\ngain margin: "
                 "%s\nbandwidth (-3 dB): %s\npeak: %s\ngain crossings: %s\nphase crossings: %s\n",
                 WithUnit(m.gainCrossover, "Hz").c_str(), WithUnit(m.phaseMargin, "deg").c_str(),
                 WithUnit(m.phaseCrossover, "Hz").c_str(), WithUnit(m.gainMargin, "dB").c_str(),
                 WithUnit(m.bandwidth, "Hz").c_str(), peak.c_str(),
                 FrequencyList(m.gainCrossings, false).c_str(),
                 FrequencyList(m.phaseCrossings, false).c_str());
    return kExitOk;
}

// Adds the phase curve that goes with the gain `name`: `phase` when given,
// else the column PhaseColumnFor pairs with it; 0 or the exit status.
int AddPhaseCurve(CGraphCurve& screen, const CResultDataRef& data, const std::string& name,
                  const std::optional<std::string>& phase, std::FILE* err) {
    if (phase) return AddNamedCurve(screen, data, *phase, err);
    std::vector<std::string> names;
    for (std::int32_t i = 0; i < data->VariableCount(); ++i)
        names.push_back(data->Variable(i)->Name());
    const std::int32_t column =
        PhaseColumnFor(names, static_cast<std::int32_t>(data.FindVariable(name.c_str())));
    if (column < 0) {
        std::fprintf(err, "kurvex-cli: no phase column pairs with '%s'; name one with --phase\n",
                     name.c_str());
        return kExitFailed;
    }
    screen.AddCurve(CCurveEntry::ForColumn(data, column));
    return kExitOk;
}

// The number option `name` into `value` when given; false when it is no number.
bool OptionalNumber(Args& args, const char* name, std::optional<double>& value) {
    if (!args.values.count(name)) return true;
    double v;
    if (!ParseNumber(args.values[name], v)) return false;
    value = v;
    return true;
}

// The measure command line, checked.
struct MeasureRequest {
    std::string file, name;
    std::vector<double> ats;  // --at
    bool cycles = false, edges = false, dead = false, margins = false;
    std::string ref;                   // --cycles: the reference curve
    std::string deadOther;             // --dead B
    std::optional<std::string> phase;  // --margins
    ModeOptions mode;
    RunChoice choice;
};

// Parses and checks the command line into `req`; set with the exit status
// when it ends the command (help, or a usage error).
std::optional<int> ParseMeasure(const std::vector<std::string>& argv, std::FILE* out,
                                std::FILE* err, MeasureRequest& req) {
    Args args;
    if (const int status = StartCommand(Command("measure"), argv, args, out, err); status >= 0)
        return status;
    if (args.positional.size() != 2) return Usage(err, "measure needs a FILE and a NAME");
    req.file = args.positional[0];
    req.name = args.positional[1];
    bool hasFrom = false;
    double from = 0, to = 0;
    if (const int status = ParseRange(args, err, hasFrom, from, to)) return status;
    for (const std::string& a : args.lists["--at"]) {
        double x;
        if (!ParseNumber(a, x)) return Usage(err, "--at wants a number");
        req.ats.push_back(x);
    }
    req.cycles = args.flags.count("--cycles") > 0;
    req.edges = args.flags.count("--edges") > 0;
    req.dead = args.values.count("--dead") > 0;
    req.margins = args.flags.count("--margins") > 0;
    if (int(req.cycles) + int(req.edges) + int(req.dead) + int(req.margins) > 1)
        return Usage(err, "--cycles, --edges, --dead and --margins go one at a time");
    if ((req.cycles || req.edges || req.dead || req.margins) && !req.ats.empty())
        return Usage(err, "--at goes with the plain measurement only");
    if (!req.margins && args.values.count("--phase"))
        return Usage(err, "--phase goes with --margins");
    if (args.values.count("--phase")) req.phase = args.values["--phase"];
    for (const char* option : {"--ref", "--level", "--hysteresis"}) {
        if (!req.cycles && args.values.count(option))
            return Usage(err, std::string(option) + " goes with --cycles");
    }
    for (const char* option : {"--low", "--high"}) {
        if (!req.edges && !req.dead && args.values.count(option))
            return Usage(err, std::string(option) + " goes with --edges or --dead");
    }
    req.ref = args.values.count("--ref") ? args.values["--ref"] : req.name;
    if (req.dead) req.deadOther = args.values["--dead"];
    ModeOptions& mode = req.mode;
    mode.json = args.flags.count("--json") > 0;
    if (hasFrom) {
        mode.hasRange = true;
        mode.from = std::min(from, to);
        mode.to = std::max(from, to);
    }
    if (!OptionalNumber(args, "--level", mode.cycles.level) ||
        !OptionalNumber(args, "--hysteresis", mode.cycles.hysteresis) ||
        !OptionalNumber(args, "--low", mode.low) || !OptionalNumber(args, "--high", mode.high))
        return Usage(err, "--level, --hysteresis, --low and --high want numbers");
    if (mode.cycles.hysteresis && *mode.cycles.hysteresis < 0)
        return Usage(err, "--hysteresis must not be negative");
    if (const int status = ParseRunChoice(args, err, req.choice)) return status;
    return std::nullopt;
}

// The plain measurement over the range.
struct PlainFigures {
    std::optional<Extremum> max, min;
    std::optional<AverageFigures> averages;
    std::vector<std::vector<std::optional<double>>> at;  // the curve's values at each --at
};

PlainFigures MeasurePlain(CGraphCurve& screen, const MeasureRequest& req) {
    screen.UpdateExtents();
    const CurveSamples s = SamplesOf(screen, 0);
    // Without a range every sample counts, wherever X runs.
    const SampleRange visible = req.mode.hasRange ? VisibleRange(s, req.mode.from, req.mode.to)
                                                  : SampleRange{0, s.count - 1};
    const std::int32_t last = std::min(visible.last, s.yCount - 1);
    auto extremum = [&](bool largest) -> std::optional<Extremum> {
        if (visible.Empty() || last < visible.first) return std::nullopt;
        const auto i = FindExtremum(s.y, s.yFlags, visible.first, last, largest);
        if (!i) return std::nullopt;
        return Extremum{*i, s.x[*i], s.y[*i]};
    };
    PlainFigures f;
    f.max = extremum(true);
    f.min = extremum(false);
    f.averages = visible.Empty() ? std::nullopt : AveragesOver(s.y, visible.first, last);
    for (double x : req.ats) {
        std::vector<std::optional<double>> here;
        for (const XLocation& at : XPlaces(s, x, true)) here.push_back(YAt(s, at));
        f.at.push_back(here);
    }
    return f;
}

void PrintPlain(const PlainFigures& f, const std::vector<double>& ats, bool json, std::FILE* out) {
    // An average's text, or the no-value text when the range held no sample.
    auto figure = [&](double AverageFigures::*member) {
        const AverageFigures* a = f.averages ? &*f.averages : nullptr;
        return Number(a ? std::optional<double>(a->*member) : std::nullopt, json);
    };
    const int samples = f.averages ? f.averages->samples : 0;
    if (json) {
        std::fprintf(out,
                     "{\"max\": %s, \"min\": %s, \"avg\": %s, \"avg_abs\": %s, \"rms\": %s, "
                     "\"samples\": %d, \"at\": [",
                     Show(f.max, true).c_str(), Show(f.min, true).c_str(),
                     figure(&AverageFigures::mean).c_str(),
                     figure(&AverageFigures::meanAbs).c_str(), figure(&AverageFigures::rms).c_str(),
                     samples);
        for (size_t i = 0; i < f.at.size(); ++i) {
            std::fputs(i ? ", [" : "[", out);
            for (size_t j = 0; j < f.at[i].size(); ++j)
                std::fprintf(out, "%s%s", j ? ", " : "", Number(f.at[i][j], true).c_str());
            std::fputs("]", out);
        }
        std::fputs("]}\n", out);
        return;
    }
    std::fprintf(out, "max: %s\nmin: %s\navg: %s\navg_abs: %s\nrms: %s\nsamples: %d\n",
                 Show(f.max, false).c_str(), Show(f.min, false).c_str(),
                 figure(&AverageFigures::mean).c_str(), figure(&AverageFigures::meanAbs).c_str(),
                 figure(&AverageFigures::rms).c_str(), samples);
    for (size_t i = 0; i < f.at.size(); ++i) {
        std::fprintf(out, "at %.10g:", ats[i]);
        for (size_t j = 0; j < f.at[i].size(); ++j)
            std::fprintf(out, "%s %s", j ? "," : "", Number(f.at[i][j], false).c_str());
        std::fputc('\n', out);
    }
}

// The measurement `req` asks for over one run.
int MeasureRun(const SelectedRun& run, const MeasureRequest& req, std::FILE* out, std::FILE* err) {
    const CResultDataRef& data = run.data;
    CGraphCurve screen;
    screen.SetData(data);
    if (const int status = AddNamedCurve(screen, data, req.name, err)) return status;
    if (req.cycles) {
        if (const int status = AddNamedCurve(screen, data, req.ref, err)) return status;
        return Cycles(screen, req.mode, out, err);
    }
    if (req.edges) return Edges(screen, req.mode, out, err);
    if (req.margins) {
        if (const int status = AddPhaseCurve(screen, data, req.name, req.phase, err)) return status;
        return Margins(screen, req.mode, out, err);
    }
    if (req.dead) {
        if (const int status = AddNamedCurve(screen, data, req.deadOther, err)) return status;
        return Dead(screen, req.mode, out, err);
    }
    PrintPlain(MeasurePlain(screen, req), req.ats, req.mode.json, out);
    return kExitOk;
}

}  // namespace

int Measure(const std::vector<std::string>& argv, std::FILE* out, std::FILE* err,
            const CResultDataRef* given) {
    MeasureRequest req;
    if (const std::optional<int> ended = ParseMeasure(argv, out, err, req)) return *ended;
    CResultDataRef loaded;
    if (given) {
        loaded = *given;
    } else if (const int status = Load(req.file, loaded, err)) {
        return status;
    }
    std::vector<SelectedRun> runs;
    if (const int status = SelectRuns(loaded, req.choice, req.file, err, runs)) return status;
    return PrintPerRun(runs, req.choice.all, req.mode.json, out,
                       [&](const SelectedRun& run, std::FILE* out) -> int {
                           return MeasureRun(run, req, out, err);
                       });
}

}  // namespace kurvex::cli
