#include "cli/MeasureCommand.h"

#include <cmath>
#include <limits>
#include <optional>
#include <span>
#include <vector>

#include "analysis/LoopMargins.h"
#include "analysis/Measure.h"
#include "analysis/MeasureCatalogue.h"
#include "cli/CliSupport.h"
#include "cli/CommandTable.h"
#include "cli/ExitStatus.h"
#include "cli/Report.h"
#include "cli/RunOptions.h"
#include "data/platform/NameText.h"
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

// A sample the plain measurement found: where and what.
Report Show(const MeasureOutcome& e) {
    if (!e.value) return Report();
    return Report::Object()
        .Add("index", Report::Integer(*e.index))
        .Add("x", Report::Raw(*e.at))
        .Add("y", Report::Raw(*e.value));
}

std::string ShowText(const MeasureOutcome& e) {
    if (!e.value) return "-";
    return Format("index %d  x %.10g  y %.10g", *e.index, *e.at, *e.value);
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

// What the modes read from the command line.
struct ModeOptions {
    bool hasRange = false;
    double from = -std::numeric_limits<double>::infinity();
    double to = std::numeric_limits<double>::infinity();
    CycleRequest cycles;
    std::optional<double> low, high;
    bool json = false;

    MeasureParams Params() const { return {from, to, std::nullopt, cycles, low, high}; }
};

// The samples of curve i of the screen over the range, or all of them.
CycleTrace Trace(const RawCurve& curve, bool hasRange, double from, double to) {
    return hasRange ? TraceWithin(curve, from, to) : curve.trace;
}

// One run's answer: the tree the JSON form prints and the text form.
struct RunAnswer {
    Report report = Report::Object();
    std::string text;
};

Report EdgeItems(const std::vector<Edge>& edges) {
    Report list = Report::List();
    for (const Edge& e : edges)
        list.Append(
            Report::Object().Add("at", Report::Number(e.at)).Add("time", Report::Number(e.time)));
    return list;
}

std::string EdgeLines(const std::vector<Edge>& edges, const char* what) {
    std::string s;
    for (const Edge& e : edges)
        s += Format("%s: at %s  time %s\n", what, Number(e.at, false).c_str(),
                    Number(e.time, false).c_str());
    return s;
}

int Cycles(CGraphCurve& screen, const ModeOptions& o, RunAnswer& answer, std::FILE* err) {
    const RawCurve curve = RawCurveOf(screen, 0);
    const RawCurve ref = RawCurveOf(screen, screen.CurveCount() - 1);
    MeasureContext context(Trace(curve, o.hasRange, o.from, o.to), curve.name, o.Params());
    context.SetOther(Trace(ref, o.hasRange, o.from, o.to), ref.name);
    if (!context.FoundCycles().Ok()) {
        std::fprintf(err, "kurvex-cli: %s\n", context.FoundCycles().error.c_str());
        return kExitFailed;
    }
    const CycleSummary& s = context.CurveCycles();
    if (s.skipped > 0) {
        std::fprintf(err, "kurvex-cli: %d invalid samples inside the cycles were left out\n",
                     s.skipped);
    }
    Report& r = answer.report;
    r.Add("cycles", Report::Integer(s.cycles));
    std::string& text = answer.text;
    text = Format("cycles: %d\n", s.cycles);
    for (const auto& [key, id] : {std::pair{"period", MeasureId::Period},
                                  {"frequency", MeasureId::Frequency},
                                  {"duty", MeasureId::Duty},
                                  {"avg", MeasureId::CycleAvg},
                                  {"rms", MeasureId::CycleRms},
                                  {"min", MeasureId::CycleMin},
                                  {"max", MeasureId::CycleMax},
                                  {"ripple", MeasureId::Ripple}}) {
        const std::optional<double> v = context.Measure(id).value;
        r.Add(key, Report::Number(v));
        text += Format("%s: %s\n", key, Number(v, false).c_str());
    }
    Report perCycle = Report::List();
    const std::vector<CycleFigures>& figures = context.CurveCycleFigures();
    for (std::size_t i = 0; i < figures.size(); ++i) {
        const CycleFigures& f = figures[i];
        perCycle.Append(Report::Object()
                            .Add("start", Report::Number(f.start))
                            .Add("end", Report::Number(f.end))
                            .Add("avg", Report::Number(f.avg))
                            .Add("rms", Report::Number(f.rms))
                            .Add("min", Report::Number(f.min))
                            .Add("max", Report::Number(f.max)));
        text += Format("cycle %zu: start %s  end %s  avg %s  rms %s  min %s  max %s\n", i + 1,
                       Number(f.start, false).c_str(), Number(f.end, false).c_str(),
                       Number(f.avg, false).c_str(), Number(f.rms, false).c_str(),
                       Number(f.min, false).c_str(), Number(f.max, false).c_str());
    }
    r.Add("per_cycle", std::move(perCycle));
    return kExitOk;
}

// False after saying why the curve's (or the other's) edges cannot be found.
bool LevelsOk(const EdgeLevelsResult& levels, std::FILE* err) {
    if (levels.Ok()) return true;
    std::fprintf(err, "kurvex-cli: %s\n", levels.error.c_str());
    return false;
}

int Edges(CGraphCurve& screen, const ModeOptions& o, RunAnswer& answer, std::FILE* err) {
    const RawCurve curve = RawCurveOf(screen, 0);
    MeasureContext context(Trace(curve, o.hasRange, o.from, o.to), curve.name, o.Params());
    if (!LevelsOk(context.Levels(), err)) return kExitFailed;
    const EdgeList& e = context.Edges();
    const std::optional<double> rise = context.Measure(MeasureId::RiseTime).value;
    const std::optional<double> fall = context.Measure(MeasureId::FallTime).value;
    answer.report.Add("rise", EdgeItems(e.rise))
        .Add("fall", EdgeItems(e.fall))
        .Add("rise_mean", Report::Number(rise))
        .Add("fall_mean", Report::Number(fall));
    answer.text = Format("rises: %zu\nfalls: %zu\nrise_mean: %s\nfall_mean: %s\n", e.rise.size(),
                         e.fall.size(), Number(rise, false).c_str(), Number(fall, false).c_str()) +
                  EdgeLines(e.rise, "rise") + EdgeLines(e.fall, "fall");
    return kExitOk;
}

int Dead(CGraphCurve& screen, const ModeOptions& o, RunAnswer& answer, std::FILE* err) {
    const RawCurve a = RawCurveOf(screen, 0), b = RawCurveOf(screen, 1);
    MeasureContext context(Trace(a, o.hasRange, o.from, o.to), a.name, o.Params());
    context.SetOther(Trace(b, o.hasRange, o.from, o.to), b.name);
    if (!LevelsOk(context.Levels(), err) || !LevelsOk(context.OtherLevels(), err))
        return kExitFailed;
    const DeadTimes& d = context.Dead();
    const std::optional<double> ab = context.Measure(MeasureId::DeadTimeTo).value;
    const std::optional<double> ba = context.Measure(MeasureId::DeadTimeFrom).value;
    answer.report.Add("dead_ab", EdgeItems(d.ab))
        .Add("dead_ba", EdgeItems(d.ba))
        .Add("dead_ab_mean", Report::Number(ab))
        .Add("dead_ba_mean", Report::Number(ba));
    answer.text = Format("dead_ab_mean: %s\ndead_ba_mean: %s\n", Number(ab, false).c_str(),
                         Number(ba, false).c_str()) +
                  EdgeLines(d.ab, "dead_ab") + EdgeLines(d.ba, "dead_ba");
    return kExitOk;
}

// Frequencies as a list, or as text ("none" when empty).
Report FrequencyList(const std::vector<LoopCrossing>& crossings) {
    Report list = Report::List();
    for (const LoopCrossing& c : crossings) list.Append(Report::Number(c.frequency));
    return list;
}

std::string FrequencyText(const std::vector<LoopCrossing>& crossings) {
    std::string s;
    for (const LoopCrossing& c : crossings)
        s += (s.empty() ? "" : ", ") + Number(c.frequency, false);
    return s.empty() ? "none" : s + " Hz";
}

// A figure as text with its unit, "none" when it has no value.
std::string WithUnit(std::optional<double> v, const char* unit) {
    if (!v || !std::isfinite(*v)) return "none";
    return Number(v, false) + " " + unit;
}

// Curve 0 of the screen is the gain in dB, curve 1 the phase in degrees.
int Margins(CGraphCurve& screen, const ModeOptions& o, RunAnswer& answer, std::FILE* err) {
    const RawCurve gain = RawCurveOf(screen, 0), phase = RawCurveOf(screen, 1);
    CycleTrace g = gain.trace;
    if (o.hasRange) {
        // The samples whose X lies in the range, wherever X runs.
        const std::int32_t n = std::min(gain.trace.last, phase.trace.last) + 1;
        g.first = n;
        g.last = -1;
        for (std::int32_t i = 0; i < n; ++i) {
            if (!(gain.trace.x[i] >= o.from && gain.trace.x[i] <= o.to)) continue;
            g.first = std::min(g.first, i);
            g.last = i;
        }
    }
    MeasureContext context(g, gain.name, o.Params());
    context.SetOther(phase.trace, phase.name);
    const LoopMargins& m = context.Margins();
    if (!m.Ok()) {
        std::fprintf(err, "kurvex-cli: %s\n", m.error.c_str());
        return kExitFailed;
    }
    const auto figure = [&](MeasureId id) { return context.Measure(id).value; };
    answer.report.Add("gain_crossover", Report::Number(figure(MeasureId::GainCrossover)))
        .Add("phase_margin", Report::Number(figure(MeasureId::PhaseMargin)))
        .Add("phase_crossover", Report::Number(figure(MeasureId::PhaseCrossover)))
        .Add("gain_margin", Report::Number(figure(MeasureId::GainMargin)))
        .Add("bandwidth_3db", Report::Number(figure(MeasureId::Bandwidth)))
        .Add("peak", Report::Object()
                         .Add("frequency", Report::Number(m.peakFrequency))
                         .Add("gain", Report::Number(figure(MeasureId::PeakGain))))
        .Add("crossings", Report::Object()
                              .Add("gain", FrequencyList(m.gainCrossings))
                              .Add("phase", FrequencyList(m.phaseCrossings)));
    const std::string peak = m.peakGain && m.peakFrequency ? WithUnit(m.peakGain, "dB") + " at " +
                                                                 WithUnit(m.peakFrequency, "Hz")
                                                           : "none";
    answer.text = Format(
        "gain crossover: %s\nphase margin: %s\nphase crossover: %s\ngain margin: "
        "%s\nbandwidth (-3 dB): %s\npeak: %s\ngain crossings: %s\nphase crossings: %s\n",
        WithUnit(figure(MeasureId::GainCrossover), "Hz").c_str(),
        WithUnit(figure(MeasureId::PhaseMargin), "deg").c_str(),
        WithUnit(figure(MeasureId::PhaseCrossover), "Hz").c_str(),
        WithUnit(figure(MeasureId::GainMargin), "dB").c_str(),
        WithUnit(figure(MeasureId::Bandwidth), "Hz").c_str(), peak.c_str(),
        FrequencyText(m.gainCrossings).c_str(), FrequencyText(m.phaseCrossings).c_str());
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
    std::string ref;                           // --cycles: the reference curve
    std::string deadOther;                     // --dead B
    std::optional<std::string> phase;          // --margins
    std::vector<const MeasureEntry*> figures;  // --figure
    std::string with;                          // --with B: a figure's second curve
    ModeOptions mode;
    RunChoice choice;
    RunOptions runOptions;
};

// Reads --figure and --with into `req`; 0 or the usage status.
int ParseFigures(Args& args, std::FILE* err, MeasureRequest& req) {
    for (const std::string& key : args.lists["--figure"]) {
        const MeasureEntry* e = FindMeasureEntry(key);
        if (!e) {
            std::string keys;
            for (const MeasureEntry& k : MeasureCatalogue())
                if (!(k.takes & kTakesCursor))
                    keys += (keys.empty() ? "" : ", ") + std::string(k.key);
            return Usage(err, "unknown figure '" + key + "'; the figures are " + keys);
        }
        if (e->takes & kTakesCursor)
            return Usage(
                err, "--figure " + key + " reads a cursor of the viewer; use value_at with --at");
        req.figures.push_back(e);
    }
    const bool with = args.values.count("--with") > 0;
    if (req.figures.empty()) return with ? Usage(err, "--with goes with --figure") : 0;
    if (req.cycles || req.edges || req.dead || req.margins)
        return Usage(err, "--figure goes without --cycles, --edges, --dead and --margins");
    if (req.ats.size() > 1) return Usage(err, "--figure takes one --at");
    if (with) req.with = args.values["--with"];
    for (const MeasureEntry* e : req.figures) {
        if ((e->takes & kTakesX) && req.ats.empty())
            return Usage(err, std::string("--figure ") + e->key + " needs --at X");
        // Cycles may be their curve's own; dead times and loop margins are
        // between two curves.
        if ((e->takes & kTakesOther) && !(e->takes & kTakesCycleLevel) && !with)
            return Usage(err, std::string("--figure ") + e->key + " needs --with B");
    }
    return 0;
}

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
    if (const int status = ParseFigures(args, err, req)) return status;
    const bool figures = !req.figures.empty();
    if (int(req.cycles) + int(req.edges) + int(req.dead) + int(req.margins) > 1)
        return Usage(err, "--cycles, --edges, --dead and --margins go one at a time");
    if ((req.cycles || req.edges || req.dead || req.margins) && !req.ats.empty())
        return Usage(err, "--at goes with the plain measurement only");
    if (!req.margins && args.values.count("--phase"))
        return Usage(err, "--phase goes with --margins");
    if (args.values.count("--phase")) req.phase = args.values["--phase"];
    const bool aligned = args.lists.count("--align") > 0;
    for (const char* option : {"--ref", "--level", "--hysteresis"}) {
        // --level is also the level of --align.
        const bool allowed = req.cycles || (figures && std::string(option) != "--ref") ||
                             (aligned && std::string(option) == "--level");
        if (!allowed && args.values.count(option))
            return Usage(err, std::string(option) + " goes with --cycles");
    }
    for (const char* option : {"--low", "--high"}) {
        if (!req.edges && !req.dead && !figures && args.values.count(option))
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
    if (const int status = ParseRunOptions(args, err, req.runOptions, true)) return status;
    return std::nullopt;
}

// The plain measurement over the range.
void MeasurePlain(CGraphCurve& screen, const MeasureRequest& req, RunAnswer& answer) {
    screen.UpdateExtents();
    const CurveSamples s = SamplesOf(screen, 0);
    // Without a range every sample counts, wherever X runs.
    const SampleRange visible = req.mode.hasRange ? VisibleRange(s, req.mode.from, req.mode.to)
                                                  : SampleRange{0, s.count - 1};
    MeasureContext context(
        TraceOfSamples(s, visible.first,
                       visible.Empty() ? -1 : std::min(visible.last, s.yCount - 1)),
        req.name, req.mode.Params());
    const MeasureOutcome max = context.Measure(MeasureId::Max);
    const MeasureOutcome min = context.Measure(MeasureId::Min);
    // |x| first, so that one pass (or one read of a pyramid) gives all three.
    const std::optional<double> avgAbs = context.Measure(MeasureId::AvgAbs).value;
    const std::optional<double> avg = context.Measure(MeasureId::Avg).value;
    const std::optional<double> rms = context.Measure(MeasureId::Rms).value;
    const auto& averages = context.Averages(true);
    const int samples = averages ? averages->samples : 0;
    Report at = Report::List();
    std::string atText;
    for (double x : req.ats) {
        Report here = Report::List();
        atText += Format("at %.10g:", x);
        bool first = true;
        for (const XLocation& place : XPlaces(s, x, true)) {
            const std::optional<double> y = YAt(s, place);
            here.Append(Report::Number(y));
            atText += Format("%s %s", first ? "" : ",", Number(y, false).c_str());
            first = false;
        }
        at.Append(std::move(here));
        atText += '\n';
    }
    answer.report.Add("max", Show(max))
        .Add("min", Show(min))
        .Add("avg", Report::Number(avg))
        .Add("avg_abs", Report::Number(avgAbs))
        .Add("rms", Report::Number(rms))
        .Add("samples", Report::Integer(samples))
        .Add("at", std::move(at));
    answer.text = Format("max: %s\nmin: %s\navg: %s\navg_abs: %s\nrms: %s\nsamples: %d\n",
                         ShowText(max).c_str(), ShowText(min).c_str(), Number(avg, false).c_str(),
                         Number(avgAbs, false).c_str(), Number(rms, false).c_str(), samples) +
                  atText;
}

// The catalogue's figures of NAME over the range (and with B): one line
// "KEY: VALUE" each, " at X" where it was found, or why there is none.
int Figures(CGraphCurve& screen, const MeasureRequest& req, RunAnswer& answer) {
    const ModeOptions& o = req.mode;
    const RawCurve curve = RawCurveOf(screen, 0);
    MeasureParams params = o.Params();
    if (!req.ats.empty()) params.x = req.ats.front();
    MeasureContext ranged(TraceWithin(curve, o.from, o.to), curve.name, params);
    // A value at an X is read wherever the run has it, not in the range alone.
    MeasureContext whole(curve.trace, curve.name, params);
    if (screen.CurveCount() > 1) {
        const RawCurve other = RawCurveOf(screen, 1);
        ranged.SetOther(TraceWithin(other, o.from, o.to), other.name);
    }
    for (const MeasureEntry* e : req.figures) {
        const MeasureOutcome m = (e->takes & kTakesX ? whole : ranged).Measure(e->id);
        Report one = Report::Object();
        if (m.value) one.Add("value", Report::Number(m.value));
        if (m.at) one.Add("at", Report::Number(m.at));
        if (!m.value) one.Add("error", Report::Text(m.error));
        answer.report.Add(e->key, std::move(one));
        answer.text += std::string(e->key) + ": ";
        if (!m.value)
            answer.text += "- (" + m.error + ")\n";
        else
            answer.text += Number(m.value, false) +
                           (m.at ? "  at " + Number(m.at, false) : std::string()) + "\n";
    }
    return kExitOk;
}

// The measurement `req` asks for over one run.
int MeasureRun(const SelectedRun& run, const MeasureRequest& req, RunAnswer& answer,
               std::FILE* err) {
    const CResultDataRef& data = run.data;
    CGraphCurve screen;
    screen.SetData(data);
    if (const int status = AddNamedCurve(screen, data, req.name, err)) return status;
    if (!req.figures.empty()) {
        if (!req.with.empty())
            if (const int status = AddNamedCurve(screen, data, req.with, err)) return status;
        return Figures(screen, req, answer);
    }
    if (req.cycles) {
        if (const int status = AddNamedCurve(screen, data, req.ref, err)) return status;
        return Cycles(screen, req.mode, answer, err);
    }
    if (req.edges) return Edges(screen, req.mode, answer, err);
    if (req.margins) {
        if (const int status = AddPhaseCurve(screen, data, req.name, req.phase, err)) return status;
        return Margins(screen, req.mode, answer, err);
    }
    if (req.dead) {
        if (const int status = AddNamedCurve(screen, data, req.deadOther, err)) return status;
        return Dead(screen, req.mode, answer, err);
    }
    MeasurePlain(screen, req, answer);
    return kExitOk;
}

// Parses `argv`, reads the file (or takes `given`) and measures every run
// asked for: 0, or the exit status after saying why not (`ended` set when
// the command line itself ended the command, as --help does).
int Answers(const std::vector<std::string>& argv, std::FILE* out, std::FILE* err,
            const CResultDataRef* given, MeasureRequest& req,
            std::vector<std::pair<SelectedRun, RunAnswer>>& answers, bool& ended) {
    ended = false;
    if (const std::optional<int> status = ParseMeasure(argv, out, err, req)) {
        ended = true;
        return *status;
    }
    CResultDataRef loaded;
    if (given) {
        loaded = *given;
    } else if (const int status = Load(req.file, loaded, err)) {
        return status;
    }
    if (const int status = ApplyRunOptions(req.runOptions, loaded, err)) return status;
    std::vector<SelectedRun> runs;
    if (const int status = SelectRuns(loaded, req.choice, req.file, err, runs)) return status;
    for (const SelectedRun& run : runs) {
        RunAnswer answer;
        if (const int status = MeasureRun(run, req, answer, err)) return status;
        answers.emplace_back(run, std::move(answer));
        if (!req.choice.all) break;
    }
    return kExitOk;
}

// Several runs: one object per run, its number and name before its keys.
Report RunsReport(std::vector<std::pair<SelectedRun, RunAnswer>>& answers) {
    Report list = Report::List();
    for (auto& [run, answer] : answers) {
        Report one = Report::Object();
        one.Add("run", Report::Integer(run.number)).Add("name", Report::Text(run.name));
        for (auto& [key, value] : answer.report.members()) one.Add(key, value);
        list.Append(std::move(one));
    }
    return Report::Object().Add("runs", std::move(list));
}

}  // namespace

int Measure(const std::vector<std::string>& argv, std::FILE* out, std::FILE* err,
            const CResultDataRef* given) {
    MeasureRequest req;
    std::vector<std::pair<SelectedRun, RunAnswer>> answers;
    bool ended = false;
    if (const int status = Answers(argv, out, err, given, req, answers, ended); status || ended)
        return status;
    std::string printed;
    if (req.mode.json) {
        printed = (req.choice.all ? RunsReport(answers) : answers.front().second.report).Json();
        printed += '\n';
    } else if (!req.choice.all) {
        printed = answers.front().second.text;
    } else {
        for (const auto& [run, answer] : answers)
            printed +=
                Format("run %d: %s\n", run.number, DisplayName(run.name).c_str()) + answer.text;
    }
    std::fputs(printed.c_str(), out);
    return kExitOk;
}

int MeasureReport(const std::vector<std::string>& argv, std::FILE* err, const CResultDataRef* given,
                  Report& report) {
    MeasureRequest req;
    std::vector<std::pair<SelectedRun, RunAnswer>> answers;
    bool ended = false;
    if (const int status = Answers(argv, nullptr, err, given, req, answers, ended)) return status;
    if (ended) {
        std::fprintf(err, "kurvex-cli: measure printed its help instead of measuring\n");
        return kExitUsage;
    }
    report = req.choice.all ? RunsReport(answers) : std::move(answers.front().second.report);
    return kExitOk;
}

}  // namespace kurvex::cli
