#include "cli/RunOptions.h"

#include <algorithm>
#include <charconv>
#include <limits>

#include "cli/ExitStatus.h"
#include "data/document/RunFiles.h"
#include "data/model/Runs.h"
#include "data/platform/NameText.h"
#include "data/platform/NumberText.h"

namespace kurvex::cli {

namespace {

// Run number `text` (from 1) as an index from 0; false when it is none.
bool ParseRunNumber(const std::string& text, std::int32_t& run) {
    long long n = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), n);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size() || n < 1 ||
        n > std::numeric_limits<std::int32_t>::max())
        return false;
    run = static_cast<std::int32_t>(n - 1);
    return true;
}

std::string Quoted(const std::string& name) {
    return "\"" + DisplayName(name) + "\"";
}

}  // namespace

int ParseRunOptions(Args& args, std::FILE* err, RunOptions& options, bool levelShared) {
    options = RunOptions{};
    options.added = args.lists["--add-run"];
    auto run = [&](const char* option, const std::string& text, std::int32_t& k) {
        if (ParseRunNumber(text, k)) return true;
        Usage(err, std::string(option) + " wants a run number K from 1, not " + Quoted(text));
        return false;
    };
    auto number = [&](const char* option, const std::string& text, double& value) {
        if (ParseNumber(text, value)) return true;
        Usage(err, std::string(option) + " wants a number, not " + Quoted(text));
        return false;
    };
    // ParseArgs took these in whole groups: the sizes divide.
    const std::vector<std::string>& maps = args.lists["--map"];
    for (size_t i = 0; i + 2 < maps.size(); i += 3) {
        RunOptions::Map m{0, maps[i + 1], maps[i + 2]};
        if (!run("--map", maps[i], m.run)) return kExitUsage;
        if (m.to.empty()) return Usage(err, "--map wants a name TO, not an empty one");
        options.maps.push_back(std::move(m));
    }
    const std::vector<std::string>& shifts = args.lists["--shift"];
    for (size_t i = 0; i + 1 < shifts.size(); i += 2) {
        RunOptions::Shift s{};
        if (!run("--shift", shifts[i], s.run) || !number("--shift", shifts[i + 1], s.dx))
            return kExitUsage;
        options.shifts.push_back(s);
    }
    const std::vector<std::string>& scales = args.lists["--scale"];
    for (size_t i = 0; i + 2 < scales.size(); i += 3) {
        RunOptions::Scale s{0, scales[i + 1], 1.0};
        if (!run("--scale", scales[i], s.run) || !number("--scale", scales[i + 2], s.factor))
            return kExitUsage;
        // A factor of 0 would leave nothing of the variable to compare.
        if (s.factor == 0.0) return Usage(err, "--scale wants a factor other than 0");
        options.scales.push_back(std::move(s));
    }
    for (const std::string& text : args.lists["--align"]) {
        std::int32_t k = 0;
        if (!run("--align", text, k)) return kExitUsage;
        // Each delta is measured on the runs as they were: twice would shift twice.
        if (std::find(options.aligned.begin(), options.aligned.end(), k) == options.aligned.end())
            options.aligned.push_back(k);
    }

    AlignRequest& align = options.align;
    align.after = -std::numeric_limits<double>::infinity();
    if (options.aligned.empty()) {
        for (const char* option : {"--on", "--level", "--edge", "--after"}) {
            if (levelShared && std::string(option) == "--level") continue;
            if (args.values.count(option))
                return Usage(err, std::string(option) + " goes with --align");
        }
        return kExitOk;
    }
    if (!args.values.count("--on")) return Usage(err, "--align needs --on NAME");
    if (!args.values.count("--level")) return Usage(err, "--align needs --level L");
    align.name = args.values["--on"];
    if (!number("--level", args.values["--level"], align.level)) return kExitUsage;
    if (args.values.count("--after") && !number("--after", args.values["--after"], align.after))
        return kExitUsage;
    const std::string edge = args.values.count("--edge") ? args.values["--edge"] : "rise";
    if (edge != "rise" && edge != "fall")
        return Usage(err, "--edge wants rise or fall, not " + Quoted(edge));
    align.rising = edge == "rise";
    return kExitOk;
}

int ApplyRunOptions(const RunOptions& options, CResultDataRef& data, std::FILE* err,
                    std::vector<RunAdjust>* applied) {
    if (options.Empty()) return kExitOk;
    for (const std::string& path : options.added) {
        CResultDataRef more;
        if (const int status = Load(path, more, err)) return status;
        StderrMessages messages(err);
        if (!AppendRuns(data, more, FileTitle(path), path, messages)) {
            if (messages.Count() == 0)
                std::fprintf(err, "kurvex-cli: %s holds no variable to add as a run\n",
                             path.c_str());
            return kExitFailed;
        }
    }

    const std::int32_t count = data->RunCount();
    std::vector<std::pair<const char*, std::int32_t>> named;
    for (const RunOptions::Map& m : options.maps) named.emplace_back("--map", m.run);
    for (const RunOptions::Shift& s : options.shifts) named.emplace_back("--shift", s.run);
    for (const RunOptions::Scale& s : options.scales) named.emplace_back("--scale", s.run);
    for (const std::int32_t k : options.aligned) named.emplace_back("--align", k);
    for (const auto& [option, k] : named) {
        if (k >= count)
            return Usage(err, Format("%s %d: there is no run %d, the result holds %d run%s", option,
                                     k + 1, k + 1, count, count == 1 ? "" : "s"));
    }

    std::vector<RunAdjust> perRun(static_cast<size_t>(count));
    for (const RunOptions::Map& m : options.maps)
        perRun[static_cast<size_t>(m.run)].SetMap(m.from, m.to);
    for (const RunOptions::Shift& s : options.shifts)
        perRun[static_cast<size_t>(s.run)].shift += s.dx;
    for (const RunOptions::Scale& s : options.scales) {
        RunAdjust& a = perRun[static_cast<size_t>(s.run)];
        a.SetScale(s.name, a.ScaleOf(s.name) * s.factor);
    }
    for (std::int32_t k = 0; k < count; ++k) {
        const std::string why =
            RunAdjustError(*data->Run(k), perRun[static_cast<size_t>(k)], k + 1);
        if (!why.empty()) return Usage(err, why);
    }

    bool failed = false;
    CResultDataRef adjusted = AdjustRuns(data, perRun, &failed);
    if (!failed && !options.aligned.empty()) {
        const AlignRequest& request = options.align;
        for (const std::int32_t k : options.aligned) {
            for (const std::int32_t run : {std::int32_t{0}, k}) {
                if (RunVariable(*adjusted->Run(run), request.name) <= 0)
                    return Usage(err, Format("--on: run %d shows no variable %s", run + 1,
                                             Quoted(request.name).c_str()));
            }
            const AlignResult r = AlignOnEdge(*adjusted.Get(), k, 0, request);
            if (!r.ok) {
                std::fprintf(err, "kurvex-cli: --align %d: %s\n", k + 1, r.error.c_str());
                return kExitFailed;
            }
            perRun[static_cast<size_t>(k)].shift += r.delta;
        }
        // From the runs as read, so that each X is copied once.
        adjusted = AdjustRuns(data, perRun, &failed);
    }
    if (failed) {
        std::fprintf(err, "kurvex-cli: there is not enough memory to line the runs up\n");
        return kExitFailed;
    }
    data = adjusted;
    if (applied) *applied = std::move(perRun);
    return kExitOk;
}

}  // namespace kurvex::cli
