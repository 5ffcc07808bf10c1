#include "cli/CliCommands.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <limits>
#include <map>
#include <set>

#include "cli/CacheCommand.h"
#include "cli/CliSupport.h"
#include "cli/CommandTable.h"
#include "cli/CompletionCommand.h"
#include "cli/FftCommand.h"
#include "cli/MeasCommand.h"
#include "cli/MeasureCommand.h"
#include "cli/RenderCommand.h"
#include "cli/RunOptions.h"
#include "data/document/ResultFile.h"
#include "data/formats/BlockContainerFile.h"
#include "data/formats/MatFile.h"
#include "data/formats/RawFile.h"
#include "data/formats/SettingsDataFile.h"
#include "data/formats/TextWriter.h"
#include "data/model/ResultData.h"
#include "data/platform/NameText.h"
#include "data/platform/NumberText.h"
#include "data/platform/SafeFile.h"
#include "formula/FormulaVariable.h"
#include "graph/DisplayRecord.h"
#include "graph/DisplaySettingsFile.h"

namespace kurvex::cli {

namespace {

// `text` followed by blanks up to `width` characters (UTF-8 counted by
// character, not by byte).
std::string PadRight(const std::string& text, size_t width) {
    size_t chars = 0;
    for (char c : text) chars += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return chars >= width ? text : text + std::string(width - chars, ' ');
}

// The plot --plot names, from 0 (-1 when absent); 0 or the usage status.
int ParsePlot(Args& args, std::FILE* err, std::int32_t& plot) {
    plot = -1;
    if (!args.values.count("--plot")) return kExitOk;
    const std::string& text = args.values["--plot"];
    long long n = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), n);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size() || n < 1 ||
        n > std::numeric_limits<std::int32_t>::max())
        return Usage(err, "--plot wants a plot number from 1");
    plot = static_cast<std::int32_t>(n - 1);
    return kExitOk;
}

int Info(const std::vector<std::string>& argv, std::FILE* out, std::FILE* err) {
    Args args;
    if (const int status = StartCommand(Command("info"), argv, args, out, err); status >= 0)
        return status;
    if (args.positional.size() != 1) return Usage(err, "info needs exactly one FILE");
    std::int32_t plot = -1;
    if (const int status = ParsePlot(args, err, plot)) return status;
    const std::string& path = args.positional[0];
    CResultDataRef data;
    std::vector<RawPlot> plots;
    std::vector<std::string> notes;
    if (const int status = Load(path, data, err, nullptr, plot, &plots, &notes)) return status;

    const CResultData* d = data.Get();
    if (args.flags.count("--json")) {
        std::fprintf(
            out,
            "{\"file\": %s, \"rows\": %d, \"uniform_x\": %s, \"bad_points\": %s, \"variables\": [",
            JsonString(path).c_str(), d->RowCount(), d->UniformX() ? "true" : "false",
            d->BadPoints() ? "true" : "false");
        for (std::int32_t i = 0; i < d->VariableCount(); ++i) {
            const CResultVariable* v = d->Variable(i);
            std::fprintf(out, "%s{\"name\": %s, \"min\": %s, \"max\": %s", i ? ", " : "",
                         JsonString(v->Name()).c_str(), JsonNumber(v->Min()).c_str(),
                         JsonNumber(v->Max()).c_str());
            if (!v->Unit().empty())
                std::fprintf(out, ", \"unit\": %s", JsonString(v->Unit()).c_str());
            if (!v->Description().empty())
                std::fprintf(out, ", \"description\": %s", JsonString(v->Description()).c_str());
            std::fputs("}", out);
        }
        // Rows and variables are run 1's; every run's length follows.
        std::fputs("], \"runs\": [", out);
        for (std::int32_t k = 0; k < d->RunCount(); ++k)
            std::fprintf(out, "%s{\"name\": %s, \"rows\": %d}", k ? ", " : "",
                         JsonString(d->RunName(k)).c_str(), d->Run(k)->RowCount());
        std::fputs("]", out);
        if (!plots.empty()) {
            std::fprintf(out, ", \"plot\": %d, \"plots\": [", std::max(plot, 0) + 1);
            for (size_t k = 0; k < plots.size(); ++k) {
                std::fprintf(out,
                             "%s{\"name\": %s, \"complex\": %s, \"variables\": %d, \"points\": "
                             "%lld}",
                             k ? ", " : "", JsonString(plots[k].name).c_str(),
                             plots[k].complex ? "true" : "false", plots[k].variables,
                             static_cast<long long>(plots[k].points));
            }
            std::fputs("]", out);
        }
        if (!notes.empty()) {
            std::fputs(", \"notes\": [", out);
            for (size_t k = 0; k < notes.size(); ++k)
                std::fprintf(out, "%s%s", k ? ", " : "", JsonString(notes[k]).c_str());
            std::fputs("]", out);
        }
        std::fputs("}\n", out);
        return kExitOk;
    }
    std::fprintf(out, "file: %s\nrows: %d\nuniform_x: %s\nbad_points: %s\nvariables: %d\n",
                 DisplayName(path).c_str(), d->RowCount(), d->UniformX() ? "yes" : "no",
                 d->BadPoints() ? "yes" : "no", d->VariableCount());
    for (std::int32_t i = 0; i < d->VariableCount(); ++i) {
        const CResultVariable* v = d->Variable(i);
        const std::string desc =
            v->Description().empty() ? "" : "desc " + DisplayName(v->Description());
        if (v->Unit().empty() && desc.empty()) {
            std::fprintf(out, "  %s min %-18.10g max %.10g\n",
                         PadRight(DisplayName(v->Name()), 20).c_str(), v->Min(), v->Max());
        } else if (v->Unit().empty()) {
            std::fprintf(out, "  %s min %-18.10g max %-18.10g %s\n",
                         PadRight(DisplayName(v->Name()), 20).c_str(), v->Min(), v->Max(),
                         desc.c_str());
        } else {
            std::fprintf(out, "  %s min %-18.10g max %-18.10g unit %s%s%s\n",
                         PadRight(DisplayName(v->Name()), 20).c_str(), v->Min(), v->Max(),
                         DisplayName(v->Unit()).c_str(), desc.empty() ? "" : "  ", desc.c_str());
        }
    }
    if (d->RunCount() > 1) std::fprintf(out, "runs: %d\n", d->RunCount());
    for (std::int32_t k = 0; k < d->RunCount() && d->RunCount() > 1; ++k)
        std::fprintf(out, "  %d %s: %d rows\n", k + 1, DisplayName(d->RunName(k)).c_str(),
                     d->Run(k)->RowCount());
    if (!plots.empty()) std::fprintf(out, "plot: %d of %zu\n", std::max(plot, 0) + 1, plots.size());
    for (size_t k = 0; k < plots.size(); ++k) {
        std::fprintf(out, "  %zu %s: %s, %d variables, %lld points\n", k + 1,
                     DisplayName(plots[k].name).c_str(), plots[k].complex ? "complex" : "real",
                     plots[k].variables, static_cast<long long>(plots[k].points));
    }
    for (const std::string& note : notes)
        std::fprintf(out, "note: %s\n", DisplayName(note).c_str());
    return kExitOk;
}

// Output formats: the three text exports, the two binary files and MATLAB's.
enum class Format { Txt, Tsv, Csv, Kfd, Kfd7, Mat, Unknown };

Format FormatByName(const std::string& name) {
    if (name == "txt") return Format::Txt;
    if (name == "tsv") return Format::Tsv;
    if (name == "csv") return Format::Csv;
    if (name == "kfd") return Format::Kfd;
    if (name == "kfd7") return Format::Kfd7;
    if (name == "mat") return Format::Mat;
    return Format::Unknown;
}

Format FormatByExtension(const std::string& path) {
    std::string ext = std::filesystem::path(path).extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext == ".txt" || ext == ".fra") return Format::Txt;
    if (ext == ".tsv") return Format::Tsv;
    if (ext == ".csv") return Format::Csv;
    if (ext == ".kfd") return Format::Kfd;
    if (ext == ".mat") return Format::Mat;
    return Format::Unknown;
}

// The output format from --format or OUT's extension; 0 or a usage status.
int ChooseFormat(Args& args, const std::string& target, std::FILE* err, Format& format) {
    if (args.values.count("--format")) {
        format = FormatByName(args.values["--format"]);
        if (format == Format::Unknown)
            return Usage(err, "unknown format " + args.values["--format"]);
    } else if (target == "-") {
        format = Format::Txt;
    } else {
        format = FormatByExtension(target);
        if (format == Format::Unknown)
            return Usage(err, "cannot tell the format from " + target + "; use --format");
    }
    if (target == "-" && (format == Format::Kfd || format == Format::Kfd7 || format == Format::Mat))
        return Usage(err, "binary formats need an output file, not -");
    return kExitOk;
}

// Writes `data` (and, in the binary formats, `settings` when it holds any).
int WriteResult(const CResultDataRef& data, CIOBuffer& settings, Format format,
                const std::string& target, std::FILE* out, std::FILE* err) {
    StderrMessages messages(err);
    switch (format) {
        case Format::Kfd: {
            std::vector<CIOBuffer> streams;
            if (settings.Size() > 0) streams.push_back(settings);
            return WriteBlockContainer(data, target, nullptr, streams, messages) ? kExitOk
                                                                                 : kExitFailed;
        }
        case Format::Kfd7:
            // Without display settings the file ends after its data part.
            if (settings.Size() == 0) {
                return WriteOutput(target, out, err, [&](std::FILE* f) {
                    return WriteSettingsDataPart(data, f, nullptr);
                });
            }
            return SaveSettingsDataFile(target, data, nullptr, settings, messages) ? kExitOk
                                                                                   : kExitFailed;
        case Format::Mat:
            return WriteMatFile(*data.Get(), target, messages) ? kExitOk : kExitFailed;
        default: {
            const int mode = format == Format::Tsv   ? kExportTab
                             : format == Format::Csv ? kExportComma
                                                     : kExportFixedWidth;
            return WriteOutput(target, out, err,
                               [&](std::FILE* f) { return ExportDataSet(data, f, nullptr, mode); });
        }
    }
}

int Convert(const std::vector<std::string>& argv, std::FILE* out, std::FILE* err) {
    Args args;
    if (const int status = StartCommand(Command("convert"), argv, args, out, err); status >= 0)
        return status;
    if (args.positional.size() != 1) return Usage(err, "convert needs exactly one input file");
    if (!args.values.count("-o")) return Usage(err, "convert needs -o OUT");
    const std::string target = args.values["-o"];
    Format format = Format::Unknown;
    if (const int status = ChooseFormat(args, target, err, format)) return status;
    std::int32_t plot = -1;
    if (const int status = ParsePlot(args, err, plot)) return status;
    RunChoice choice;
    if (const int status = ParseRunChoice(args, err, choice)) return status;
    if (choice.all && target == "-") return Usage(err, "--runs needs an output file, not -");
    RunOptions runOptions;
    if (const int status = ParseRunOptions(args, err, runOptions)) return status;

    CResultDataRef data;
    CIOBuffer settings;
    std::vector<RawPlot> plots;
    if (const int status = Load(args.positional[0], data, err, &settings, plot, &plots))
        return status;
    if (const int status = ApplyRunOptions(runOptions, data, err)) return status;
    std::vector<SelectedRun> runs;
    if (const int status = SelectRuns(data, choice, args.positional[0], err, runs)) return status;
    if (settings.Size() == 0 && (format == Format::Kfd || format == Format::Kfd7)) {
        // A text file's layout lives in the .ini beside it: it goes along as a stream.
        std::vector<std::unique_ptr<CGraphCurve>> screens;
        StderrMessages messages(err);
        if (LoadDisplaySettings(screens, SettingsFilePath(args.positional[0]),
                                ScreenBasis{data, CharMetrics{}, nullptr}, messages)) {
            std::vector<const CGraphCurve*> view;
            for (const auto& s : screens) view.push_back(s.get());
            WriteDisplayStream(view, settings);
        }
    }
    if (!choice.all) {
        const int status = WriteResult(runs.front().data, settings, format, target, out, err);
        // A file holds one run: a sweep must not lose the others without a word.
        if (status == kExitOk && !args.values.count("--run") && data->RunCount() > 1)
            std::fprintf(err,
                         "kurvex-cli: %s holds %d runs: only run 1 was written (--run K writes "
                         "another, --runs every one)\n",
                         args.positional[0].c_str(), data->RunCount());
        return status;
    }
    for (const SelectedRun& run : runs) {
        const int status =
            WriteResult(run.data, settings, format, RunFileName(target, run.number), out, err);
        if (status != kExitOk) return status;
    }
    return kExitOk;
}

int Merge(const std::vector<std::string>& argv, std::FILE* out, std::FILE* err) {
    Args args;
    if (const int status = StartCommand(Command("merge"), argv, args, out, err); status >= 0)
        return status;
    if (args.positional.size() != 2) return Usage(err, "merge needs two input files A and B");
    if (!args.values.count("-o")) return Usage(err, "merge needs -o OUT");
    const std::string target = args.values["-o"];
    Format format = Format::Unknown;
    if (const int status = ChooseFormat(args, target, err, format)) return status;

    CResultDataRef a, b, merged;
    if (const int status = Load(args.positional[0], a, err)) return status;
    if (const int status = Load(args.positional[1], b, err)) return status;
    const std::string suffix =
        args.values.count("--suffix") ? args.values["--suffix"] : FileTitle(args.positional[1]);
    StderrMessages messages(err);
    if (!MergeDataSets(a, b, merged, suffix, messages)) {
        if (messages.Count() == 0)
            std::fprintf(err, "kurvex-cli: each file needs X, a variable and two rows to merge\n");
        return kExitFailed;
    }
    CIOBuffer none;
    return WriteResult(merged, none, format, target, out, err);
}

int Eval(const std::vector<std::string>& argv, std::FILE* out, std::FILE* err) {
    Args args;
    if (const int status = StartCommand(Command("eval"), argv, args, out, err); status >= 0)
        return status;
    if (args.positional.size() != 2) return Usage(err, "eval needs a FILE and a FORMULA");
    const std::string target = args.values.count("-o") ? args.values["-o"] : "-";
    RunChoice choice;
    if (const int status = ParseRunChoice(args, err, choice)) return status;
    RunOptions runOptions;
    if (const int status = ParseRunOptions(args, err, runOptions)) return status;

    CResultDataRef loaded;
    if (const int status = Load(args.positional[0], loaded, err)) return status;
    if (const int status = ApplyRunOptions(runOptions, loaded, err)) return status;
    std::vector<SelectedRun> runs;
    if (const int status = SelectRuns(loaded, choice, args.positional[0], err, runs)) return status;
    // Each run's table; with --runs under one header, each line led by its run.
    std::string text;
    for (const SelectedRun& run : runs) {
        const CResultDataRef& data = run.data;
        // Formulas need an X step; a sweep may hold a run of a single point.
        if (loaded->RunCount() > 1 && data->RowCount() < 2) {
            std::fprintf(err, "kurvex-cli: run %d holds fewer than two rows: no formula over it\n",
                         run.number);
            if (choice.all) continue;
            return kExitFailed;
        }
        const FormulaBuild build = BuildFormulaVariable(data, args.positional[1]);
        if (!build.variable) {
            std::fprintf(err, "error at %d: %s\n", build.error.position,
                         build.error.message.c_str());
            return kExitFailed;
        }
        const std::vector<const CResultVariable*> columns = {data->Variable(0),
                                                             build.variable.get()};
        const std::int32_t rows = data->RowCount();
        if (!choice.all) {
            return WriteOutput(target, out, err, [&](std::FILE* f) {
                return WriteDelimited(f, columns, rows, ",", "\r\n", false, 0);
            });
        }
        std::string table;
        if (Captured(
                [&](std::FILE* f) {
                    return WriteDelimited(f, columns, rows, ",", "\r\n", false, 0) ? kExitOk
                                                                                   : kExitFailed;
                },
                table) != kExitOk) {
            std::fprintf(err, "kurvex-cli: cannot write the output\n");
            return kExitFailed;
        }
        const std::string lead = std::to_string(run.number) + ",";
        for (size_t at = 0; at < table.size();) {
            size_t end = table.find('\n', at);
            end = end == std::string::npos ? table.size() : end + 1;
            if (at == 0) {
                if (text.empty()) text += "run," + table.substr(0, end);
            } else {
                text += lead + table.substr(at, end - at);
            }
            at = end;
        }
    }
    return WriteOutput(target, out, err, [&](std::FILE* f) {
        return std::fwrite(text.data(), 1, text.size(), f) == text.size();
    });
}

}  // namespace

int RunCli(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
    if (args.empty()) {
        std::fputs(ProgramHelp().c_str(), err);
        return kExitUsage;
    }
    const std::string& command = args[0];
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(ProgramHelp().c_str(), out);
        return kExitOk;
    }
    if (command == "--help-all") {
        std::fputs(HelpAll().c_str(), out);
        return kExitOk;
    }
    if (command == "--version") {
        std::fputs(VersionText().c_str(), out);
        return kExitOk;
    }
    if (command == "info") return Info(rest, out, err);
    if (command == "convert") return Convert(rest, out, err);
    if (command == "merge") return Merge(rest, out, err);
    if (command == "measure") return Measure(rest, out, err);
    if (command == "meas") return MeasScriptCommand(rest, out, err);
    if (command == "fft") return FftSpectra(rest, out, err);
    if (command == "eval") return Eval(rest, out, err);
    if (command == "render") return Render(rest, out, err);
    if (command == "cache") return Cache(rest, out, err);
    if (command == "completion") return Completion(rest, out, err);
    return Usage(err, "unknown command " + command);
}

}  // namespace kurvex::cli
