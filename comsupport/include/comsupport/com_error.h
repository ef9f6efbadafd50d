// com_error: the exception that carries a failing HRESULT (and, optionally, the error object a
// callee left behind), and the routines that turn platform results into it. Inside the servers
// failures travel as exceptions; the error boundary (error_boundary.h) turns them back into an
// HRESULT and an error object at every method's edge.
#pragma once

#include <stdexcept>
#include <string>

#include "comsupport/com_ptr.h"
#include "comsupport/unique_bstr.h"

namespace pelkary {

class com_error : public std::runtime_error {
public:
    // `info`, when given, is the error object a callee left behind; a reference is added.
    explicit com_error(HRESULT hr, IErrorInfo* info = nullptr) noexcept;
    com_error(const com_error& other) noexcept;
    com_error& operator=(const com_error& other) noexcept;
    ~com_error() override;

    HRESULT hr() const noexcept { return hr_; }
    IErrorInfo* error_info() const noexcept { return info_.get(); }

    // Readers of the carried error object. Without one: null BSTR, GUID_NULL, context 0.
    // A failing call on the error object throws a new com_error with its code.
    unique_bstr description() const;
    unique_bstr source() const;
    unique_bstr help_file() const;
    GUID guid() const;
    DWORD help_context() const;

    // The description (ANSI), else the system's text for hr(), else empty; composed once.
    const char* what() const noexcept override;

private:
    HRESULT hr_;
    com_ptr<IErrorInfo> info_;
    mutable std::string message_;
    mutable bool composed_ = false;
};

// Throws com_error(hr) when hr is a failure; returns hr otherwise (S_FALSE passes through).
HRESULT check_hr(HRESULT hr);

// HRESULT_FROM_WIN32 of a Win32 status code: 0 or below unchanged, else (code & 0xFFFF) | 0x80070000.
HRESULT hresult_from_win32(LONG status) noexcept;

// Throws com_error with HRESULT_FROM_WIN32(GetLastError()).
[[noreturn]] void throw_last_error();
// Throws com_error with HRESULT_FROM_WIN32(status); registry calls pass their status here.
[[noreturn]] void throw_win32(LONG status);

// Throws com_error(E_POINTER) for an empty holder; otherwise returns the pointer.
template <typename T>
T* checked(const com_ptr<T>& p) {
    if (!p) throw com_error(E_POINTER);
    return p.get();
}

// QueryInterface that throws: its failure code, or E_NOINTERFACE when it yields null.
template <typename U, typename T>
com_ptr<U> query_or_throw(T* object) {
    if (!object) throw com_error(E_POINTER);
    com_ptr<U> r;
    check_hr(object->QueryInterface(__uuidof(U), r.put_void()));
    if (!r) throw com_error(E_NOINTERFACE);
    return r;
}

// CoCreateInstance that throws its failure code.
template <typename U>
com_ptr<U> create_or_throw(REFCLSID clsid, DWORD context) {
    com_ptr<U> r;
    check_hr(CoCreateInstance(clsid, nullptr, context, __uuidof(U), r.put_void()));
    if (!r) throw com_error(E_NOINTERFACE);
    return r;
}

// Throws com_error(hr) carrying an error object whose only field is `description`: the boundary
// adds the failing method as source and its interface as GUID.
[[noreturn]] void throw_described(HRESULT hr, const wchar_t* description);

// A call on an interface of the server's own (made from inside the server) failed with hr:
// throws com_error carrying hr and, when the callee supports error information, the callee's
// error object, so its description, source and GUID reach the client unchanged.
[[noreturn]] void throw_callee_failure(IUnknown* callee, REFIID iid, HRESULT hr);

// Calls on own interfaces go through this: success passes the HRESULT back, failure throws as
// throw_callee_failure does.
template <typename I>
HRESULT check_callee(I* callee, HRESULT hr) {
    if (FAILED(hr)) throw_callee_failure(callee, __uuidof(I), hr);
    return hr;
}

}  // namespace pelkary
