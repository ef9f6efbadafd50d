// com_ptr: a counted reference to a COM interface.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <cstddef>
#include <utility>

namespace pelkary {

// Holds one reference and releases it on destruction. Not thread-safe beyond the object's own
// counting.
template <typename T>
class com_ptr {
public:
    com_ptr() noexcept = default;
    com_ptr(std::nullptr_t) noexcept {}
    // Adds a reference to `p` (copy semantics, like any counted holder).
    explicit com_ptr(T* p) noexcept : p_(p) { if (p_) p_->AddRef(); }
    com_ptr(const com_ptr& o) noexcept : com_ptr(o.p_) {}
    com_ptr(com_ptr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    ~com_ptr() { reset(); }
    com_ptr& operator=(const com_ptr& o) noexcept { com_ptr(o).swap(*this); return *this; }
    com_ptr& operator=(com_ptr&& o) noexcept { com_ptr(std::move(o)).swap(*this); return *this; }
    com_ptr& operator=(std::nullptr_t) noexcept { reset(); return *this; }

    // Takes over a reference the caller already owns.
    static com_ptr attach(T* p) noexcept { com_ptr r; r.p_ = p; return r; }
    // Gives the reference away; the holder is empty afterwards.
    T* detach() noexcept { return std::exchange(p_, nullptr); }
    void reset() noexcept { if (T* p = std::exchange(p_, nullptr)) p->Release(); }
    // Releases what is held and returns the slot for an out-parameter (`**`).
    T** put() noexcept { reset(); return &p_; }
    void** put_void() noexcept { return reinterpret_cast<void**>(put()); }
    // Copies the reference into an out-parameter, adding a reference.
    void copy_to(T** out) const noexcept { *out = p_; if (p_) p_->AddRef(); }

    T* get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }
    void swap(com_ptr& o) noexcept { std::swap(p_, o.p_); }

    // QueryInterface into another holder; empty on failure.
    template <typename U>
    com_ptr<U> try_query() const noexcept {
        com_ptr<U> r;
        if (p_) p_->QueryInterface(__uuidof(U), r.put_void());
        return r;
    }

private:
    T* p_ = nullptr;
};

}  // namespace pelkary
