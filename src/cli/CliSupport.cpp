#include "cli/CliSupport.h"

#include <cmath>
#include <filesystem>
#include <stdexcept>

#include "cli/CliCommands.h"
#include "data/ResultFile.h"
#include "data/SafeFile.h"

namespace kurvex::cli {

bool ParseArgs(const std::vector<std::string>& args, const std::set<std::string>& flagNames,
               const std::set<std::string>& valueNames, Args& out, std::string& error) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.size() < 2 || a[0] != '-') {
            out.positional.push_back(a);
            continue;
        }
        std::string name = a;
        std::string value;
        bool inlineValue = false;
        if (const size_t eq = a.find('='); a.rfind("--", 0) == 0 && eq != std::string::npos) {
            name = a.substr(0, eq);
            value = a.substr(eq + 1);
            inlineValue = true;
        }
        if (flagNames.count(name) && !inlineValue) {
            out.flags.insert(name);
        } else if (valueNames.count(name)) {
            if (!inlineValue) {
                if (i + 1 >= args.size()) {
                    error = "option " + name + " needs a value";
                    return false;
                }
                value = args[++i];
            }
            out.values[name] = value;
            out.lists[name].push_back(value);
        } else {
            error = "unknown option " + a;
            return false;
        }
    }
    return true;
}

void StderrMessages::Show(const std::string& text, MessageIcon) {
    std::fprintf(err_, "%s\n", text.c_str());
    ++count_;
}

bool ParseNumber(const std::string& text, double& value) {
    try {
        size_t used = 0;
        value = std::stod(text, &used);
        return used == text.size() && std::isfinite(value);
    } catch (const std::exception&) {
        return false;
    }
}

int ParseRange(Args& args, std::FILE* err, bool& hasRange, double& from, double& to) {
    const bool hasFrom = args.values.count("--from") > 0, hasTo = args.values.count("--to") > 0;
    hasRange = hasFrom;
    if (hasFrom != hasTo) return Usage(err, "--from and --to go together");
    if (hasFrom &&
        (!ParseNumber(args.values["--from"], from) || !ParseNumber(args.values["--to"], to)))
        return Usage(err, "--from and --to want numbers");
    return kExitOk;
}

int Usage(std::FILE* err, const std::string& what) {
    std::fprintf(err, "kurvex-cli: %s (see kurvex-cli --help)\n", what.c_str());
    return kExitUsage;
}

int Load(const std::string& path, CResultDataRef& data, std::FILE* err, CIOBuffer* settings) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        std::fprintf(err, "kurvex-cli: no such file: %s\n", path.c_str());
        return kExitUsage;
    }
    StderrMessages messages(err);
    LoadOptions options;
    options.showWarnings = false;  // info reports bad points itself
    if (LoadResultFile(path, data, settings, messages, options)) return kExitOk;
    if (messages.Count() == 0) {
        std::fprintf(err, "kurvex-cli: %s holds no data line\n", path.c_str());
    }
    return kExitFailed;
}

int WriteOutput(const std::string& target, std::FILE* out, std::FILE* err,
                const std::function<bool(std::FILE*)>& write) {
    if (target == "-") {
        if (!write(out)) {
            std::fprintf(err, "kurvex-cli: cannot write to standard output\n");
            return kExitFailed;
        }
        return kExitOk;
    }
    SafeFile file;
    if (!file.Open(target) || !write(file.Stream()) || !file.Commit()) {
        std::fprintf(err, "kurvex-cli: %s\n",
                     file.Error().empty() ? "cannot write the output" : file.Error().c_str());
        return kExitFailed;
    }
    return kExitOk;
}

}  // namespace kurvex::cli
