#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "data/model/RefPtr.h"
#include "data/model/ResultVariable.h"

namespace kurvex {

class ColumnSummary;

// Kinds of data set.
enum DataSetKind : std::int32_t {
    kDataSetPlain = 0,
    kDataSetHighPass = 2,
};

// What the X of a result is, as its reader knows it; files join as runs of
// one view when their X are of one kind, whatever their names.
enum class XKind : std::int8_t { Unknown, Time, Frequency };

// Result of a scan over a row interval.
struct ScanExtentsResult {
    bool found = false;  // some sample in the interval is valid
    double min = 0.0;
    double max = 0.0;
    bool sawBad = false;  // some sample in the interval is not valid
};

// A named number of a result (a Modelica parameter): formulas may use it by name.
struct ResultConstant {
    std::string name;
    double value = 0.0;
};

// Columns derived from a data set's columns (the log10 columns of log axes,
// min/max summaries), kept with it so every screen showing it shares them and
// they go with it. Valid for one state of the rows; guarded by the data set's lock.
struct DerivedColumns {
    std::uint32_t changeCount = 0;
    std::int32_t rows = -1;
    std::vector<RefPtr<CResultVariable>> columns;
    std::vector<bool> invalid;        // the column met samples it could not take
    std::vector<std::int8_t> sorted;  // per column: -1 not known yet, 0 no, 1 yes
    // Per column, of its samples and of its log column; null until asked for.
    std::vector<std::shared_ptr<const ColumnSummary>> summaries;
    std::vector<std::shared_ptr<const ColumnSummary>> logSummaries;

    // Forgets everything when the rows have changed since it was worked out;
    // screens still drawing an old column keep their own reference.
    void Follow(std::uint32_t changes, std::int32_t rowCount) {
        if (changeCount == changes && rows == rowCount) return;
        columns.clear();
        invalid.clear();
        sorted.clear();
        summaries.clear();
        logSummaries.clear();
        changeCount = changes;
        rows = rowCount;
    }
};

// The shared store of one loaded result: equally long columns, column 0 is X.
// Held through CResultDataRef; the count is atomic so a worker may hold it.
class CResultData {
public:
    CResultData() = default;
    virtual ~CResultData();
    CResultData(const CResultData&) = delete;
    CResultData& operator=(const CResultData&) = delete;

    // 0 for a plain data set, 2 for the high-pass kind.
    virtual std::int32_t Kind() const { return kDataSetPlain; }
    // 1 when the binary writer must work on a deep copy.
    virtual std::int32_t CopyOnSave() const { return 0; }
    // The kind-specific part, or null for a plain data set.
    virtual CResultData* Extension() { return nullptr; }

    void AddRef() { refs_.fetch_add(1, std::memory_order_relaxed); }
    void Release();
    std::int32_t RefCount() const { return refs_.load(std::memory_order_acquire); }

    std::int32_t VariableCount() const { return static_cast<std::int32_t>(vars_.size()); }
    std::int32_t RowCount() const { return rowCount_; }
    std::int32_t RowCapacity() const { return rowCapacity_; }
    std::int32_t GrowBy() const { return growBy_; }
    std::int32_t UniformX() const { return uniformX_; }
    void SetUniformX(std::int32_t on) { uniformX_ = on ? 1 : 0; }
    std::int32_t BadPoints() const { return badPoints_; }
    void SetBadPoints(std::int32_t on) { badPoints_ = on ? 1 : 0; }
    // Raised by every row write and resize; the renderer compares it.
    std::uint32_t ChangeCount() const { return changes_.load(std::memory_order_acquire); }

    CResultVariable* Variable(std::int32_t i) { return vars_[static_cast<size_t>(i)]; }
    const CResultVariable* Variable(std::int32_t i) const { return vars_[static_cast<size_t>(i)]; }

    // Makes the capacity at least `capacity` (a high-pass data set may also
    // shrink); fails while another resize is under way or out of memory.
    virtual bool ResizeRows(std::int32_t capacity);
    // Grows the variable count; new variables are empty at the current capacity.
    virtual bool ResizeVariables(std::int32_t count);
    // Gives variable i a copy of `name` (empty clears it).
    virtual void SetVariableName(std::int32_t i, const std::string& name);

    // For readers that know their final size: shrinks the capacity to
    // max(row count, capacity) so an over-estimate does not stay allocated.
    bool TrimRows(std::int32_t capacity);

    // Writes one row; see CResultDataRef::SetRow.
    bool SetRow(std::int32_t row, const double* values, const std::uint8_t* flags,
                std::int32_t first, std::int32_t count);
    // SetRow for a caller that already holds Lock() (a reader filling a new data set).
    bool SetRowLocked(std::int32_t row, const double* values, const std::uint8_t* flags,
                      std::int32_t first, std::int32_t count);
    // For readers that filled the columns' arrays themselves: the data set
    // now holds `rows` rows (at most the capacity); the caller holds Lock().
    bool SetRowCountLocked(std::int32_t rows);
    // Extents of every variable over its valid samples, on up to `workers` threads.
    void UpdateExtents(int workers = 1);

    // What screens derive from this data set (log10 columns, sortedness);
    // take Lock() first.
    DerivedColumns& Derived() { return logCache_; }

    // Guards row writes, resizes and snapshots. Recursive: a write may resize.
    std::recursive_mutex& Lock() { return lock_; }

    // A result may hold several runs of the same variables (a parameter
    // sweep, Monte Carlo, files opened together), each with its own X samples
    // and length. This data set is run 1 (k = 0); the others are data sets
    // of their own, held here.
    std::int32_t RunCount() const { return 1 + static_cast<std::int32_t>(runs_.size()); }
    // Run k, or null outside 0 .. RunCount() - 1.
    CResultData* Run(std::int32_t k);
    const CResultData* Run(std::int32_t k) const;
    // Empty for run 1 of a result that names no runs.
    const std::string& RunName(std::int32_t k) const;
    void SetRunName(std::int32_t k, std::string name);
    // Appends `run` as the next run; it must hold no runs of its own.
    void AddRun(CResultData* run, std::string name);

    XKind GetXKind() const { return xKind_; }
    void SetXKind(XKind kind) { xKind_ = kind; }
    // Holds `v` in place of variable i (which it releases); for data sets
    // made to show others' columns differently, never for a reader's.
    void ReplaceVariable(std::int32_t i, CResultVariable* v);

    // The file's named constants, in its order; empty for most formats.
    const std::vector<ResultConstant>& Constants() const { return constants_; }
    void SetConstants(std::vector<ResultConstant> constants) { constants_ = std::move(constants); }

protected:
    friend class CResultDataRef;
    // Sets up `count` new variables of `capacity` rows; false when out of memory.
    virtual bool Setup(std::int32_t count, std::int32_t capacity, std::int32_t growBy);
    // Replaces the variables of one array by copies (or in-place resizes) of
    // `capacity` rows keeping `keep` rows.
    static bool ResizeArray(std::vector<CResultVariable*>& vars, std::int32_t capacity,
                            std::int32_t keep);
    static bool GrowArray(std::vector<CResultVariable*>& vars, std::int32_t count,
                          std::int32_t capacity);
    static void ReleaseArray(std::vector<CResultVariable*>& vars);
    bool ResizeRowsUnchecked(std::int32_t capacity);
    void Touch() { changes_.fetch_add(1, std::memory_order_acq_rel); }

    std::atomic<std::int32_t> refs_{0};
    std::recursive_mutex lock_;
    std::atomic<std::int32_t> resizing_{0};
    std::int32_t rowCapacity_ = 0;
    std::int32_t rowCount_ = 0;
    std::int32_t growBy_ = 100;
    std::int32_t uniformX_ = 0;
    std::int32_t badPoints_ = 0;
    std::atomic<std::uint32_t> changes_{0};
    std::vector<CResultVariable*> vars_;  // each counted once for being held here
    DerivedColumns logCache_;
    std::string runName_;
    XKind xKind_ = XKind::Unknown;
    std::vector<ResultConstant> constants_;
    struct HeldRun {
        CResultData* data;  // counted once for being held here
        std::string name;
    };
    std::vector<HeldRun> runs_;
};

// The data set of a band screen: three further variable arrays beside the main
// one, kept at the same count, capacity and names, and one value per column
// after X. The screens that use it give the arrays their meaning.
class HighPassResultData : public CResultData {
public:
    ~HighPassResultData() override;
    std::int32_t Kind() const override { return kDataSetHighPass; }
    std::int32_t CopyOnSave() const override { return 1; }
    CResultData* Extension() override { return this; }

    bool ResizeRows(std::int32_t capacity) override;
    bool ResizeVariables(std::int32_t count) override;
    void SetVariableName(std::int32_t i, const std::string& name) override;

    CResultVariable* Extra(int array, std::int32_t i) {
        return extra_[static_cast<size_t>(array)][static_cast<size_t>(i)];
    }
    std::vector<std::uint32_t>& Values() { return values_; }
    // One high-pass formula per column after X, made by the formula engine.
    std::vector<std::unique_ptr<VariableFormula>>& Formulas() { return formulas_; }

protected:
    bool Setup(std::int32_t count, std::int32_t capacity, std::int32_t growBy) override;

private:
    std::array<std::vector<CResultVariable*>, 3> extra_;
    std::vector<std::uint32_t> values_;
    std::vector<std::unique_ptr<VariableFormula>> formulas_;
};

// The handle through which everybody holds a data set.
// How a data set finds the summary a store above it already keeps for a
// borrowed column (the column cache keeps pyramids beside its mapped columns);
// null for a column the store does not know.
using BorrowedSummaryFinder = std::shared_ptr<const ColumnSummary> (*)(const CResultData& run,
                                                                       std::int32_t v,
                                                                       std::int32_t rows);
// Set once by that store, before it lends its first column.
void SetBorrowedSummaryFinder(BorrowedSummaryFinder finder);

class CResultDataRef {
public:
    // Holds a new empty data set of `kind` (0 or 2).
    explicit CResultDataRef(std::int32_t kind = kDataSetPlain);
    CResultDataRef(const CResultDataRef& other);
    CResultDataRef& operator=(const CResultDataRef& other);
    virtual ~CResultDataRef();

    CResultData* Get() const { return data_; }
    CResultData* operator->() const { return data_; }

    // Releases the held data set and holds a new one with `count` empty
    // variables; other holders of the old one keep it unchanged.
    bool Initialise(std::int32_t kind, std::int32_t count, std::int32_t capacity,
                    std::int32_t growBy);
    void SetName(std::int32_t i, const char* name);
    // Releases the held data set and holds a new one of run 1 of `other`: the
    // same columns (shared, not copied), rows, flags, run name, X kind and
    // constants, no runs.
    void ShareColumnsOf(const CResultData& other);
    // Writes `count` consecutive variables from `first` into `row` (negative
    // count: up to the last variable), growing the capacity as needed.
    bool SetRow(std::int32_t row, const double* values, const std::uint8_t* flags,
                std::int32_t first, std::int32_t count) {
        return data_->SetRow(row, values, flags, first, count);
    }
    void UpdateExtents() { data_->UpdateExtents(); }
    // First variable named `name` ignoring ASCII case, or -1.
    std::int32_t FindVariable(const char* name) const;

    // True when every sample of variable `var` is valid, none is NaN and none
    // is smaller than the one before: searches may then bisect. Known once per state of
    // the rows.
    bool IsSorted(std::int32_t var) const;
    // The min/max summary of variable `var` over the row count, built on first
    // use and kept until the rows change; null when there is no such variable,
    // too few rows or no memory.
    std::shared_ptr<const ColumnSummary> Summary(std::int32_t var) const;

    // 1 when x[first..last] is equally spaced to 48 bits of the step; up to
    // `workers` threads share the comparisons.
    static std::int32_t UniformTest(const double* x, std::int32_t first, std::int32_t last,
                                    int workers = 1);
    ScanExtentsResult ScanExtents(std::int32_t var, std::int32_t first, std::int32_t last) const;
    // The row from which drawing an X range that starts at x must begin.
    std::optional<std::int32_t> LocateBefore(std::int32_t var, double x, bool uniform,
                                             std::int32_t first, std::int32_t last) const;
    // The row at which drawing an X range that ends at x may stop.
    std::optional<std::int32_t> LocateAfter(std::int32_t var, double x, bool uniform,
                                            std::int32_t first, std::int32_t last) const;

private:
    void Hold(CResultData* d);
    CResultData* data_ = nullptr;
};

// Makes an empty data set of `kind`.
CResultData* NewResultData(std::int32_t kind);

}  // namespace kurvex
