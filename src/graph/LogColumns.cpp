#include "graph/LogColumns.h"

#include <algorithm>
#include <cmath>
#include <mutex>

#include "data/platform/Workers.h"

namespace kurvex {

RefPtr<CResultVariable> BuildLogColumn(const CResultVariable& source, std::int32_t rows,
                                       bool& invalidFound) {
    rows = std::clamp(rows, 0, source.Capacity());
    RefPtr<CResultVariable> out(CResultVariable::Create(rows));
    if (!out) return out;
    const double* v = source.Values();
    const std::uint8_t* f = source.Flags();
    double* lv = out->Values();
    std::uint8_t* lf = out->Flags();
    bool found = false;
    double mn = 0.0, mx = 0.0;
    for (std::int32_t i = 0; i < rows; ++i) {
        if (f[i] != kPointInvalid && v[i] > 0.0) {
            lv[i] = std::log10(v[i]);
            lf[i] = f[i];
        } else {
            lv[i] = 0.0;
            lf[i] = kPointInvalid;
            invalidFound = true;
            continue;
        }
        if (lf[i] != kPointValid) continue;
        if (!found) {
            mn = mx = lv[i];
            found = true;
        } else {
            mn = std::min(mn, lv[i]);
            mx = std::max(mx, lv[i]);
        }
    }
    out->SetExtents(mn, mx);
    out->SetName(source.Name());
    return out;
}

RefPtr<CResultVariable> LogColumns::Column(const CResultDataRef& data, std::int32_t column,
                                           bool& invalidFound) const {
    CResultData* d = data.Get();
    if (!d || column < 0 || column >= d->VariableCount()) return {};
    std::lock_guard<std::recursive_mutex> hold(d->Lock());
    DerivedColumns& cache = d->Derived();
    cache.Follow(d->ChangeCount(), d->RowCount());
    const auto count = static_cast<size_t>(d->VariableCount());
    if (cache.columns.size() < count) {
        cache.columns.resize(count);
        cache.invalid.resize(count, false);
    }
    const auto c = static_cast<size_t>(column);
    if (!cache.columns[c]) {
        bool invalid = false;
        cache.columns[c] = BuildLogColumn(*d->Variable(column), cache.rows, invalid);
        if (!cache.columns[c]) return {};
        cache.invalid[c] = invalid;
    }
    if (cache.invalid[c]) invalidFound = true;
    return cache.columns[c];
}

std::shared_ptr<const ColumnSummary> LogColumns::Summary(const CResultDataRef& data,
                                                         std::int32_t column) const {
    bool invalid = false;
    const RefPtr<CResultVariable> log = Column(data, column, invalid);
    if (!log) return nullptr;
    CResultData* d = data.Get();
    std::lock_guard<std::recursive_mutex> hold(d->Lock());
    DerivedColumns& cache = d->Derived();
    if (cache.rows < 4 * ColumnSummary::kBucket) return nullptr;
    const auto count = static_cast<size_t>(d->VariableCount());
    if (cache.logSummaries.size() < count) cache.logSummaries.resize(count);
    std::shared_ptr<const ColumnSummary>& s = cache.logSummaries[static_cast<size_t>(column)];
    if (!s) s = ColumnSummary::Build(log->Values(), log->Flags(), cache.rows, WorkerCount());
    return s;
}

}  // namespace kurvex
