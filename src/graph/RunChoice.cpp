#include "graph/RunChoice.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>
#include <unordered_set>

#include "data/model/Runs.h"
#include "data/platform/NameText.h"
#include "data/platform/NumberText.h"
#include "graph/AxisTicks.h"

namespace kurvex {

namespace {

constexpr const char* kRuns = "Runs";
// Names go one per key: any character a file title may hold can then occur.
constexpr const char* kHiddenCount = "HiddenCount";
// More hidden names than this are a damaged file, not a choice.
constexpr std::int32_t kMaxHidden = 100000;

std::string HiddenKey(std::int32_t i) {
    return "Hidden_" + std::to_string(i + 1);
}

// Keys of adjustment k (from 0) and its entry n: "Shift_1", "Scale_1_2".
std::string Key(const char* what, std::int32_t k, std::int32_t n = -1) {
    std::string key = std::string(what) + "_" + std::to_string(k + 1);
    return n < 0 ? key : key + "_" + std::to_string(n + 1);
}

constexpr std::int32_t kMaxAdjusted = 10000;
constexpr std::int32_t kMaxEntries = 10000;

void WriteAdjusted(const RunChoice& choice, IniFile& ini) {
    const std::int32_t old = std::clamp(ini.GetInt(kRuns, "AdjustedCount", 0), 0, kMaxAdjusted);
    const auto count = static_cast<std::int32_t>(choice.adjusted.size());
    if (count > 0 || old > 0) ini.Set(kRuns, "AdjustedCount", std::to_string(count));
    for (std::int32_t k = 0; k < std::max(count, old); ++k) {
        const bool now = k < count;
        const auto& [name, a] =
            now ? choice.adjusted[static_cast<size_t>(k)] : std::pair<std::string, RunAdjust>{};
        const std::int32_t oldMaps =
            std::clamp(ini.GetInt(kRuns, Key("MapCount", k), 0), 0, kMaxEntries);
        const std::int32_t oldScales =
            std::clamp(ini.GetInt(kRuns, Key("ScaleCount", k), 0), 0, kMaxEntries);
        // Keys of an older save are emptied rather than left to mislead a reader.
        const auto put = [&](const std::string& key, const std::string& value) {
            if (!value.empty() || ini.Find(kRuns, key)) ini.Set(kRuns, key, value);
        };
        put(Key("Adjusted", k), name);
        put(Key("Shift", k), a.shift != 0.0 ? ExactNumber(a.shift) : "");
        const auto maps = static_cast<std::int32_t>(a.maps.size());
        put(Key("MapCount", k), maps ? std::to_string(maps) : "");
        for (std::int32_t n = 0; n < std::max(maps, oldMaps); ++n) {
            const bool has = n < maps;
            put(Key("MapFrom", k, n), has ? a.maps[static_cast<size_t>(n)].first : "");
            put(Key("Map", k, n), has ? a.maps[static_cast<size_t>(n)].second : "");
        }
        const auto scales = static_cast<std::int32_t>(a.scales.size());
        put(Key("ScaleCount", k), scales ? std::to_string(scales) : "");
        for (std::int32_t n = 0; n < std::max(scales, oldScales); ++n) {
            const bool has = n < scales;
            put(Key("ScaleName", k, n), has ? a.scales[static_cast<size_t>(n)].first : "");
            put(Key("Scale", k, n),
                has ? ExactNumber(a.scales[static_cast<size_t>(n)].second) : "");
        }
    }
}

std::vector<std::pair<std::string, RunAdjust>> ReadAdjusted(const IniFile& ini) {
    std::vector<std::pair<std::string, RunAdjust>> out;
    const std::int32_t count = std::clamp(ini.GetInt(kRuns, "AdjustedCount", 0), 0, kMaxAdjusted);
    for (std::int32_t k = 0; k < count; ++k) {
        const std::string name = ini.GetString(kRuns, Key("Adjusted", k));
        if (name.empty()) continue;
        RunAdjust a;
        const std::optional<double> shift = ini.GetDouble(kRuns, Key("Shift", k));
        if (shift && std::isfinite(*shift)) a.shift = *shift;
        const std::int32_t maps =
            std::clamp(ini.GetInt(kRuns, Key("MapCount", k), 0), 0, kMaxEntries);
        for (std::int32_t n = 0; n < maps; ++n) {
            const std::string from = ini.GetString(kRuns, Key("MapFrom", k, n));
            const std::string to = ini.GetString(kRuns, Key("Map", k, n));
            if (!from.empty() && !to.empty()) a.SetMap(from, to);
        }
        const std::int32_t scales =
            std::clamp(ini.GetInt(kRuns, Key("ScaleCount", k), 0), 0, kMaxEntries);
        for (std::int32_t n = 0; n < scales; ++n) {
            const std::string var = ini.GetString(kRuns, Key("ScaleName", k, n));
            const std::optional<double> factor = ini.GetDouble(kRuns, Key("Scale", k, n));
            if (!var.empty() && factor && std::isfinite(*factor)) a.SetScale(var, *factor);
        }
        if (!a.IsDefault()) out.emplace_back(name, std::move(a));
    }
    return out;
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string LowerText(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = Lower(c);
    return out;
}

bool SameStep(const std::pair<std::string, std::string>& p, std::string_view filter) {
    const size_t eq = filter.find('=');
    if (eq == std::string_view::npos) return false;
    return LowerText(p.first) == LowerText(filter.substr(0, eq)) &&
           p.second == filter.substr(eq + 1);
}

}  // namespace

std::vector<std::string> RunChoiceNames(const CResultData& data) {
    std::vector<std::string> out;
    for (std::int32_t k = 0; k < data.RunCount(); ++k) {
        const std::string& name = data.RunName(k);
        out.push_back(name.empty() ? "Run " + std::to_string(k + 1) : name);
    }
    return out;
}

std::vector<std::pair<std::string, std::string>> StepParameters(std::string_view name) {
    std::vector<std::pair<std::string, std::string>> out;
    size_t at = 0;
    while (at < name.size()) {
        const size_t end = std::min(name.find_first_of(" \t", at), name.size());
        const std::string_view word = name.substr(at, end - at);
        const size_t eq = word.find('=');
        if (eq != std::string_view::npos && eq > 0 && eq + 1 < word.size())
            out.emplace_back(std::string(word.substr(0, eq)), std::string(word.substr(eq + 1)));
        at = end + 1;
    }
    return out;
}

std::vector<std::string> StepFilters(const std::vector<std::string>& names) {
    // Keys as first seen, each with its values in run order.
    std::vector<std::pair<std::string, std::vector<std::string>>> keys;
    // Sets keep ten thousand Monte Carlo runs from costing a search each.
    std::unordered_map<std::string, size_t> keyAt;
    std::unordered_set<std::string> seen;  // "key=value", key in lower case
    for (const std::string& name : names) {
        for (auto& [key, value] : StepParameters(name)) {
            const std::string lower = LowerText(key);
            auto [at, added] = keyAt.try_emplace(lower, keys.size());
            if (added) keys.push_back({key, {}});
            if (seen.insert(lower + "=" + value).second) keys[at->second].second.push_back(value);
        }
    }
    std::stable_sort(keys.begin(), keys.end(), [](const auto& a, const auto& b) {
        return LowerText(a.first) < LowerText(b.first);
    });
    std::vector<std::string> out;
    for (const auto& [key, values] : keys)
        for (const std::string& v : values) out.push_back(key + "=" + v);
    return out;
}

bool MatchesStepFilter(std::string_view name, std::string_view filter) {
    if (filter.empty()) return true;
    const auto params = StepParameters(name);
    return std::any_of(params.begin(), params.end(),
                       [&](const auto& p) { return SameStep(p, filter); });
}

bool RunChecked(const RunChoice& choice, const std::string& name) {
    return std::find(choice.hidden.begin(), choice.hidden.end(), name) == choice.hidden.end();
}

void SetRunChecked(RunChoice& choice, const std::string& name, bool checked) {
    auto& h = choice.hidden;
    h.erase(std::remove(h.begin(), h.end(), name), h.end());
    if (!checked) h.push_back(name);
}

void SetAllRunsChecked(RunChoice& choice, const std::vector<std::string>& names, bool checked) {
    const std::unordered_set<std::string> all(names.begin(), names.end());
    auto& h = choice.hidden;
    h.erase(std::remove_if(h.begin(), h.end(), [&](const std::string& n) { return all.count(n); }),
            h.end());
    if (!checked) h.insert(h.end(), names.begin(), names.end());
}

std::vector<bool> HiddenRunFlags(const RunChoice& choice, const std::vector<std::string>& names) {
    const bool filterApplies = std::any_of(names.begin(), names.end(), [&](const std::string& n) {
        return MatchesStepFilter(n, choice.filter);
    });
    const std::unordered_set<std::string> unchecked(choice.hidden.begin(), choice.hidden.end());
    std::vector<bool> out;
    out.reserve(names.size());
    for (const std::string& n : names)
        out.push_back(unchecked.count(n) > 0 ||
                      (filterApplies && !MatchesStepFilter(n, choice.filter)));
    return out;
}

std::int32_t MeasuredRunIndex(const RunChoice& choice, const std::vector<std::string>& names) {
    const std::vector<bool> hidden = HiddenRunFlags(choice, names);
    for (size_t k = 0; k < names.size(); ++k)
        if (!hidden[k] && names[k] == choice.measured) return static_cast<std::int32_t>(k);
    const auto shown = std::find(hidden.begin(), hidden.end(), false);
    return shown == hidden.end() ? 0 : static_cast<std::int32_t>(shown - hidden.begin());
}

namespace {

bool Hidden(const std::vector<bool>& hidden, std::int32_t k) {
    return static_cast<size_t>(k) < hidden.size() && hidden[static_cast<size_t>(k)];
}

std::string FileName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

bool SaveAsAsksForRuns(const std::vector<bool>& hidden, std::int32_t runCount) {
    std::int32_t shown = 0;
    for (std::int32_t k = 0; k < runCount; ++k) shown += Hidden(hidden, k) ? 0 : 1;
    return shown > 1;
}

std::vector<RunSave> RunsToSave(const std::vector<bool>& hidden, std::int32_t runCount,
                                std::int32_t measured, bool every, const std::string& path) {
    if (!every) return {RunSave{std::clamp(measured, 0, std::max(runCount - 1, 0)), path}};
    std::vector<RunSave> out;
    for (std::int32_t k = 0; k < runCount; ++k)
        if (!Hidden(hidden, k)) out.push_back(RunSave{k, RunFilePath(path, k + 1)});
    return out;
}

std::string RunsSavedText(const std::vector<RunSave>& saved,
                          const std::vector<std::string>& names) {
    const auto name = [&](std::int32_t k) {
        return static_cast<size_t>(k) < names.size() ? names[static_cast<size_t>(k)]
                                                     : "Run " + std::to_string(k + 1);
    };
    if (saved.size() == 1)
        return Format("Run %d (%s) was written to %s; the other runs were not.",
                      saved.front().run + 1, name(saved.front().run).c_str(),
                      FileName(saved.front().path).c_str());
    std::string text = Format("%zu runs were written, each to a file of its own:", saved.size());
    for (const RunSave& s : saved)
        text +=
            Format("\nrun %d (%s): %s", s.run + 1, name(s.run).c_str(), FileName(s.path).c_str());
    return text;
}

RunAdjust AdjustmentOf(const RunChoice& choice, const std::string& name) {
    for (const auto& [n, a] : choice.adjusted)
        if (n == name) return a;
    return {};
}

void SetAdjustment(RunChoice& choice, const std::string& name, const RunAdjust& adjust) {
    auto& all = choice.adjusted;
    const auto at =
        std::find_if(all.begin(), all.end(), [&](const auto& a) { return a.first == name; });
    if (adjust.IsDefault()) {
        if (at != all.end()) all.erase(at);
    } else if (at != all.end()) {
        at->second = adjust;
    } else {
        all.emplace_back(name, adjust);
    }
}

std::vector<RunAdjust> AdjustmentsByRun(const RunChoice& choice,
                                        const std::vector<std::string>& names) {
    std::vector<RunAdjust> out;
    if (choice.adjusted.empty()) return out;
    out.reserve(names.size());
    for (const std::string& n : names) out.push_back(AdjustmentOf(choice, n));
    return out;
}

std::string RunLegendText(const std::string& name, const RunAdjust& adjust,
                          const std::string& curve, const std::string& xName) {
    std::vector<std::string> parts;
    std::string head = name;
    if (const std::string* from = curve.empty() ? nullptr : adjust.SourceOf(curve)) {
        head = DisplayName(*from);
        parts.push_back(name);
    }
    if (adjust.shift != 0.0) parts.push_back(ShiftText(adjust.shift, XUnit(xName)));
    if (!curve.empty() && adjust.ScaleOf(curve) != 1.0)
        parts.push_back("\u00D7" + Format("%g", adjust.ScaleOf(curve)));
    if (parts.empty()) return head;
    std::string text = head + " [";
    for (size_t i = 0; i < parts.size(); ++i) text += (i ? ", " : "") + parts[i];
    return text + "]";
}

std::string ShiftText(double shift, const std::string& unit) {
    if (unit.empty()) return Format("%+.4g", shift);
    static const std::pair<double, const char*> kPrefixes[] = {
        {1e9, "G"},       {1e6, "M"},  {1e3, "k"},   {1.0, ""},   {1e-3, "m"},
        {1e-6, "\u00B5"}, {1e-9, "n"}, {1e-12, "p"}, {1e-15, "f"}};
    const double size = std::fabs(shift);
    for (const auto& [scale, prefix] : kPrefixes)
        if (size >= scale) return Format("%+.4g %s%s", shift / scale, prefix, unit.c_str());
    return Format("%+.4g %s", shift, unit.c_str());
}

std::string CompareRunsFormula(const std::string& name, std::int32_t k, std::int32_t reference) {
    return Format("%s@%d-%s@%d", name.c_str(), k + 1, name.c_str(), reference + 1);
}

void WriteRunChoice(const RunChoice& choice, IniFile& ini) {
    if (choice.IsDefault() && !ini.HasSection(kRuns)) return;
    const std::int32_t old = std::clamp(ini.GetInt(kRuns, kHiddenCount, 0), 0, kMaxHidden);
    const auto count = static_cast<std::int32_t>(choice.hidden.size());
    ini.Set(kRuns, kHiddenCount, std::to_string(count));
    for (std::int32_t i = 0; i < count; ++i)
        ini.Set(kRuns, HiddenKey(i), choice.hidden[static_cast<size_t>(i)]);
    // Names of an older save past the new count would only confuse a reader.
    for (std::int32_t i = count; i < old; ++i) ini.Set(kRuns, HiddenKey(i), "");
    ini.Set(kRuns, "Measured", choice.measured);
    ini.Set(kRuns, "Filter", choice.filter);
    WriteAdjusted(choice, ini);
}

RunChoice ReadRunChoice(const IniFile& ini) {
    RunChoice out;
    const std::int32_t count = std::clamp(ini.GetInt(kRuns, kHiddenCount, 0), 0, kMaxHidden);
    for (std::int32_t i = 0; i < count; ++i) {
        const std::string* name = ini.Find(kRuns, HiddenKey(i));
        if (name && !name->empty()) out.hidden.push_back(*name);
    }
    out.measured = ini.GetString(kRuns, "Measured");
    out.filter = ini.GetString(kRuns, "Filter");
    out.adjusted = ReadAdjusted(ini);
    return out;
}

}  // namespace kurvex
