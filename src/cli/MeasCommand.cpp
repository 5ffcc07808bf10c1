#include "cli/MeasCommand.h"

#include <cmath>
#include <filesystem>
#include <optional>

#include "analysis/MeasScript.h"
#include "analysis/MeasSource.h"
#include "cli/CliSupport.h"
#include "cli/CommandTable.h"
#include "cli/ExitStatus.h"
#include "cli/RunOptions.h"
#include "data/platform/NameText.h"
#include "data/platform/NumberText.h"

namespace kurvex::cli {

namespace {

// What every statement gave in one run.
struct RunValues {
    std::int32_t number = 1;  // from 1
    std::string name;
    std::vector<MeasValue> values;
};

// The kinds that name the x where they found their value.
bool HasAt(MeasKind kind) {
    switch (kind) {
        case MeasKind::Min:
        case MeasKind::Max:
        case MeasKind::FindAt:
        case MeasKind::FindWhen:
        case MeasKind::When:
        case MeasKind::DerivAt:
        case MeasKind::DerivWhen:
            return true;
        default:
            return false;
    }
}

// A value as ngspice prints it; empty for none.
std::string Sci(const std::optional<double>& v) {
    return v ? Format("%e", *v) : std::string();
}

std::string OneRunText(const MeasScript& script, const RunValues& run) {
    std::string s;
    for (std::size_t i = 0; i < script.statements.size(); ++i) {
        const std::string& name = script.statements[i].name;
        const MeasValue& v = run.values[i];
        if (!v.Ok()) {
            s += name + ": failed: " + v.error + "\n";
            continue;
        }
        s += name + " = " + Format("%e", v.value.value_or(NAN));
        if (v.at) s += " at= " + Sci(v.at);
        if (v.trig || v.targ) s += " targ= " + Sci(v.targ) + " trig= " + Sci(v.trig);
        s += "\n";
    }
    return s;
}

// Per statement a block with a line per run, separated by an empty line.
std::string RunsText(const MeasScript& script, const std::vector<RunValues>& runs) {
    std::string s;
    for (std::size_t i = 0; i < script.statements.size(); ++i) {
        const MeasStatement& st = script.statements[i];
        const bool at = HasAt(st.kind), trigTarg = st.kind == MeasKind::TrigTarg;
        if (i) s += "\n";
        s += "Measurement: " + st.name + "\nrun\tname\tvalue";
        s += at ? "\tat" : trigTarg ? "\ttrig\ttarg" : "";
        s += "\n";
        for (const RunValues& run : runs) {
            const MeasValue& v = run.values[i];
            s += std::to_string(run.number) + "\t" + DisplayName(run.name) + "\t";
            s += v.Ok() ? Sci(v.value) : "failed: " + v.error;
            if (at) s += "\t" + (v.Ok() ? Sci(v.at) : "");
            if (trigTarg)
                s += "\t" + (v.Ok() ? Sci(v.trig) : "") + "\t" + (v.Ok() ? Sci(v.targ) : "");
            s += "\n";
        }
    }
    return s;
}

std::string CsvCell(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

std::string Csv(const MeasScript& script, const std::vector<RunValues>& runs) {
    std::string s = "run,name";
    for (const MeasStatement& st : script.statements) s += "," + CsvCell(st.name);
    s += "\r\n";
    for (const RunValues& run : runs) {
        s += std::to_string(run.number) + "," + CsvCell(DisplayName(run.name));
        for (const MeasValue& v : run.values) {
            s += ",";
            if (v.Ok() && v.value && std::isfinite(*v.value)) s += Format("%.17g", *v.value);
        }
        s += "\r\n";
    }
    return s;
}

std::string Json(const MeasScript& script, const std::vector<RunValues>& runs) {
    std::string s = "{\"runs\": [";
    for (std::size_t r = 0; r < runs.size(); ++r) {
        const RunValues& run = runs[r];
        s += Format("%s{\"run\": %d, \"name\": ", r ? ", " : "", run.number) +
             JsonString(run.name) + ", \"measures\": {";
        for (std::size_t i = 0; i < script.statements.size(); ++i) {
            const MeasValue& v = run.values[i];
            std::string keys;
            auto add = [&](const char* key, const std::string& value) {
                keys += (keys.empty() ? "\"" : ", \"") + std::string(key) + "\": " + value;
            };
            if (!v.Ok()) {
                add("error", JsonString(v.error));
            } else {
                if (v.value) add("value", JsonNumber(*v.value));
                if (v.at) add("at", JsonNumber(*v.at));
                if (v.trig) add("trig", JsonNumber(*v.trig));
                if (v.targ) add("targ", JsonNumber(*v.targ));
            }
            s += (i ? ", " : "") + JsonString(script.statements[i].name) + ": {" + keys + "}";
        }
        s += "}}";
    }
    return s + "]}\n";
}

}  // namespace

int MeasScriptCommand(const std::vector<std::string>& argv, std::FILE* out, std::FILE* err) {
    Args args;
    if (const int status = StartCommand(Command("meas"), argv, args, out, err); status >= 0)
        return status;
    if (args.positional.size() != 2) return Usage(err, "meas needs a FILE and a SCRIPT");
    const bool json = args.flags.count("--json") > 0, csv = args.flags.count("--csv") > 0;
    if (json && csv) return Usage(err, "--json and --csv go one at a time");
    RunChoice choice;
    if (const int status = ParseRunChoice(args, err, choice)) return status;
    RunOptions runOptions;
    if (const int status = ParseRunOptions(args, err, runOptions)) return status;
    const std::string target = args.values.count("-o") ? args.values["-o"] : "-";
    const std::string& file = args.positional[0];
    const std::string& scriptPath = args.positional[1];
    if (RequireFile(file, err) || RequireFile(scriptPath, err)) return kExitUsage;

    // The whole script is checked before anything is read or measured.
    std::vector<MeasSourceLine> lines;
    std::string error;
    if (!ReadMeasSource(scriptPath, lines, error)) {
        std::fprintf(err, "kurvex-cli: %s\n", error.c_str());
        return kExitFailed;
    }
    MeasScript script;
    MeasSyntaxError syntax;
    if (!ParseMeasScript(lines, script, syntax)) {
        std::fprintf(err, "%s:%d:%d: %s\n", scriptPath.c_str(), syntax.line, syntax.column,
                     syntax.message.c_str());
        return kExitFailed;
    }
    for (const MeasUnsupported& u : script.unsupported) {
        std::fprintf(err, "%s:%d: %s: not supported: %s\n", scriptPath.c_str(), u.line,
                     u.name.c_str(), u.reason.c_str());
    }

    CResultDataRef loaded;
    if (const int status = Load(file, loaded, err)) return status;
    if (const int status = ApplyRunOptions(runOptions, loaded, err)) return status;
    const std::int32_t count = loaded->RunCount();
    if (choice.run >= count) {
        return Usage(err, Format("there is no run %d: %s holds %d run%s", choice.run + 1,
                                 file.c_str(), count, count == 1 ? "" : "s"));
    }
    std::vector<RunValues> runs;
    const std::int32_t first = choice.all ? 0 : choice.run;
    const std::int32_t last = choice.all ? count - 1 : choice.run;
    for (std::int32_t k = first; k <= last; ++k) {
        RunValues run{k + 1, loaded->RunName(k), EvaluateMeasScript(script, loaded, k)};
        MeasValue missing;
        missing.error = "not measured";
        run.values.resize(script.statements.size(), missing);
        runs.push_back(std::move(run));
    }

    const std::string text = json         ? Json(script, runs)
                             : csv        ? Csv(script, runs)
                             : choice.all ? RunsText(script, runs)
                                          : OneRunText(script, runs.front());
    return WriteOutput(target, out, err, [&](std::FILE* f) {
        return std::fwrite(text.data(), 1, text.size(), f) == text.size();
    });
}

}  // namespace kurvex::cli
