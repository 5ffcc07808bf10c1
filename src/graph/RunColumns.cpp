#include "graph/RunColumns.h"

#include <mutex>

#include "data/cache/CachedResult.h"
#include "data/platform/Workers.h"
#include "graph/LogColumns.h"

namespace kurvex {

namespace {

// The run's store, brought up to the state of its rows and sized for its
// variables; the caller holds the run's lock.
DerivedColumns& StoreOf(CResultData& run) {
    DerivedColumns& cache = run.Derived();
    cache.Follow(run.ChangeCount(), run.RowCount());
    const auto count = static_cast<size_t>(run.VariableCount());
    if (cache.sorted.size() < count) cache.sorted.resize(count, -1);
    if (cache.summaries.size() < count) cache.summaries.resize(count);
    if (cache.logSummaries.size() < count) cache.logSummaries.resize(count);
    if (cache.columns.size() < count) {
        cache.columns.resize(count);
        cache.invalid.resize(count, false);
    }
    return cache;
}

bool Known(const CResultData& run, std::int32_t var) {
    return var >= 0 && var < run.VariableCount();
}

}  // namespace

bool RunColumnSorted(CResultData& run, std::int32_t var) {
    if (!Known(run, var)) return false;
    std::lock_guard<std::recursive_mutex> hold(run.Lock());
    std::int8_t& known = StoreOf(run).sorted[static_cast<size_t>(var)];
    if (known < 0) {
        const CResultVariable& v = *run.Variable(var);
        const std::int32_t n = run.RowCount();
        bool sorted = n > 0;
        for (std::int32_t i = 0; sorted && i < n; ++i) {
            const double x = v.Values()[i];
            sorted = v.Flags()[i] == kPointValid && x == x && (i == 0 || x >= v.Values()[i - 1]);
        }
        known = sorted ? 1 : 0;
    }
    return known == 1;
}

std::shared_ptr<const ColumnSummary> RunColumnSummary(CResultData& run, std::int32_t var) {
    if (!Known(run, var)) return nullptr;
    std::lock_guard<std::recursive_mutex> hold(run.Lock());
    DerivedColumns& cache = StoreOf(run);
    if (cache.rows < 4 * ColumnSummary::kBucket) return nullptr;
    std::shared_ptr<const ColumnSummary>& s = cache.summaries[static_cast<size_t>(var)];
    if (!s) {
        const CResultVariable& v = *run.Variable(var);
        s = CachedSummary(run, var, cache.rows);
        if (!s) s = ColumnSummary::Build(v.Values(), v.Flags(), cache.rows, WorkerCount());
    }
    return s;
}

RefPtr<CResultVariable> RunLogColumn(CResultData& run, std::int32_t var, bool& invalidFound) {
    if (!Known(run, var)) return {};
    std::lock_guard<std::recursive_mutex> hold(run.Lock());
    DerivedColumns& cache = StoreOf(run);
    const auto c = static_cast<size_t>(var);
    if (!cache.columns[c]) {
        bool invalid = false;
        cache.columns[c] = BuildLogColumn(*run.Variable(var), cache.rows, invalid);
        if (!cache.columns[c]) return {};
        cache.invalid[c] = invalid;
    }
    if (cache.invalid[c]) invalidFound = true;
    return cache.columns[c];
}

std::shared_ptr<const ColumnSummary> RunLogSummary(CResultData& run, std::int32_t var) {
    bool invalid = false;
    const RefPtr<CResultVariable> log = RunLogColumn(run, var, invalid);
    if (!log) return nullptr;
    std::lock_guard<std::recursive_mutex> hold(run.Lock());
    DerivedColumns& cache = StoreOf(run);
    if (cache.rows < 4 * ColumnSummary::kBucket) return nullptr;
    std::shared_ptr<const ColumnSummary>& s = cache.logSummaries[static_cast<size_t>(var)];
    if (!s) s = ColumnSummary::Build(log->Values(), log->Flags(), cache.rows, WorkerCount());
    return s;
}

}  // namespace kurvex
