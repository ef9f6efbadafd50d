// unique_any: the owner of a handle with a close function, and the handle holders built on it
// (kernel handles, file handles, windows, registry keys, loaded modules, stdio files).
#pragma once

#include <windows.h>

#include <cstdio>
#include <utility>

namespace pelkary {

template <typename H>
constexpr H null_handle() noexcept { return nullptr; }

// Owns one value of `H`; closes it with `Close` unless it is `Invalid()`.
template <typename H, auto Close, auto Invalid = &null_handle<H>>
class unique_any {
public:
    unique_any() noexcept = default;
    explicit unique_any(H h) noexcept : h_(h) {}
    unique_any(unique_any&& o) noexcept : h_(std::exchange(o.h_, Invalid())) {}
    unique_any& operator=(unique_any&& o) noexcept { reset(std::exchange(o.h_, Invalid())); return *this; }
    unique_any(const unique_any&) = delete;
    unique_any& operator=(const unique_any&) = delete;
    ~unique_any() { reset(); }

    void reset(H h = Invalid()) noexcept {
        if (h_ != Invalid() && h_ != h) Close(h_);
        h_ = h;
    }
    H release() noexcept { return std::exchange(h_, Invalid()); }
    H get() const noexcept { return h_; }
    H* put() noexcept { reset(); return &h_; }
    explicit operator bool() const noexcept { return h_ != Invalid(); }

private:
    H h_ = Invalid();
};

inline HANDLE invalid_file_handle() noexcept { return INVALID_HANDLE_VALUE; }

// A kernel handle whose invalid value is null (threads, processes, events, mutexes, mappings).
using unique_handle = unique_any<HANDLE, &CloseHandle>;
// A file handle (CreateFile), whose invalid value is INVALID_HANDLE_VALUE.
using unique_hfile = unique_any<HANDLE, &CloseHandle, &invalid_file_handle>;
using unique_hwnd = unique_any<HWND, &DestroyWindow>;
using unique_hkey = unique_any<HKEY, &RegCloseKey>;
// A module that LoadLibrary loaded.
using unique_hmodule = unique_any<HMODULE, &FreeLibrary>;
using unique_file = unique_any<FILE*, &fclose>;

}  // namespace pelkary
