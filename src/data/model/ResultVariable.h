#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace kurvex {

// Point flags: one byte per sample, the only encoding used anywhere.
enum PointFlag : std::uint8_t {
    kPointMissing = 0,
    kPointValid = 1,
    kPointInvalid = 2,
};

// Kinds of variable.
enum VariableKind : std::int32_t {
    kVariableRead = 0,
    kVariableFormula = 2,
    kVariableSpectrum = 4,
};

// The formula a derived variable owns (the formula engine's CFormula is one);
// deleted with the variable.
class VariableFormula {
public:
    virtual ~VariableFormula() = default;
};

// One column of samples with a parallel array of point flags. Shared by an
// atomic reference count: data sets, curves and worker threads may hold it.
class CResultVariable {
public:
    // A new variable of `capacity` samples, all 0.0 and flagged missing.
    // Returns null when the memory cannot be had. The count starts at 0.
    static CResultVariable* Create(std::int32_t capacity);
    // A variable of `count` samples over arrays it does not own (a mapped
    // file), kept alive by `keep` until the variable goes. Writes go to the
    // arrays; resizing first copies them into memory of its own.
    static CResultVariable* Over(double* values, std::uint8_t* flags, std::int32_t count,
                                 std::shared_ptr<const void> keep);
    ~CResultVariable();
    CResultVariable(const CResultVariable&) = delete;
    CResultVariable& operator=(const CResultVariable&) = delete;

    void AddRef() { refs_.fetch_add(1, std::memory_order_relaxed); }
    // Drops one reference; the variable deletes itself at zero.
    void Release();
    std::int32_t RefCount() const { return refs_.load(std::memory_order_acquire); }

    std::int32_t Capacity() const { return capacity_; }
    double* Values() { return values_; }
    const double* Values() const { return values_; }
    std::uint8_t* Flags() { return flags_; }
    const std::uint8_t* Flags() const { return flags_; }

    double Min() const { return min_; }
    double Max() const { return max_; }
    void SetExtents(double mn, double mx) {
        min_ = mn;
        max_ = mx;
    }

    std::int32_t Kind() const { return kind_; }
    void SetKind(std::int32_t kind) { kind_ = kind; }

    // An empty name means "no name".
    const std::string& Name() const { return name_; }
    bool HasName() const { return !name_.empty(); }
    void SetName(std::string name) { name_ = std::move(name); }

    // The unit the file gave its samples in ("V", "kA"), empty when it gave none.
    const std::string& Unit() const { return unit_; }
    void SetUnit(std::string unit) { unit_ = std::move(unit); }

    // What the file says the variable is, without its unit; empty when it says nothing.
    const std::string& Description() const { return description_; }
    void SetDescription(std::string text) { description_ = std::move(text); }

    // The owned formula of a derived variable, or null.
    VariableFormula* Formula() const { return formula_.get(); }
    void SetFormula(std::unique_ptr<VariableFormula> formula) { formula_ = std::move(formula); }

    // A new variable of `capacity` holding the first `keep` samples of this one,
    // its extents, kind, name, unit and description; null when out of memory.
    CResultVariable* CopyResized(std::int32_t capacity, std::int32_t keep) const;
    // Changes the capacity in place, keeping min(old, new) samples; new samples
    // are 0.0 and missing. Only for a variable nobody else holds.
    bool ResizeInPlace(std::int32_t capacity);
    // True while the samples are memory the variable does not own.
    bool Borrowed() const { return keep_ != nullptr; }

private:
    CResultVariable() = default;
    bool Unborrow(std::int32_t capacity);

    std::int32_t capacity_ = 0;
    double* values_ = nullptr;
    std::uint8_t* flags_ = nullptr;
    double min_ = 0.0;
    double max_ = 0.0;
    std::int32_t kind_ = kVariableRead;
    std::string name_;
    std::string unit_;
    std::string description_;
    std::atomic<std::int32_t> refs_{0};
    std::unique_ptr<VariableFormula> formula_;
    std::shared_ptr<const void> keep_;  // the owner of borrowed samples, else null
};

}  // namespace kurvex
