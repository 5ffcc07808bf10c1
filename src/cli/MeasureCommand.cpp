#include "cli/MeasureCommand.h"

#include <cmath>
#include <optional>

#include "analysis/Averages.h"
#include "analysis/Measure.h"
#include "cli/CliCommands.h"
#include "cli/CliSupport.h"
#include "data/NumberText.h"
#include "graph/GraphCurve.h"

namespace kurvex::cli {

namespace {

const char kMeasureUsage[] =
    "Usage: kurvex-cli measure FILE NAME [--from X0 --to X1] [--at X]... [--json]\n"
    "\n"
    "Measures the curve NAME (a variable, any letter case, or a formula) over the\n"
    "range [X0, X1] of X (all of X by default): its maximum and minimum (sample\n"
    "index, x, y), average, average of |y|, RMS and the number of samples. Each\n"
    "--at X adds the curve's values where the X variable passes X.\n"
    "\n"
    "  --json   print one object: max, min ({index, x, y}), avg, avg_abs, rms,\n"
    "           samples and at (a list of lists); null where there is no value\n";

std::string Number(std::optional<double> v, bool json) {
    if (!v || !std::isfinite(*v)) return json ? "null" : "-";
    return Format(json ? "%.17g" : "%.10g", *v);
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

}  // namespace

int Measure(const std::vector<std::string>& argv, std::FILE* out, std::FILE* err) {
    Args args;
    std::string error;
    if (!ParseArgs(argv, {"--help", "-h", "--json"}, {"--from", "--to", "--at"}, args, error, 1))
        return Usage(err, error);
    if (args.flags.count("--help") || args.flags.count("-h")) {
        std::fputs(kMeasureUsage, out);
        return kExitOk;
    }
    if (args.positional.size() != 2) return Usage(err, "measure needs a FILE and a NAME");
    bool hasFrom = false;
    double from = 0, to = 0;
    if (const int status = ParseRange(args, err, hasFrom, from, to)) return status;
    std::vector<double> ats;
    for (const std::string& a : args.lists["--at"]) {
        double x;
        if (!ParseNumber(a, x)) return Usage(err, "--at wants a number");
        ats.push_back(x);
    }

    CResultDataRef data;
    if (const int status = Load(args.positional[0], data, err)) return status;
    const std::string& name = args.positional[1];
    CGraphCurve screen;
    screen.SetData(data);
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
    screen.UpdateExtents();
    const CurveSamples s = SamplesOf(screen, 0);
    // Without a range every sample counts, wherever X runs.
    const SampleRange visible = hasFrom ? VisibleRange(s, std::min(from, to), std::max(from, to))
                                        : SampleRange{0, s.count - 1};
    const std::int32_t last = std::min(visible.last, s.yCount - 1);
    auto extremum = [&](bool largest) -> std::optional<Extremum> {
        if (visible.Empty() || last < visible.first) return std::nullopt;
        const auto i = FindExtremum(s.y, s.yFlags, visible.first, last, largest);
        if (!i) return std::nullopt;
        return Extremum{*i, s.x[*i], s.y[*i]};
    };
    const auto mx = extremum(true), mn = extremum(false);
    const auto avg = visible.Empty() ? std::nullopt : AveragesOver(s.y, visible.first, last);
    std::vector<std::vector<std::optional<double>>> values;
    for (double x : ats) {
        std::vector<std::optional<double>> here;
        for (const XLocation& at : XPlaces(s, x, true)) here.push_back(YAt(s, at));
        values.push_back(here);
    }

    const bool json = args.flags.count("--json") > 0;
    // An average's text, or the no-value text when the range held no sample.
    auto figure = [&](double AverageFigures::*member) {
        return avg ? Number(*avg.*member, json) : Number(std::nullopt, json);
    };
    const int samples = avg ? avg->samples : 0;
    if (json) {
        std::fprintf(out,
                     "{\"max\": %s, \"min\": %s, \"avg\": %s, \"avg_abs\": %s, \"rms\": %s, "
                     "\"samples\": %d, \"at\": [",
                     Show(mx, true).c_str(), Show(mn, true).c_str(),
                     figure(&AverageFigures::mean).c_str(),
                     figure(&AverageFigures::meanAbs).c_str(), figure(&AverageFigures::rms).c_str(),
                     samples);
        for (size_t i = 0; i < values.size(); ++i) {
            std::fputs(i ? ", [" : "[", out);
            for (size_t j = 0; j < values[i].size(); ++j)
                std::fprintf(out, "%s%s", j ? ", " : "", Number(values[i][j], true).c_str());
            std::fputs("]", out);
        }
        std::fputs("]}\n", out);
        return kExitOk;
    }
    std::fprintf(out, "max: %s\nmin: %s\navg: %s\navg_abs: %s\nrms: %s\nsamples: %d\n",
                 Show(mx, false).c_str(), Show(mn, false).c_str(),
                 figure(&AverageFigures::mean).c_str(), figure(&AverageFigures::meanAbs).c_str(),
                 figure(&AverageFigures::rms).c_str(), samples);
    for (size_t i = 0; i < values.size(); ++i) {
        std::fprintf(out, "at %.10g:", ats[i]);
        for (size_t j = 0; j < values[i].size(); ++j)
            std::fprintf(out, "%s %s", j ? "," : "", Number(values[i][j], false).c_str());
        std::fputc('\n', out);
    }
    return kExitOk;
}

}  // namespace kurvex::cli
