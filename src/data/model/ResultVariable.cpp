#include "data/model/ResultVariable.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace kurvex {

// Samples live in calloc'd blocks: large blocks come zeroed from the kernel
// without being touched, so an over-estimated capacity costs address space,
// not resident memory, and realloc can grow them by remapping, not copying.
CResultVariable* CResultVariable::Create(std::int32_t capacity) {
    capacity = std::max<std::int32_t>(capacity, 0);
    auto* v = new CResultVariable();
    if (capacity > 0) {
        v->values_ =
            static_cast<double*>(std::calloc(static_cast<size_t>(capacity), sizeof(double)));
        v->flags_ = static_cast<std::uint8_t*>(std::calloc(static_cast<size_t>(capacity), 1));
        if (!v->values_ || !v->flags_) {
            delete v;
            return nullptr;
        }
    }
    v->capacity_ = capacity;
    return v;
}

CResultVariable* CResultVariable::Over(double* values, std::uint8_t* flags, std::int32_t count,
                                       std::shared_ptr<const void> keep) {
    auto* v = new CResultVariable();
    v->capacity_ = std::max<std::int32_t>(count, 0);
    v->values_ = values;
    v->flags_ = flags;
    // Borrowed memory is never freed here, even without an owner to keep it.
    v->keep_ = keep ? std::move(keep) : std::make_shared<int>(0);
    return v;
}

CResultVariable::~CResultVariable() {
    if (keep_) return;  // borrowed: the owner frees it
    std::free(values_);
    std::free(flags_);
}

void CResultVariable::Release() {
    if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
}

CResultVariable* CResultVariable::CopyResized(std::int32_t capacity, std::int32_t keep) const {
    CResultVariable* v = Create(capacity);
    if (!v) return nullptr;
    keep = std::clamp<std::int32_t>(keep, 0, std::min(capacity_, v->capacity_));
    if (keep > 0) {
        std::memcpy(v->values_, values_, static_cast<size_t>(keep) * sizeof(double));
        std::memcpy(v->flags_, flags_, static_cast<size_t>(keep));
    }
    v->min_ = min_;
    v->max_ = max_;
    v->kind_ = kind_;
    v->name_ = name_;
    v->unit_ = unit_;
    v->description_ = description_;
    return v;
}

bool CResultVariable::ResizeInPlace(std::int32_t capacity) {
    capacity = std::max<std::int32_t>(capacity, 0);
    if (capacity == capacity_) return true;
    if (keep_) return Unborrow(capacity);
    if (capacity == 0) {
        std::free(values_);
        std::free(flags_);
        values_ = nullptr;
        flags_ = nullptr;
        capacity_ = 0;
        return true;
    }
    const auto n = static_cast<size_t>(capacity);
    auto* values = static_cast<double*>(std::realloc(values_, n * sizeof(double)));
    if (!values) return false;
    values_ = values;
    auto* flags = static_cast<std::uint8_t*>(std::realloc(flags_, n));
    if (!flags) {
        // The values block is already at least as large as both sizes need, so
        // the variable stays consistent at whichever capacity is smaller.
        if (capacity > capacity_) return false;
        capacity_ = capacity;
        return true;
    }
    flags_ = flags;
    if (capacity > capacity_) {
        const auto old = static_cast<size_t>(capacity_);
        std::fill(values_ + old, values_ + n, 0.0);
        std::memset(flags_ + old, kPointMissing, n - old);
    }
    capacity_ = capacity;
    return true;
}

// Borrowed samples cannot be realloc'd: the kept ones move to memory of our own.
bool CResultVariable::Unborrow(std::int32_t capacity) {
    double* values = nullptr;
    std::uint8_t* flags = nullptr;
    if (capacity > 0) {
        values = static_cast<double*>(std::calloc(static_cast<size_t>(capacity), sizeof(double)));
        flags = static_cast<std::uint8_t*>(std::calloc(static_cast<size_t>(capacity), 1));
        if (!values || !flags) {
            std::free(values);
            std::free(flags);
            return false;
        }
        const auto keep = static_cast<size_t>(std::min(capacity, capacity_));
        if (keep > 0) {
            std::memcpy(values, values_, keep * sizeof(double));
            std::memcpy(flags, flags_, keep);
        }
    }
    values_ = values;
    flags_ = flags;
    capacity_ = capacity;
    keep_.reset();
    return true;
}

}  // namespace kurvex
