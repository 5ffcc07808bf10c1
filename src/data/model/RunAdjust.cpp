#include "data/model/RunAdjust.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

#include "data/model/Runs.h"
#include "data/platform/NameText.h"
#include "data/platform/NumberText.h"

namespace kurvex {

XKind XKindByName(const std::string& name) {
    std::string word;
    for (const char c : name) {
        // "Time (s)", "time[s]", "freq/Hz": the unit does not decide.
        if (c == '(' || c == '[' || c == '/' || c == ' ') break;
        word += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    if (word == "time" || word == "t") return XKind::Time;
    if (word == "frequency" || word == "freq" || word == "f") return XKind::Frequency;
    return XKind::Unknown;
}

XKind XKindOf(const CResultData& data) {
    if (data.GetXKind() != XKind::Unknown || data.VariableCount() == 0) return data.GetXKind();
    return XKindByName(data.Variable(0)->Name());
}

bool XJoins(const CResultData& shown, const CResultData& added) {
    if (shown.VariableCount() == 0 || added.VariableCount() == 0) return false;
    if (SameName(shown.Variable(0)->Name(), added.Variable(0)->Name())) return true;
    const XKind kind = XKindOf(shown);
    return kind != XKind::Unknown && kind == XKindOf(added);
}

double RunAdjust::ScaleOf(const std::string& name) const {
    for (const auto& [n, factor] : scales)
        if (SameName(n, name)) return factor;
    return 1.0;
}

const std::string* RunAdjust::SourceOf(const std::string& name) const {
    for (const auto& [from, to] : maps)
        if (SameName(to, name)) return &from;
    return nullptr;
}

void RunAdjust::SetMap(const std::string& from, const std::string& to) {
    std::erase_if(maps, [&](const auto& m) { return SameName(m.first, from); });
    if (!to.empty() && !SameName(from, to)) maps.emplace_back(from, to);
}

void RunAdjust::SetScale(const std::string& name, double factor) {
    std::erase_if(scales, [&](const auto& s) { return SameName(s.first, name); });
    if (factor != 1.0) scales.emplace_back(name, factor);
}

namespace {

// The index of shown variable `name` of `run` under `adjust`'s mappings.
std::int32_t ShownVariable(const CResultData& run, const RunAdjust& adjust,
                           const std::string& name) {
    if (const std::string* from = adjust.SourceOf(name)) return RunVariable(run, *from);
    const std::int32_t i = RunVariable(run, name);
    // A variable mapped away no longer shows under its own name.
    if (i >= 0) {
        for (const auto& m : adjust.maps)
            if (SameName(m.first, name)) return -1;
    }
    return i;
}

// A copy of `v` with every valid sample a * x + b.
CResultVariable* Transformed(const CResultVariable& v, std::int32_t rows, double a, double b) {
    CResultVariable* out = v.CopyResized(v.Capacity(), rows);
    if (!out) return nullptr;
    double* x = out->Values();
    for (std::int32_t i = 0; i < rows; ++i) x[i] = a * x[i] + b;
    const double lo = a * v.Min() + b, hi = a * v.Max() + b;
    out->SetExtents(std::min(lo, hi), std::max(lo, hi));
    return out;
}

}  // namespace

CResultVariable* RenamedVariable(CResultVariable& v, const std::string& name) {
    v.AddRef();
    std::shared_ptr<const void> keep(&v, [](const void* p) {
        const_cast<CResultVariable*>(static_cast<const CResultVariable*>(p))->Release();
    });
    CResultVariable* out = CResultVariable::Over(v.Values(), v.Flags(), v.Capacity(), keep);
    out->SetExtents(v.Min(), v.Max());
    out->SetKind(v.Kind());
    out->SetUnit(v.Unit());
    out->SetDescription(v.Description());
    out->SetName(name);
    return out;
}

namespace {

// Holds `v` (fresh, held by nobody yet) as variable i of `d`.
void Put(CResultData& d, std::int32_t i, CResultVariable* v) {
    d.ReplaceVariable(i, v);
}

bool AdjustRun(const CResultData& run, const RunAdjust& adjust, CResultDataRef& out) {
    out.ShareColumnsOf(run);
    CResultData& d = *out.Get();
    const std::int32_t rows = run.RowCount();
    if (adjust.shift != 0.0 && d.VariableCount() > 0) {
        CResultVariable* x = Transformed(*d.Variable(0), rows, 1.0, adjust.shift);
        if (!x) return false;
        Put(d, 0, x);
    }
    for (const auto& [from, to] : adjust.maps) {
        const std::int32_t i = RunVariable(run, from);
        if (i <= 0) continue;
        // A variable already showing under the new name steps aside.
        const std::int32_t taken = RunVariable(d, to);
        if (taken > 0 && taken != i)
            Put(d, taken, RenamedVariable(*d.Variable(taken), to + " (file)"));
        Put(d, i, RenamedVariable(*d.Variable(i), to));
    }
    for (const auto& [name, factor] : adjust.scales) {
        const std::int32_t i = ShownVariable(run, adjust, name);
        if (i <= 0) continue;
        const std::string shown = d.Variable(i)->Name();
        CResultVariable* v = Transformed(*d.Variable(i), rows, factor, 0.0);
        if (!v) return false;
        v->SetName(shown);
        Put(d, i, v);
    }
    return true;
}

}  // namespace

std::string RunAdjustError(const CResultData& run, const RunAdjust& adjust, std::int32_t number) {
    for (const auto& m : adjust.maps) {
        if (RunVariable(run, m.first) <= 0)
            return Format("run %d has no variable \"%s\"", number, DisplayName(m.first).c_str());
    }
    for (const auto& s : adjust.scales) {
        if (ShownVariable(run, adjust, s.first) <= 0)
            return Format("run %d shows no variable \"%s\"", number, DisplayName(s.first).c_str());
    }
    return {};
}

CResultDataRef AdjustRuns(const CResultDataRef& data, const std::vector<RunAdjust>& perRun,
                          bool* failed) {
    if (failed) *failed = false;
    const CResultData& whole = *data.Get();
    const auto count = std::min<size_t>(perRun.size(), static_cast<size_t>(whole.RunCount()));
    const bool any = std::any_of(perRun.begin(), perRun.begin() + static_cast<long>(count),
                                 [](const RunAdjust& a) { return !a.IsDefault(); });
    if (!any || whole.Kind() != kDataSetPlain) return data;
    std::vector<CResultDataRef> runs(static_cast<size_t>(whole.RunCount()));
    for (std::int32_t k = 0; k < whole.RunCount(); ++k) {
        const auto i = static_cast<size_t>(k);
        const RunAdjust none;
        if (!AdjustRun(*whole.Run(k), i < count ? perRun[i] : none, runs[i])) {
            if (failed) *failed = true;
            return data;
        }
    }
    for (std::int32_t k = 1; k < whole.RunCount(); ++k)
        runs[0]->AddRun(runs[static_cast<size_t>(k)].Get(), whole.RunName(k));
    runs[0]->SetRunName(0, whole.RunName(0));
    return runs[0];
}

std::optional<double> FirstCrossing(const CResultData& run, std::int32_t var, double level,
                                    bool rising, double after) {
    if (var <= 0 || var >= run.VariableCount()) return std::nullopt;
    const double* x = run.Variable(0)->Values();
    const double* v = run.Variable(var)->Values();
    const std::uint8_t* fx = run.Variable(0)->Flags();
    const std::uint8_t* fv = run.Variable(var)->Flags();
    for (std::int32_t i = 1; i < run.RowCount(); ++i) {
        if (fx[i - 1] != kPointValid || fx[i] != kPointValid || fv[i - 1] != kPointValid ||
            fv[i] != kPointValid || !(x[i] >= after))
            continue;
        const double a = v[i - 1], b = v[i];
        const bool crosses = rising ? a < level && b >= level : a > level && b <= level;
        if (!crosses) continue;
        const double at = x[i - 1] + (level - a) * ((x[i] - x[i - 1]) / (b - a));
        if (at >= after) return at;
    }
    return std::nullopt;
}

AlignResult AlignOnEdge(const CResultData& shown, std::int32_t k, std::int32_t reference,
                        const AlignRequest& request) {
    AlignResult out;
    const char* edge = request.rising ? "rising" : "falling";
    std::optional<double> at[2];
    const std::int32_t runs[2] = {reference, k};
    for (int j = 0; j < 2; ++j) {
        const CResultData* run = shown.Run(runs[j]);
        if (!run) {
            out.error = Format("There is no run %d.", runs[j] + 1);
            return out;
        }
        const std::int32_t var = RunVariable(*run, request.name);
        if (var <= 0) {
            out.error = Format("Run %d shows no variable \"%s\".", runs[j] + 1,
                               DisplayName(request.name).c_str());
            return out;
        }
        at[j] = FirstCrossing(*run, var, request.level, request.rising, request.after);
        if (!at[j]) {
            // From the start (-infinity) names no X: the number would not print.
            const std::string after = std::isfinite(request.after)
                                          ? " after " + ExactNumber(request.after)
                                          : std::string();
            out.error = Format("\"%s\" of run %d has no %s crossing of %s%s.",
                               DisplayName(request.name).c_str(), runs[j] + 1, edge,
                               ExactNumber(request.level).c_str(), after.c_str());
            return out;
        }
    }
    out.ok = true;
    out.delta = *at[0] - *at[1];
    return out;
}

}  // namespace kurvex
