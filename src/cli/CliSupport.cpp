#include "cli/CliSupport.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <stdexcept>

#include "cli/ExitStatus.h"
#include "data/document/ResultFile.h"
#include "data/model/Runs.h"
#include "data/platform/NameText.h"
#include "data/platform/NumberText.h"
#include "data/platform/SafeFile.h"
#include "graph/AppOptions.h"

namespace kurvex::cli {

namespace {

bool LooksLikeOption(const std::string& a) {
    return a.size() >= 2 && a[0] == '-';
}

// How one option argument reads: its name, and its value when written inline.
struct OptionText {
    std::string name, value;
    bool inlineValue = false;
};

OptionText OptionOf(const std::string& a) {
    OptionText o{a, "", false};
    if (const size_t eq = a.find('='); a.rfind("--", 0) == 0 && eq != std::string::npos) {
        o.name = a.substr(0, eq);
        o.value = a.substr(eq + 1);
        o.inlineValue = true;
    }
    return o;
}

}  // namespace

bool ParseArgs(const std::vector<std::string>& args, const std::set<std::string>& flagNames,
               const std::set<std::string>& valueNames, Args& out, std::string& error, int anyPlace,
               const std::map<std::string, size_t>& valueCounts) {
    auto countOf = [&](const std::string& name) -> size_t {
        const auto it = valueCounts.find(name);
        return it == valueCounts.end() ? 1 : it->second;
    };
    // The index after the known option at i (with its values), or 0 when the
    // argument at i is no option of the command.
    auto skip = [&](size_t i) -> size_t {
        const OptionText o = OptionOf(args[i]);
        if (flagNames.count(o.name) && !o.inlineValue) return i + 1;
        if (valueNames.count(o.name)) return o.inlineValue ? i + 1 : i + 1 + countOf(o.name);
        return 0;
    };
    // Whether some argument from i on would become the next positional.
    auto canFill = [&](size_t i) {
        while (i < args.size()) {
            if (args[i] == "--") return i + 1 < args.size();
            if (!LooksLikeOption(args[i])) return true;
            const size_t next = skip(i);
            if (next == 0) return true;
            i = next;
        }
        return false;
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--") {
            out.positional.insert(out.positional.end(), args.begin() + static_cast<long>(i) + 1,
                                  args.end());
            break;
        }
        if (!LooksLikeOption(a)) {
            out.positional.push_back(a);
            continue;
        }
        if (anyPlace >= 0 && out.positional.size() == static_cast<size_t>(anyPlace)) {
            const size_t next = skip(i);
            if (next == 0 || !canFill(next)) {
                out.positional.push_back(a);
                continue;
            }
        }
        const OptionText o = OptionOf(a);
        if (flagNames.count(o.name) && !o.inlineValue) {
            out.flags.insert(o.name);
        } else if (valueNames.count(o.name) && countOf(o.name) > 1) {
            const size_t n = countOf(o.name);
            if (o.inlineValue) {
                error = "option " + o.name + " takes " + std::to_string(n) +
                        " values, each its own argument (no '=')";
                return false;
            }
            if (args.size() - i - 1 < n) {
                error = "option " + o.name + " needs " + std::to_string(n) + " values";
                return false;
            }
            std::vector<std::string>& list = out.lists[o.name];
            list.insert(list.end(), args.begin() + static_cast<long>(i) + 1,
                        args.begin() + static_cast<long>(i + n) + 1);
            i += n;
        } else if (valueNames.count(o.name)) {
            std::string value = o.value;
            if (!o.inlineValue) {
                if (i + 1 >= args.size()) {
                    error = "option " + o.name + " needs a value";
                    return false;
                }
                value = args[++i];
            }
            out.values[o.name] = value;
            out.lists[o.name].push_back(value);
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

std::string JsonString(std::string_view bytes) {
    const std::string text = DisplayName(bytes);
    std::string out = "\"";
    out.reserve(text.size() + 2);
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    out += Format("\\u%04x", c);
                } else if (c == 0xC2 && i + 1 < text.size() &&
                           static_cast<unsigned char>(text[i + 1]) < 0xA0) {
                    // U+0080-U+009F, the C1 controls.
                    out += Format("\\u%04x", static_cast<unsigned char>(text[++i]));
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out + "\"";
}

std::string JsonNumber(double v) {
    return std::isfinite(v) ? Format("%.17g", v) : "null";
}

int Usage(std::FILE* err, const std::string& what) {
    std::fprintf(err, "kurvex-cli: %s (see kurvex-cli --help)\n", what.c_str());
    return kExitUsage;
}

int RequireFile(const std::string& path, std::FILE* err) {
    std::error_code ec;
    if (std::filesystem::exists(path, ec)) return kExitOk;
    std::fprintf(err, "kurvex-cli: no such file: %s\n", path.c_str());
    return kExitUsage;
}

int Load(const std::string& path, CResultDataRef& data, std::FILE* err, CIOBuffer* settings,
         std::int32_t plot, std::vector<RawPlot>* plots, std::vector<std::string>* notes) {
    if (const int status = RequireFile(path, err)) return status;
    StderrMessages messages(err);
    LoadOptions options;
    options.showWarnings = false;  // info reports bad points itself
    options.plot = std::max(plot, 0);
    options.plotChosen = plot >= 0;
    options.plots = plots;
    options.notes = notes;
    options.cacheAboveBytes = CacheAboveBytes();
    if (LoadResultFile(path, data, settings, messages, options)) return kExitOk;
    if (messages.Count() == 0) {
        std::fprintf(err, "kurvex-cli: %s holds no data line\n", path.c_str());
    }
    return kExitFailed;
}

std::uint64_t CacheAboveBytes() {
    std::int64_t mb = AppOptions{}.cacheAboveMB;
    if (const char* given = std::getenv("KURVEX_CACHE_ABOVE_MB")) {
        std::int64_t n = 0;
        const char* end = given + std::strlen(given);
        const auto r = std::from_chars(given, end, n);
        if (r.ec == std::errc() && r.ptr == end && n >= 0 && n <= kMaxCacheMB) mb = n;
    }
    return static_cast<std::uint64_t>(mb) << 20;
}

int ParseRunChoice(Args& args, std::FILE* err, RunChoice& choice) {
    choice = RunChoice{};
    choice.all = args.flags.count("--runs") > 0;
    if (!args.values.count("--run")) return kExitOk;
    if (choice.all) return Usage(err, "--run and --runs go one at a time");
    const std::string& text = args.values["--run"];
    long long n = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), n);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size() || n < 1 ||
        n > std::numeric_limits<std::int32_t>::max())
        return Usage(err, "--run wants a run number from 1");
    choice.run = static_cast<std::int32_t>(n - 1);
    return kExitOk;
}

int SelectRuns(const CResultDataRef& data, const RunChoice& choice, const std::string& path,
               std::FILE* err, std::vector<SelectedRun>& runs) {
    runs.clear();
    const std::int32_t count = data->RunCount();
    if (choice.run >= count) {
        return Usage(err, Format("there is no run %d: %s holds %d run%s", choice.run + 1,
                                 path.c_str(), count, count == 1 ? "" : "s"));
    }
    const std::int32_t first = choice.all ? 0 : choice.run;
    const std::int32_t last = choice.all ? count - 1 : choice.run;
    for (std::int32_t k = first; k <= last; ++k) {
        SelectedRun run{k + 1, data->RunName(k), data};
        // Run 1 is the data set itself, so one-run files go through unchanged.
        if (k > 0 && !CopyRun(*data.Get(), k, run.data)) {
            std::fprintf(err, "kurvex-cli: there is not enough memory for run %d\n", k + 1);
            return kExitFailed;
        }
        runs.push_back(std::move(run));
    }
    return kExitOk;
}

int Captured(const std::function<int(std::FILE*)>& work, std::string& text) {
    char* buffer = nullptr;
    size_t size = 0;
    std::FILE* f = open_memstream(&buffer, &size);
    if (!f) return kExitFailed;
    const int status = work(f);
    std::fclose(f);
    text.assign(buffer, size);
    std::free(buffer);
    return status;
}

int PrintPerRun(const std::vector<SelectedRun>& runs, bool all, bool json, std::FILE* out,
                const std::function<int(const SelectedRun&, std::FILE*)>& work) {
    if (!all) return work(runs.front(), out);
    std::string printed;
    for (const SelectedRun& run : runs) {
        std::string text;
        if (const int status = Captured([&](std::FILE* f) { return work(run, f); }, text))
            return status;
        if (!json) {
            printed += Format("run %d: %s\n", run.number, DisplayName(run.name).c_str()) + text;
            continue;
        }
        // One run's answer is one object and a line end: its keys follow ours.
        while (!text.empty() && (text.back() == '\n' || text.back() == '}')) {
            const bool brace = text.back() == '}';
            text.pop_back();
            if (brace) break;
        }
        const std::string keys = text.size() > 1 ? ", " + text.substr(1) : std::string();
        printed += Format("%s{\"run\": %d, \"name\": %s", printed.empty() ? "" : ", ", run.number,
                          JsonString(run.name).c_str()) +
                   keys + "}";
    }
    if (json) printed = "{\"runs\": [" + printed + "]}\n";
    std::fputs(printed.c_str(), out);
    return kExitOk;
}

std::string RunFileName(const std::string& path, std::int32_t number) {
    return RunFilePath(path, number);
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
