#include "cli/FftCommand.h"

#include <cmath>
#include <filesystem>

#include "analysis/FftPlan.h"
#include "analysis/SpectrumExport.h"
#include "cli/CliCommands.h"
#include "cli/CliSupport.h"

namespace kurvex::cli {

namespace {

const char kFftUsage[] =
    "Usage: kurvex-cli fft FILE [--var NAME]... [--from X0 --to X1] -o OUT\n"
    "\n"
    "Amplitude spectra of the named variables (all after X when none is named)\n"
    "over [X0, X1] (all of X by default), resampled onto a uniform grid as the\n"
    "viewer's frequency display does. OUT's extension picks the format: .fft\n"
    "(fixed-width with a header the reader skips), .txt (tab-separated) or .csv;\n"
    "each has the order column from 1 and the frequency column first.\n";

int FormatOf(const std::string& path) {
    std::string ext = std::filesystem::path(path).extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext == ".fft") return kSpectrumFftFile;
    if (ext == ".txt" || ext == ".tsv") return kSpectrumTab;
    if (ext == ".csv") return kSpectrumComma;
    return 0;
}

}  // namespace

int FftSpectra(const std::vector<std::string>& argv, std::FILE* out, std::FILE* err) {
    Args args;
    std::string error;
    if (!ParseArgs(argv, {"--help", "-h"}, {"-o", "--var", "--from", "--to"}, args, error))
        return Usage(err, error);
    if (args.flags.count("--help") || args.flags.count("-h")) {
        std::fputs(kFftUsage, out);
        return kExitOk;
    }
    if (args.positional.size() != 1) return Usage(err, "fft needs exactly one FILE");
    if (!args.values.count("-o")) return Usage(err, "fft needs -o OUT");
    const std::string target = args.values["-o"];
    const int format = FormatOf(target);
    if (!format) return Usage(err, "OUT must end in .fft, .txt or .csv");
    bool hasFrom = false;
    double from = 0, to = 0;
    if (const int status = ParseRange(args, err, hasFrom, from, to)) return status;

    CResultDataRef data;
    if (const int status = Load(args.positional[0], data, err)) return status;
    const CResultData* d = data.Get();
    std::vector<std::int32_t> columns;
    for (const std::string& name : args.lists["--var"]) {
        const std::int32_t c = data.FindVariable(name.c_str());
        if (c < 1) {
            std::fprintf(err, "kurvex-cli: no variable named '%s' after X\n", name.c_str());
            return kExitFailed;
        }
        columns.push_back(c);
    }
    if (columns.empty()) {
        for (std::int32_t c = 1; c < d->VariableCount(); ++c) columns.push_back(c);
    }
    if (!hasFrom) {
        from = d->Variable(0)->Min();
        to = d->Variable(0)->Max();
    }
    FftPlan plan;
    if (columns.empty() || !MakeFftPlan(*d->Variable(0), d->RowCount(), from, to, plan)) {
        std::fprintf(err, "kurvex-cli: no spectrum can be made over %g to %g\n", from, to);
        return kExitFailed;
    }
    std::vector<RefPtr<CResultVariable>> spectra = {plan.frequency};
    for (std::int32_t c : columns) {
        const CResultVariable* y = d->Variable(c);
        spectra.push_back(
            ComputeSpectrum(plan, *d->Variable(0), *y, d->RowCount(), y->Name()).spectrum);
    }
    return WriteOutput(target, out, err, [&](std::FILE* f) {
        return WriteSpectra(f, format, plan.start, plan.end, spectra);
    });
}

}  // namespace kurvex::cli
