#include "cli/FftCommand.h"

#include <cmath>
#include <filesystem>
#include <optional>

#include "analysis/FftPlan.h"
#include "analysis/FftWindow.h"
#include "analysis/Harmonics.h"
#include "analysis/SpectrumExport.h"
#include "cli/CliSupport.h"
#include "cli/CommandTable.h"
#include "cli/ExitStatus.h"
#include "cli/RunOptions.h"
#include "data/platform/NumberText.h"

namespace kurvex::cli {

namespace {

int FormatOf(const std::string& path) {
    std::string ext = std::filesystem::path(path).extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext == ".fft") return kSpectrumFftFile;
    if (ext == ".txt" || ext == ".tsv") return kSpectrumTab;
    if (ext == ".csv") return kSpectrumComma;
    return 0;
}

std::string Number(std::optional<double> v, bool json) {
    if (!v || !std::isfinite(*v)) return json ? "null" : "-";
    return Format(json ? "%.17g" : "%.10g", *v);
}

void PrintHarmonics(const Harmonics& h, bool json, std::FILE* out) {
    if (json) {
        std::fprintf(out, "{\"fundamental\": %s, \"amplitude\": %s, \"thd\": %s, \"harmonics\": [",
                     Number(h.fundamental, true).c_str(), Number(h.amplitude, true).c_str(),
                     Number(h.thd, true).c_str());
        for (std::size_t i = 0; i < h.rows.size(); ++i) {
            const HarmonicRow& r = h.rows[i];
            std::fprintf(out,
                         "%s{\"order\": %d, \"frequency\": %s, \"amplitude\": %s, \"percent\": %s}",
                         i ? ", " : "", r.order, Number(r.frequency, true).c_str(),
                         Number(r.amplitude, true).c_str(), Number(r.percent, true).c_str());
        }
        std::fputs("]}\n", out);
        return;
    }
    std::fprintf(out, "fundamental: %s\namplitude: %s\nthd: %s\n",
                 Number(h.fundamental, false).c_str(), Number(h.amplitude, false).c_str(),
                 Number(h.thd, false).c_str());
    std::fputs("order\tfrequency\tamplitude\tpercent\n", out);
    for (const HarmonicRow& r : h.rows) {
        std::fprintf(out, "%d\t%s\t%s\t%s\n", r.order, Number(r.frequency, false).c_str(),
                     Number(r.amplitude, false).c_str(), Number(r.percent, false).c_str());
    }
}

// The fft command line, checked.
struct FftRequest {
    std::string file, target;
    int format = 0;
    bool thd = false, json = false;
    bool hasFrom = false;
    double from = 0, to = 0;
    FftWindow window = FftWindow::kRectangular;
    std::optional<double> fundamental;
    std::vector<std::string> vars;  // --var
    RunChoice choice;
    RunOptions runOptions;
};

// Parses and checks the command line into `req`; set with the exit status
// when it ends the command (help, or a usage error). `inMemory`: the spectra
// go to the caller, not to a file.
std::optional<int> ParseFft(const std::vector<std::string>& argv, bool inMemory, std::FILE* out,
                            std::FILE* err, FftRequest& req) {
    Args args;
    if (const int status = StartCommand(Command("fft"), argv, args, out, err); status >= 0)
        return status;
    if (args.positional.size() != 1) return Usage(err, "fft needs exactly one FILE");
    req.file = args.positional[0];
    req.thd = args.flags.count("--thd") > 0;
    req.json = args.flags.count("--json") > 0;
    const bool thd = req.thd;
    if (!thd && (req.json || args.values.count("--fundamental")))
        return Usage(err, "--json and --fundamental go with --thd");
    if (thd && args.lists["--var"].size() != 1) return Usage(err, "--thd needs exactly one --var");
    if (!thd && !inMemory && !args.values.count("-o")) return Usage(err, "fft needs -o OUT");
    req.target = args.values.count("-o") ? args.values["-o"] : "";
    if (thd && req.target == "-") return Usage(err, "with --thd the spectra need an output file");
    req.format = req.target.empty() ? 0 : FormatOf(req.target);
    if (!req.target.empty() && !req.format) return Usage(err, "OUT must end in .fft, .txt or .csv");
    if (const int status = ParseRange(args, err, req.hasFrom, req.from, req.to)) return status;
    if (args.values.count("--window")) {
        const auto w = FftWindowFromKey(args.values["--window"]);
        if (!w)
            return Usage(err, "unknown window " + args.values["--window"] +
                                  " (rect, hann, hamming, blackman-harris or flattop)");
        req.window = *w;
    }
    if (args.values.count("--fundamental")) {
        double f;
        if (!ParseNumber(args.values["--fundamental"], f))
            return Usage(err, "--fundamental wants a number");
        req.fundamental = f;
    }
    if (const int status = ParseRunChoice(args, err, req.choice)) return status;
    if (const int status = ParseRunOptions(args, err, req.runOptions)) return status;
    if (req.choice.all && req.target == "-")
        return Usage(err, "--runs needs an output file, not -");
    if (inMemory && (thd || req.choice.all || args.values.count("-o")))
        return Usage(err, "spectra in memory are of one run, without --thd or -o");
    req.vars = args.lists["--var"];
    return std::nullopt;
}

// The spectra of one run: the frequency first, then one per variable.
struct RunSpectra {
    FftPlan plan;
    std::vector<std::int32_t> columns;
    std::vector<RefPtr<CResultVariable>> spectra;
    bool allOk = true;  // false when an invalid sample lay in the range
};

// The spectra of the variables `req` names (all after X when none) over its
// range of `data`; 0 or the exit status.
int ComputeSpectra(const FftRequest& req, const CResultDataRef& data, RunSpectra& out,
                   std::FILE* err) {
    const CResultData* d = data.Get();
    for (const std::string& name : req.vars) {
        const std::int32_t c = data.FindVariable(name.c_str());
        if (c < 1) {
            std::fprintf(err, "kurvex-cli: no variable named '%s' after X\n", name.c_str());
            return kExitFailed;
        }
        out.columns.push_back(c);
    }
    if (out.columns.empty()) {
        for (std::int32_t c = 1; c < d->VariableCount(); ++c) out.columns.push_back(c);
    }
    double from = req.from, to = req.to;
    if (!req.hasFrom) {
        from = d->Variable(0)->Min();
        to = d->Variable(0)->Max();
    }
    FftPlan& plan = out.plan;
    plan.window = req.window;
    if (out.columns.empty() || !MakeFftPlan(*d->Variable(0), d->RowCount(), from, to, plan)) {
        std::fprintf(err, "kurvex-cli: no spectrum can be made over %g to %g\n", from, to);
        return kExitFailed;
    }
    out.spectra = {plan.frequency};
    for (std::int32_t c : out.columns) {
        const CResultVariable* y = d->Variable(c);
        SpectrumResult r = ComputeSpectrum(plan, *d->Variable(0), *y, d->RowCount(), y->Name());
        out.allOk &= r.ok;
        out.spectra.push_back(std::move(r.spectrum));
    }
    return kExitOk;
}

// Says that no spectrum of `name` can be made; the exit status.
int InvalidSampleInRange(const std::string& name, std::FILE* err) {
    std::fprintf(err,
                 "kurvex-cli: no spectrum of %s can be made: an invalid sample lies in the "
                 "range\n",
                 name.c_str());
    return kExitFailed;
}

// The harmonics of the first spectrum, printed; 0 or the exit status.
int PrintThd(const FftRequest& req, const CResultVariable& variable, const RunSpectra& s,
             std::FILE* out, std::FILE* err) {
    if (!s.allOk) return InvalidSampleInRange(variable.Name(), err);
    const CResultVariable& f = *s.spectra[0];
    const CResultVariable& a = *s.spectra[1];
    const Harmonics h =
        FindHarmonics({f.Values(), static_cast<std::size_t>(f.Capacity())},
                      {a.Values(), static_cast<std::size_t>(a.Capacity())}, req.fundamental);
    if (!h.Ok()) {
        std::fprintf(err, "kurvex-cli: %s: %s\n", variable.Name().c_str(), h.error.c_str());
        return kExitFailed;
    }
    PrintHarmonics(h, req.json, out);
    return kExitOk;
}

// The spectra of one run: into the caller's `spectraOut`, or written to the
// run's file, and with --thd the harmonics printed.
int FftRun(const FftRequest& req, const SelectedRun& run,
           std::vector<RefPtr<CResultVariable>>* spectraOut, std::FILE* out, std::FILE* err) {
    const CResultDataRef& data = run.data;
    // With --runs each run's spectra go into a file of their own.
    const std::string runTarget =
        req.choice.all && !req.target.empty() ? RunFileName(req.target, run.number) : req.target;
    RunSpectra s;
    if (const int status = ComputeSpectra(req, data, s, err)) return status;
    const CResultVariable* first = data.Get()->Variable(s.columns[0]);
    if (spectraOut) {
        if (!s.allOk) return InvalidSampleInRange(first->Name(), err);
        *spectraOut = std::move(s.spectra);
        return kExitOk;
    }
    if (!runTarget.empty()) {
        const int status = WriteOutput(runTarget, out, err, [&](std::FILE* f) {
            return WriteSpectra(f, req.format, s.plan.start, s.plan.end, s.spectra, req.window);
        });
        if (status != kExitOk || !req.thd) return status;
    }
    return PrintThd(req, *first, s, out, err);
}

}  // namespace

int FftSpectra(const std::vector<std::string>& argv, std::FILE* out, std::FILE* err,
               const CResultDataRef* given, std::vector<RefPtr<CResultVariable>>* spectraOut) {
    FftRequest req;
    if (const std::optional<int> ended = ParseFft(argv, spectraOut != nullptr, out, err, req))
        return *ended;
    CResultDataRef loaded;
    if (given) {
        loaded = *given;
    } else if (const int status = Load(req.file, loaded, err)) {
        return status;
    }
    if (const int status = ApplyRunOptions(req.runOptions, loaded, err)) return status;
    std::vector<SelectedRun> runs;
    if (const int status = SelectRuns(loaded, req.choice, req.file, err, runs)) return status;
    auto work = [&](const SelectedRun& run, std::FILE* out) -> int {
        return FftRun(req, run, spectraOut, out, err);
    };
    if (req.thd || !req.choice.all) return PrintPerRun(runs, req.choice.all, req.json, out, work);
    for (const SelectedRun& run : runs) {
        if (const int status = work(run, out)) return status;
    }
    return kExitOk;
}

}  // namespace kurvex::cli
