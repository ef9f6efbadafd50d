// unique_cotaskmem: an owned block of COM task memory.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <cstddef>
#include <utility>

namespace pelkary {

// A block of the CoTaskMemAlloc family, freed with CoTaskMemFree.
template <typename T>
class unique_cotaskmem {
public:
    unique_cotaskmem() noexcept = default;
    explicit unique_cotaskmem(T* p) noexcept : p_(p) {}
    unique_cotaskmem(unique_cotaskmem&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    unique_cotaskmem& operator=(unique_cotaskmem&& o) noexcept { reset(std::exchange(o.p_, nullptr)); return *this; }
    unique_cotaskmem(const unique_cotaskmem&) = delete;
    unique_cotaskmem& operator=(const unique_cotaskmem&) = delete;
    ~unique_cotaskmem() { reset(); }

    void reset(T* p = nullptr) noexcept { if (p_ && p_ != p) CoTaskMemFree(p_); p_ = p; }
    T* release() noexcept { return std::exchange(p_, nullptr); }
    T** put() noexcept { reset(); return &p_; }
    T* get() const noexcept { return p_; }
    T& operator[](std::size_t i) const noexcept { return p_[i]; }
    T* operator->() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }

private:
    T* p_ = nullptr;
};

}  // namespace pelkary
