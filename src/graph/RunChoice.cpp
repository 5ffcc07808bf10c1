#include "graph/RunChoice.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "data/model/Runs.h"
#include "data/platform/NumberText.h"

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
    return out;
}

}  // namespace kurvex
