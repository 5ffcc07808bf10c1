#include "data/model/ResultData.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>

#include "data/model/ColumnSummary.h"
#include "data/model/Extents.h"
#include "data/platform/NameText.h"
#include "data/platform/Workers.h"

namespace kurvex {

namespace {

// Clears the resizing flag on every way out of a resize.
class ResizeGuard {
public:
    explicit ResizeGuard(std::atomic<std::int32_t>& flag) : flag_(flag) {
        std::int32_t expected = 0;
        owned_ = flag_.compare_exchange_strong(expected, 1);
    }
    ~ResizeGuard() {
        if (owned_) flag_.store(0);
    }
    bool Owned() const { return owned_; }

private:
    std::atomic<std::int32_t>& flag_;
    bool owned_ = false;
};

// Sign, exponent and the top 36 fraction bits: steps that differ only in the
// last 16 bits are rounding noise of the simulator's time base.
std::uint64_t Upper48(double d) {
    std::uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    return bits >> 16;
}

}  // namespace

CResultData* NewResultData(std::int32_t kind) {
    if (kind == kDataSetHighPass) return new HighPassResultData();
    return new CResultData();
}

CResultData::~CResultData() {
    ReleaseArray(vars_);
    for (HeldRun& r : runs_) r.data->Release();
}

CResultData* CResultData::Run(std::int32_t k) {
    if (k == 0) return this;
    if (k < 0 || k >= RunCount()) return nullptr;
    return runs_[static_cast<size_t>(k - 1)].data;
}

const CResultData* CResultData::Run(std::int32_t k) const {
    return const_cast<CResultData*>(this)->Run(k);
}

const std::string& CResultData::RunName(std::int32_t k) const {
    static const std::string none;
    if (k == 0) return runName_;
    if (k < 0 || k >= RunCount()) return none;
    return runs_[static_cast<size_t>(k - 1)].name;
}

void CResultData::SetRunName(std::int32_t k, std::string name) {
    if (k == 0)
        runName_ = std::move(name);
    else if (k > 0 && k < RunCount())
        runs_[static_cast<size_t>(k - 1)].name = std::move(name);
}

void CResultData::AddRun(CResultData* run, std::string name) {
    if (!run || run == this || run->RunCount() != 1) return;
    run->AddRef();
    runs_.push_back({run, std::move(name)});
}

void CResultData::ReplaceVariable(std::int32_t i, CResultVariable* v) {
    if (!v || i < 0 || i >= VariableCount()) return;
    v->AddRef();
    std::swap(vars_[static_cast<size_t>(i)], v);
    v->Release();
    Touch();
}

void CResultData::Release() {
    if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
}

void CResultData::ReleaseArray(std::vector<CResultVariable*>& vars) {
    for (CResultVariable* v : vars) v->Release();
    vars.clear();
}

bool CResultData::GrowArray(std::vector<CResultVariable*>& vars, std::int32_t count,
                            std::int32_t capacity) {
    try {
        vars.reserve(static_cast<size_t>(count));
    } catch (const std::bad_alloc&) {
        return false;
    }
    while (static_cast<std::int32_t>(vars.size()) < count) {
        CResultVariable* v = CResultVariable::Create(capacity);
        if (!v) return false;
        v->AddRef();
        vars.push_back(v);
    }
    return true;
}

bool CResultData::Setup(std::int32_t count, std::int32_t capacity, std::int32_t growBy) {
    rowCapacity_ = std::max<std::int32_t>(capacity, 0);
    if (growBy > 0) growBy_ = growBy;
    if (!GrowArray(vars_, std::max<std::int32_t>(count, 0), rowCapacity_)) {
        ReleaseArray(vars_);
        rowCapacity_ = 0;
        return false;
    }
    return true;
}

bool CResultData::ResizeArray(std::vector<CResultVariable*>& vars, std::int32_t capacity,
                              std::int32_t keep) {
    for (CResultVariable*& v : vars) {
        // A variable that a curve or a worker also holds must not change under
        // it: that holder keeps the old one and this array gets a copy.
        if (v->RefCount() == 1) {
            if (!v->ResizeInPlace(capacity)) return false;
        } else {
            CResultVariable* copy = v->CopyResized(capacity, keep);
            if (!copy) return false;
            copy->AddRef();
            v->Release();
            v = copy;
        }
    }
    return true;
}

bool CResultData::ResizeRowsUnchecked(std::int32_t capacity) {
    std::lock_guard<std::recursive_mutex> hold(lock_);
    ResizeGuard guard(resizing_);
    if (!guard.Owned()) return false;
    const std::int32_t keep = std::min(rowCount_, capacity);
    if (!ResizeArray(vars_, capacity, keep)) return false;
    rowCount_ = keep;
    rowCapacity_ = capacity;
    Touch();
    return true;
}

bool CResultData::ResizeRows(std::int32_t capacity) {
    if (rowCapacity_ >= capacity || vars_.empty()) return true;
    if (resizing_.load()) return false;
    return ResizeRowsUnchecked(capacity);
}

bool CResultData::TrimRows(std::int32_t capacity) {
    capacity = std::max(capacity, rowCount_);
    if (capacity >= rowCapacity_ || vars_.empty()) return true;
    return ResizeRowsUnchecked(capacity);
}

bool CResultData::ResizeVariables(std::int32_t count) {
    if (count <= VariableCount()) return true;
    std::lock_guard<std::recursive_mutex> hold(lock_);
    ResizeGuard guard(resizing_);
    if (!guard.Owned()) return false;
    if (!GrowArray(vars_, count, rowCapacity_)) return false;
    Touch();
    return true;
}

void CResultData::SetVariableName(std::int32_t i, const std::string& name) {
    if (i < 0 || i >= VariableCount()) return;
    vars_[static_cast<size_t>(i)]->SetName(name);
}

bool CResultData::SetRow(std::int32_t row, const double* values, const std::uint8_t* flags,
                         std::int32_t first, std::int32_t count) {
    std::lock_guard<std::recursive_mutex> hold(lock_);
    return SetRowLocked(row, values, flags, first, count);
}

bool CResultData::SetRowLocked(std::int32_t row, const double* values, const std::uint8_t* flags,
                               std::int32_t first, std::int32_t count) {
    const std::int32_t n = VariableCount();
    if (row < 0 || first < 0 || first >= n) return false;
    if (row >= rowCapacity_) {
        if (growBy_ <= 0) growBy_ = 100;
        const std::int64_t g = growBy_;
        std::int64_t capacity = (static_cast<std::int64_t>(row) + 1) / g * g;
        if (capacity <= row) capacity += g;
        if (capacity > std::numeric_limits<std::int32_t>::max()) return false;
        if (!ResizeRows(static_cast<std::int32_t>(capacity)) || row >= rowCapacity_) return false;
    }
    if (count < 0 || count > n - first) count = n - first;
    for (std::int32_t j = 0; j < count; ++j) {
        CResultVariable* v = vars_[static_cast<size_t>(first + j)];
        v->Values()[row] = values[j];
        v->Flags()[row] = flags[j];
    }
    if (row >= rowCount_) rowCount_ = row + 1;
    // Writers are serialised by the lock, so a plain store is enough here.
    changes_.store(changes_.load(std::memory_order_relaxed) + 1, std::memory_order_release);
    return true;
}

bool CResultData::SetRowCountLocked(std::int32_t rows) {
    if (rows < 0 || rows > rowCapacity_) return false;
    rowCount_ = rows;
    changes_.store(changes_.load(std::memory_order_relaxed) + 1, std::memory_order_release);
    return true;
}

void CResultData::UpdateExtents(int workers) {
    const std::int32_t n = rowCount_;
    if (n < 1) return;
    auto update = [n](CResultVariable* v, int threads) {
        const Extents e = ValidExtents(v->Values(), v->Flags(), n, threads);
        // A variable without valid samples keeps what it had.
        if (e.found) v->SetExtents(e.min, e.max);
    };
    workers = std::max(workers, 1);
    if (VariableCount() < workers) {
        // Few long columns: each is shared out by rows.
        for (CResultVariable* v : vars_) update(v, workers);
        return;
    }
    ItemCounter counter(VariableCount());
    RunWorkers(workers, [&](int) {
        for (std::int64_t i = counter.Next(); i >= 0; i = counter.Next())
            update(vars_[static_cast<size_t>(i)], 1);
    });
}

// ---- high-pass kind ----

HighPassResultData::~HighPassResultData() {
    for (auto& a : extra_) ReleaseArray(a);
}

bool HighPassResultData::Setup(std::int32_t count, std::int32_t capacity, std::int32_t growBy) {
    if (!CResultData::Setup(count, capacity, growBy)) return false;
    for (auto& a : extra_) {
        if (!GrowArray(a, VariableCount(), rowCapacity_)) return false;
    }
    values_.assign(static_cast<size_t>(std::max(VariableCount() - 1, 0)), 0u);
    return true;
}

bool HighPassResultData::ResizeRows(std::int32_t capacity) {
    // Unlike a plain data set this kind follows the capacity down as well.
    capacity = std::max<std::int32_t>(capacity, 0);
    if (capacity == rowCapacity_ || vars_.empty()) return true;
    std::lock_guard<std::recursive_mutex> hold(lock_);
    ResizeGuard guard(resizing_);
    if (!guard.Owned()) return false;
    const std::int32_t keep = std::min(rowCount_, capacity);
    if (!ResizeArray(vars_, capacity, keep)) return false;
    for (auto& a : extra_) {
        if (!ResizeArray(a, capacity, keep)) return false;
    }
    rowCount_ = keep;
    rowCapacity_ = capacity;
    Touch();
    return true;
}

bool HighPassResultData::ResizeVariables(std::int32_t count) {
    if (count <= VariableCount()) return true;
    std::lock_guard<std::recursive_mutex> hold(lock_);
    ResizeGuard guard(resizing_);
    if (!guard.Owned()) return false;
    if (!GrowArray(vars_, count, rowCapacity_)) return false;
    for (auto& a : extra_) {
        if (!GrowArray(a, count, rowCapacity_)) return false;
    }
    values_.resize(static_cast<size_t>(count - 1), 0u);
    Touch();
    return true;
}

void HighPassResultData::SetVariableName(std::int32_t i, const std::string& name) {
    CResultData::SetVariableName(i, name);
    for (auto& a : extra_) {
        if (i >= 0 && i < static_cast<std::int32_t>(a.size()))
            a[static_cast<size_t>(i)]->SetName(name);
    }
}

// ---- the handle ----

CResultDataRef::CResultDataRef(std::int32_t kind) {
    Hold(NewResultData(kind));
}

CResultDataRef::CResultDataRef(const CResultDataRef& other) {
    Hold(other.data_);
}

CResultDataRef& CResultDataRef::operator=(const CResultDataRef& other) {
    if (this == &other || data_ == other.data_) return *this;
    CResultData* old = data_;
    Hold(other.data_);
    if (old) old->Release();
    return *this;
}

CResultDataRef::~CResultDataRef() {
    if (data_) data_->Release();
}

void CResultDataRef::Hold(CResultData* d) {
    data_ = d;
    if (data_) data_->AddRef();
}

bool CResultDataRef::Initialise(std::int32_t kind, std::int32_t count, std::int32_t capacity,
                                std::int32_t growBy) {
    CResultData* old = data_;
    Hold(NewResultData(kind));
    if (old) old->Release();
    return data_->Setup(count, capacity, growBy);
}

void CResultDataRef::SetName(std::int32_t i, const char* name) {
    data_->SetVariableName(i, name ? std::string(name) : std::string());
}

void CResultDataRef::ShareColumnsOf(const CResultData& other) {
    CResultDataRef fresh;
    CResultData& d = *fresh.data_;
    for (CResultVariable* v : other.vars_) {
        v->AddRef();
        d.vars_.push_back(v);
    }
    d.rowCapacity_ = other.rowCapacity_;
    d.rowCount_ = other.rowCount_;
    d.growBy_ = other.growBy_;
    d.uniformX_ = other.uniformX_;
    d.badPoints_ = other.badPoints_;
    d.runName_ = other.runName_;
    d.xKind_ = other.xKind_;
    d.constants_ = other.constants_;
    *this = fresh;
}

std::int32_t CResultDataRef::FindVariable(const char* name) const {
    if (!name) return -1;
    for (std::int32_t i = 0; i < data_->VariableCount(); ++i) {
        const CResultVariable* v = data_->Variable(i);
        if (v->HasName() && SameName(v->Name(), name)) return i;
    }
    return -1;
}

bool CResultDataRef::IsSorted(std::int32_t var) const {
    if (var < 0 || var >= data_->VariableCount()) return false;
    std::lock_guard<std::recursive_mutex> hold(data_->Lock());
    DerivedColumns& cache = data_->Derived();
    cache.Follow(data_->ChangeCount(), data_->RowCount());
    if (cache.sorted.size() < static_cast<size_t>(data_->VariableCount()))
        cache.sorted.resize(static_cast<size_t>(data_->VariableCount()), -1);
    std::int8_t& known = cache.sorted[static_cast<size_t>(var)];
    if (known < 0) {
        const CResultVariable* v = data_->Variable(var);
        const std::int32_t n = data_->RowCount();
        bool sorted = n > 0;
        // A NaN is in no order: bisecting over one goes astray.
        for (std::int32_t i = 0; sorted && i < n; ++i) {
            const double x = v->Values()[i];
            sorted = v->Flags()[i] == kPointValid && x == x && (i == 0 || x >= v->Values()[i - 1]);
        }
        known = sorted ? 1 : 0;
    }
    return known == 1;
}

namespace {
std::atomic<BorrowedSummaryFinder> g_borrowedSummary{nullptr};
}  // namespace

void SetBorrowedSummaryFinder(BorrowedSummaryFinder finder) {
    g_borrowedSummary.store(finder);
}

std::shared_ptr<const ColumnSummary> CResultDataRef::Summary(std::int32_t var) const {
    if (var < 0 || var >= data_->VariableCount()) return nullptr;
    std::lock_guard<std::recursive_mutex> hold(data_->Lock());
    DerivedColumns& cache = data_->Derived();
    cache.Follow(data_->ChangeCount(), data_->RowCount());
    // Below a few buckets a range is always walked.
    if (cache.rows < 4 * ColumnSummary::kBucket) return nullptr;
    if (cache.summaries.size() < static_cast<size_t>(data_->VariableCount()))
        cache.summaries.resize(static_cast<size_t>(data_->VariableCount()));
    std::shared_ptr<const ColumnSummary>& s = cache.summaries[static_cast<size_t>(var)];
    if (!s) {
        const CResultVariable* v = data_->Variable(var);
        if (const BorrowedSummaryFinder find = g_borrowedSummary.load(); find && v->Borrowed())
            s = find(*data_, var, cache.rows);
        if (!s) s = ColumnSummary::Build(v->Values(), v->Flags(), cache.rows, WorkerCount());
    }
    return s;
}

std::int32_t CResultDataRef::UniformTest(const double* x, std::int32_t first, std::int32_t last,
                                         int workers) {
    if (first >= last) return 0;
    const double m = (x[last] - x[first]) / static_cast<double>(last - first);
    if (m == 0.0 || std::isnan(m)) return 0;
    const std::uint64_t mb = Upper48(m);
    // Steps first + 1 .. last, in runs that the threads take in turn; a run
    // that differs stops everybody.
    constexpr std::int64_t kRun = 1 << 16;
    const std::int64_t steps = static_cast<std::int64_t>(last) - first;
    ItemCounter counter((steps + kRun - 1) / kRun);
    std::atomic<bool> differs{false};
    auto work = [&](int) {
        for (std::int64_t r = counter.Next(); r >= 0; r = counter.Next()) {
            const std::int64_t from = first + 1 + r * kRun;
            const std::int64_t to = std::min<std::int64_t>(from + kRun, std::int64_t{last} + 1);
            std::uint64_t any = 0;
            for (std::int64_t i = from; i < to; ++i) any |= Upper48(x[i] - x[i - 1]) ^ mb;
            if (any) {
                differs = true;
                counter.Stop();
            }
        }
    };
    RunWorkers(steps > kRun ? std::max(workers, 1) : 1, work);
    return differs ? 0 : 1;
}

ScanExtentsResult CResultDataRef::ScanExtents(std::int32_t var, std::int32_t first,
                                              std::int32_t last) const {
    ScanExtentsResult r;
    if (first > last || var < 0 || var >= data_->VariableCount()) return r;
    first = std::max(first, 0);
    last = std::min(last, data_->RowCount() - 1);
    const CResultVariable* v = data_->Variable(var);
    const double* x = v->Values();
    const std::uint8_t* f = v->Flags();
    for (std::int32_t i = first; i <= last; ++i) {
        if (f[i] != kPointValid) {
            r.sawBad = true;
            continue;
        }
        if (!r.found) {
            r.found = true;
            r.min = r.max = x[i];
        } else {
            r.min = std::min(r.min, x[i]);
            r.max = std::max(r.max, x[i]);
        }
    }
    return r;
}

std::optional<std::int32_t> CResultDataRef::LocateBefore(std::int32_t var, double x, bool uniform,
                                                         std::int32_t first,
                                                         std::int32_t last) const {
    if (var < 0 || var >= data_->VariableCount() || first < 0 || last < first ||
        last >= data_->RowCapacity() || std::isnan(x))
        return std::nullopt;
    const CResultVariable* v = data_->Variable(var);
    const double* s = v->Values();
    const std::uint8_t* f = v->Flags();
    if (!uniform) {
        for (std::int32_t i = first; i <= last; ++i) {
            if (f[i] == kPointValid && s[i] >= x) return i == first ? first : i - 1;
        }
        return std::nullopt;
    }
    const double x0 = s[first], x1 = s[last];
    if (x0 == x1) {
        if (f[first] == kPointValid && s[first] == x) return first;
        return std::nullopt;
    }
    const double step = (x1 - x0) / static_cast<double>(last - first);
    if (step == 0.0 || !(x >= x0) || !(x <= x1)) return std::nullopt;
    const double k = std::floor((x - x0) / step);
    return std::clamp(first + static_cast<std::int32_t>(std::min(k, double(last - first))), first,
                      last);
}

std::optional<std::int32_t> CResultDataRef::LocateAfter(std::int32_t var, double x, bool uniform,
                                                        std::int32_t first,
                                                        std::int32_t last) const {
    if (var < 0 || var >= data_->VariableCount() || first < 0 || last < first ||
        last >= data_->RowCapacity() || std::isnan(x))
        return std::nullopt;
    const CResultVariable* v = data_->Variable(var);
    const double* s = v->Values();
    const std::uint8_t* f = v->Flags();
    if (!uniform) {
        for (std::int32_t i = last; i >= first; --i) {
            if (f[i] == kPointValid && s[i] <= x) return i == last ? last : i + 1;
        }
        return std::nullopt;
    }
    const double x0 = s[first], x1 = s[last];
    if (x0 == x1) {
        if (f[last] == kPointValid && s[last] == x) return last;
        return std::nullopt;
    }
    const double step = (x1 - x0) / static_cast<double>(last - first);
    if (step == 0.0 || !(x >= x0) || !(x <= x1)) return std::nullopt;
    const double k = std::floor((x1 - x) / step);
    return std::clamp(last - static_cast<std::int32_t>(std::min(k, double(last - first))), first,
                      last);
}

}  // namespace kurvex
