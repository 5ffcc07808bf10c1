#pragma once

#include <utility>

namespace kurvex {

// Holder of an intrusively counted object (AddRef/Release); used wherever a
// variable or data set is shared between a data set, curves and worker threads.
template <class T>
class RefPtr {
public:
    RefPtr() = default;
    // Takes a new reference to p.
    explicit RefPtr(T* p) : p_(p) {
        if (p_) p_->AddRef();
    }
    RefPtr(const RefPtr& o) : RefPtr(o.p_) {}
    RefPtr(RefPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    RefPtr& operator=(RefPtr o) noexcept {
        std::swap(p_, o.p_);
        return *this;
    }
    ~RefPtr() {
        if (p_) p_->Release();
    }

    T* get() const { return p_; }
    T* operator->() const { return p_; }
    T& operator*() const { return *p_; }
    explicit operator bool() const { return p_ != nullptr; }

private:
    T* p_ = nullptr;
};

}  // namespace kurvex
