// unique_any: the owner of a handle with a close function, and the handle holders built on it
// (kernel handles, file handles, windows, registry keys, loaded modules, stdio files).
#pragma once

#include <windows.h>

#include <cstdio>
#include <utility>

namespace pelkary {

// Owns one value of `Traits::type`; closes it with `Traits::close` unless it is `Traits::invalid()`.
template <typename Traits>
class unique_any {
public:
    using handle_type = typename Traits::type;

    unique_any() noexcept = default;
    explicit unique_any(handle_type h) noexcept : h_(h) {}
    unique_any(unique_any&& o) noexcept : h_(std::exchange(o.h_, Traits::invalid())) {}
    unique_any& operator=(unique_any&& o) noexcept { reset(std::exchange(o.h_, Traits::invalid())); return *this; }
    unique_any(const unique_any&) = delete;
    unique_any& operator=(const unique_any&) = delete;
    ~unique_any() { reset(); }

    void reset(handle_type h = Traits::invalid()) noexcept {
        if (h_ != Traits::invalid() && h_ != h) Traits::close(h_);
        h_ = h;
    }
    handle_type release() noexcept { return std::exchange(h_, Traits::invalid()); }
    handle_type get() const noexcept { return h_; }
    handle_type* put() noexcept { reset(); return &h_; }
    explicit operator bool() const noexcept { return h_ != Traits::invalid(); }

private:
    handle_type h_ = Traits::invalid();
};

// A kernel handle whose invalid value is null (threads, processes, events, mutexes, mappings).
struct kernel_handle_traits {
    using type = HANDLE;
    static HANDLE invalid() noexcept { return nullptr; }
    static void close(HANDLE h) noexcept { CloseHandle(h); }
};
using unique_handle = unique_any<kernel_handle_traits>;

// A file handle (CreateFile), whose invalid value is INVALID_HANDLE_VALUE.
struct file_handle_traits {
    using type = HANDLE;
    static HANDLE invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(HANDLE h) noexcept { CloseHandle(h); }
};
using unique_hfile = unique_any<file_handle_traits>;

struct window_traits {
    using type = HWND;
    static HWND invalid() noexcept { return nullptr; }
    static void close(HWND h) noexcept { DestroyWindow(h); }
};
using unique_hwnd = unique_any<window_traits>;

struct registry_key_traits {
    using type = HKEY;
    static HKEY invalid() noexcept { return nullptr; }
    static void close(HKEY h) noexcept { RegCloseKey(h); }
};
using unique_hkey = unique_any<registry_key_traits>;

// A module that LoadLibrary loaded.
struct module_traits {
    using type = HMODULE;
    static HMODULE invalid() noexcept { return nullptr; }
    static void close(HMODULE h) noexcept { FreeLibrary(h); }
};
using unique_hmodule = unique_any<module_traits>;

struct stdio_file_traits {
    using type = FILE*;
    static FILE* invalid() noexcept { return nullptr; }
    static void close(FILE* f) noexcept { fclose(f); }
};
using unique_file = unique_any<stdio_file_traits>;

}  // namespace pelkary
