#include "data/Runs.h"

#include <algorithm>
#include <cstring>

#include "data/NameText.h"
#include "data/ResultFile.h"

namespace kurvex {

std::vector<std::int32_t> RunStarts(const CResultData& data) {
    std::vector<std::int32_t> starts = {0};
    const std::int32_t rows = data.RowCount();
    if (data.VariableCount() == 0 || rows < 2) return starts;
    const double* x = data.Variable(0)->Values();
    for (std::int32_t r = 1; r < rows; ++r)
        if (x[r] == x[0]) starts.push_back(r);
    return starts;
}

bool SplitIntoRuns(CResultDataRef& data, const std::vector<std::int32_t>& starts,
                   const std::vector<std::string>& names) {
    const CResultData& whole = *data.Get();
    const std::int32_t rows = whole.RowCount(), count = whole.VariableCount();
    if (starts.size() < 2) {
        if (!names.empty()) data->SetRunName(0, names.front());
        return true;
    }
    std::vector<CResultDataRef> runs(starts.size());
    for (size_t k = 0; k < starts.size(); ++k) {
        const std::int32_t from = starts[k];
        const std::int32_t to = k + 1 < starts.size() ? starts[k + 1] : rows;
        const std::int32_t n = to - from;
        if (n < 0 || !runs[k].Initialise(kDataSetPlain, count, std::max(n, 1), 100)) return false;
        CResultData& run = *runs[k].Get();
        std::lock_guard<std::recursive_mutex> hold(run.Lock());
        bool bad = false;
        for (std::int32_t v = 0; v < count; ++v) {
            const CResultVariable& source = *whole.Variable(v);
            CResultVariable& target = *run.Variable(v);
            run.SetVariableName(v, source.Name());
            target.SetUnit(source.Unit());
            if (n == 0) continue;
            std::memcpy(target.Values(), source.Values() + from, sizeof(double) * n);
            std::memcpy(target.Flags(), source.Flags() + from, n);
            bad = bad || std::any_of(target.Flags(), target.Flags() + n,
                                     [](std::uint8_t f) { return f != kPointValid; });
        }
        run.SetRowCountLocked(n);
        run.SetBadPoints(bad);
        run.UpdateExtents();
        run.SetUniformX(n > 1 && count > 0
                            ? CResultDataRef::UniformTest(run.Variable(0)->Values(), 0, n - 1)
                            : 0);
        if (k < names.size()) run.SetRunName(0, names[k]);
    }
    for (size_t k = 1; k < runs.size(); ++k)
        runs[0]->AddRun(runs[k].Get(), k < names.size() ? names[k] : std::string());
    data = runs[0];
    return true;
}

std::int32_t RunVariable(const CResultData& run, const std::string& name) {
    for (std::int32_t i = 0; i < run.VariableCount(); ++i) {
        const CResultVariable* v = run.Variable(i);
        if (v->HasName() && SameName(v->Name(), name)) return i;
    }
    return -1;
}

std::vector<std::string> RunNamesForFiles(const std::vector<std::string>& paths) {
    // The folders of each path, innermost first.
    std::vector<std::vector<std::string>> folders(paths.size());
    for (size_t i = 0; i < paths.size(); ++i) {
        std::string rest = paths[i];
        const size_t slash = rest.find_last_of('/');
        rest = slash == std::string::npos ? std::string() : rest.substr(0, slash);
        while (!rest.empty()) {
            const size_t cut = rest.find_last_of('/');
            const std::string part = cut == std::string::npos ? rest : rest.substr(cut + 1);
            if (!part.empty()) folders[i].push_back(part);
            rest = cut == std::string::npos ? std::string() : rest.substr(0, cut);
        }
    }
    std::vector<std::string> names(paths.size());
    std::vector<size_t> depth(paths.size(), 0);
    for (size_t i = 0; i < paths.size(); ++i) names[i] = FileTitle(paths[i]);
    // Names that clash take one more folder each round, as long as they have one.
    for (;;) {
        std::vector<bool> clash(names.size(), false);
        for (size_t i = 0; i < names.size(); ++i)
            for (size_t j = i + 1; j < names.size(); ++j)
                if (names[i] == names[j]) clash[i] = clash[j] = true;
        bool grew = false;
        for (size_t i = 0; i < names.size(); ++i) {
            if (!clash[i] || depth[i] >= folders[i].size()) continue;
            names[i] = folders[i][depth[i]++] + "/" + names[i];
            grew = true;
        }
        if (!grew) break;
    }
    return names;
}

}  // namespace kurvex
