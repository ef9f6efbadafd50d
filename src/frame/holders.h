// Owning holders for COM and Win32 resources. Every interface pointer, BSTR, task-memory block,
// window and kernel handle that pelkary keeps is held by one of these, so that release happens
// exactly once on every path, exceptions included.
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <objbase.h>
#include <ocidl.h>
#include <propidl.h>

#include <cstdio>
#include <new>
#include <type_traits>
#include <utility>

namespace pelkary {

// Counted reference to a COM interface. Not thread-safe beyond the object's own counting.
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

// Owned BSTR (SysAllocString family).
class unique_bstr {
public:
    unique_bstr() noexcept = default;
    explicit unique_bstr(BSTR s) noexcept : s_(s) {}
    unique_bstr(unique_bstr&& o) noexcept : s_(std::exchange(o.s_, nullptr)) {}
    unique_bstr& operator=(unique_bstr&& o) noexcept { reset(std::exchange(o.s_, nullptr)); return *this; }
    unique_bstr(const unique_bstr&) = delete;
    unique_bstr& operator=(const unique_bstr&) = delete;
    ~unique_bstr() { reset(); }

    void reset(BSTR s = nullptr) noexcept { if (s_ && s_ != s) SysFreeString(s_); s_ = s; }
    BSTR release() noexcept { return std::exchange(s_, nullptr); }
    BSTR* put() noexcept { reset(); return &s_; }
    BSTR get() const noexcept { return s_; }
    UINT length() const noexcept { return s_ ? SysStringLen(s_) : 0; }
    explicit operator bool() const noexcept { return s_ != nullptr; }

private:
    BSTR s_ = nullptr;
};

// Owned block of COM task memory (CoTaskMemAlloc family).
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
    T& operator[](size_t i) const noexcept { return p_[i]; }
    T* operator->() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }

private:
    T* p_ = nullptr;
};

// Owned PROPVARIANT, cleared with PropVariantClear.
class unique_propvariant : public PROPVARIANT {
public:
    unique_propvariant() noexcept { PropVariantInit(this); }
    unique_propvariant(const unique_propvariant&) = delete;
    unique_propvariant& operator=(const unique_propvariant&) = delete;
    ~unique_propvariant() { PropVariantClear(this); }
    void reset() noexcept { PropVariantClear(this); }
};

// Generic owner of a value with a close function; the base of the handle holders below.
template <typename H, typename Close, H Invalid>
class unique_any {
public:
    unique_any() noexcept = default;
    explicit unique_any(H h) noexcept : h_(h) {}
    unique_any(unique_any&& o) noexcept : h_(std::exchange(o.h_, Invalid)) {}
    unique_any& operator=(unique_any&& o) noexcept { reset(std::exchange(o.h_, Invalid)); return *this; }
    unique_any(const unique_any&) = delete;
    unique_any& operator=(const unique_any&) = delete;
    ~unique_any() { reset(); }

    void reset(H h = Invalid) noexcept { if (h_ != Invalid && h_ != h) Close()(h_); h_ = h; }
    H release() noexcept { return std::exchange(h_, Invalid); }
    H get() const noexcept { return h_; }
    H* put() noexcept { reset(); return &h_; }
    explicit operator bool() const noexcept { return h_ != Invalid; }

private:
    H h_ = Invalid;
};

struct close_handle_fn { void operator()(HANDLE h) const noexcept { CloseHandle(h); } };
struct destroy_window_fn { void operator()(HWND h) const noexcept { DestroyWindow(h); } };
struct reg_close_key_fn { void operator()(HKEY h) const noexcept { RegCloseKey(h); } };

// A kernel handle whose invalid value is null (threads, events, mutexes, mappings).
using unique_handle = unique_any<HANDLE, close_handle_fn, nullptr>;
// A file handle, whose invalid value is INVALID_HANDLE_VALUE.
class unique_hfile {
public:
    unique_hfile() noexcept = default;
    explicit unique_hfile(HANDLE h) noexcept : h_(h) {}
    unique_hfile(unique_hfile&& o) noexcept : h_(std::exchange(o.h_, INVALID_HANDLE_VALUE)) {}
    unique_hfile& operator=(unique_hfile&& o) noexcept { reset(std::exchange(o.h_, INVALID_HANDLE_VALUE)); return *this; }
    unique_hfile(const unique_hfile&) = delete;
    unique_hfile& operator=(const unique_hfile&) = delete;
    ~unique_hfile() { reset(); }
    void reset(HANDLE h = INVALID_HANDLE_VALUE) noexcept {
        if (h_ != INVALID_HANDLE_VALUE && h_ != h) CloseHandle(h_);
        h_ = h;
    }
    HANDLE get() const noexcept { return h_; }
    explicit operator bool() const noexcept { return h_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE h_ = INVALID_HANDLE_VALUE;
};
using unique_hwnd = unique_any<HWND, destroy_window_fn, nullptr>;
using unique_hkey = unique_any<HKEY, reg_close_key_fn, nullptr>;

// Stdio file closed on scope exit.
struct fclose_fn { void operator()(FILE* f) const noexcept { fclose(f); } };
using unique_file = unique_any<FILE*, fclose_fn, nullptr>;

// Runs a callable when the scope is left, unless dismissed.
template <typename F>
class scope_exit_t {
public:
    explicit scope_exit_t(F f) noexcept : f_(std::move(f)) {}
    scope_exit_t(const scope_exit_t&) = delete;
    scope_exit_t& operator=(const scope_exit_t&) = delete;
    ~scope_exit_t() { if (armed_) f_(); }
    void dismiss() noexcept { armed_ = false; }

private:
    F f_;
    bool armed_ = true;
};
template <typename F>
[[nodiscard]] scope_exit_t<F> scope_exit(F f) noexcept { return scope_exit_t<F>(std::move(f)); }

// Holds a critical section for the length of a scope.
class critical_section_lock {
public:
    explicit critical_section_lock(CRITICAL_SECTION& cs) noexcept : cs_(cs) { EnterCriticalSection(&cs_); }
    ~critical_section_lock() { LeaveCriticalSection(&cs_); }
    critical_section_lock(const critical_section_lock&) = delete;
    critical_section_lock& operator=(const critical_section_lock&) = delete;

private:
    CRITICAL_SECTION& cs_;
};

}  // namespace pelkary
