// unique_bstr: an owned BSTR.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <utility>

namespace pelkary {

// A BSTR of the SysAllocString family, freed with SysFreeString.
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

}  // namespace pelkary
