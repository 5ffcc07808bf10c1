#include "graph/LogColumns.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <utility>
#include <vector>

namespace kurvex {

namespace {

// One data set's log columns, valid for one state of its rows.
struct CacheEntry {
    CResultDataRef data;  // held so the address cannot be reused while cached
    std::uint32_t changeCount = 0;
    std::int32_t rows = 0;
    std::vector<RefPtr<CResultVariable>> columns;
    std::vector<bool> invalid;
};

class Cache {
public:
    static Cache& Instance() {
        static Cache cache;
        return cache;
    }

    // The cached column, if it is still current.
    RefPtr<CResultVariable> Find(const CResultData* data, std::uint32_t changes, std::int32_t rows,
                                 std::int32_t column, bool& invalid) {
        std::lock_guard guard(mutex_);
        for (const CacheEntry& e : entries_) {
            if (e.data.Get() != data) continue;
            if (e.changeCount != changes || e.rows != rows) return {};
            if (static_cast<size_t>(column) >= e.columns.size()) return {};
            invalid = e.invalid[static_cast<size_t>(column)];
            return e.columns[static_cast<size_t>(column)];
        }
        return {};
    }

    // Stores a built column; a column another screen stored meanwhile wins.
    RefPtr<CResultVariable> Store(const CResultDataRef& data, std::uint32_t changes,
                                  std::int32_t rows, std::int32_t column,
                                  RefPtr<CResultVariable> built, bool& invalid) {
        std::vector<CacheEntry> dropped;
        std::lock_guard guard(mutex_);
        CacheEntry* entry = nullptr;
        for (CacheEntry& e : entries_) {
            if (e.data.Get() == data.Get()) entry = &e;
        }
        if (!entry) {
            entries_.push_back(CacheEntry{data, changes, rows, {}, {}});
            entry = &entries_.back();
        } else if (entry->changeCount != changes || entry->rows != rows) {
            dropped.push_back(std::move(*entry));
            *entry = CacheEntry{data, changes, rows, {}, {}};
        }
        const auto count = static_cast<size_t>(data->VariableCount());
        if (entry->columns.size() < count) {
            entry->columns.resize(count);
            entry->invalid.resize(count, false);
        }
        const auto c = static_cast<size_t>(column);
        if (entry->columns[c]) {
            invalid = entry->invalid[c];
            return entry->columns[c];
        }
        entry->columns[c] = built;
        entry->invalid[c] = invalid;
        return built;
    }

    void Prune() {
        std::vector<CacheEntry> dropped;  // freed after the lock is let go
        std::lock_guard guard(mutex_);
        for (size_t i = entries_.size(); i-- > 0;) {
            if (entries_[i].data->RefCount() > 1) continue;
            dropped.push_back(std::move(entries_[i]));
            entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }

private:
    std::mutex mutex_;
    std::vector<CacheEntry> entries_;
};

}  // namespace

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
    // Built outside the cache's lock: the data set's lock is taken inside it,
    // and a renderer may already hold that one when it asks.
    std::unique_lock rowsLock(d->Lock());
    const std::uint32_t changes = d->ChangeCount();
    const std::int32_t rows = d->RowCount();
    bool invalid = false;
    RefPtr<CResultVariable> col = Cache::Instance().Find(d, changes, rows, column, invalid);
    if (!col) {
        col = BuildLogColumn(*d->Variable(column), rows, invalid);
        if (!col) return col;
        col = Cache::Instance().Store(data, changes, rows, column, std::move(col), invalid);
    }
    if (invalid) invalidFound = true;
    return col;
}

void LogColumns::Prune() {
    Cache::Instance().Prune();
}

}  // namespace kurvex
