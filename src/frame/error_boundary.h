// The edge of every automation method: out-pointer checks, then the work inside a guarded
// region that turns a com_error into its HRESULT plus an error object, and any other standard
// exception into E_FAIL with the exception's text as description. Every interface method that can
// fail goes through error_boundary::run; nothing else catches exceptions at the edge.
#pragma once

#include <exception>
#include <new>
#include <string>
#include <type_traits>

#include "frame/com_error.h"

namespace pelkary {

// Who a method belongs to: the class name ("MXFolder"), its CLSID and its main interface's IID.
struct ClassIdentity {
    const wchar_t* class_name;
    const CLSID* clsid;
    const IID* iid;
};

// Describes the failing method in an error object.
struct ErrorSource {
    const wchar_t* method_name = nullptr;  // as in the type library, e.g. L"GetFirstChild"
    const wchar_t* class_name = nullptr;   // L"MXFolder", or null
    CLSID clsid = GUID_NULL;
    IID iid = GUID_NULL;
    BSTR source_override = nullptr;  // always null in pelkary; kept for completeness

    // The source text: the override; else "Class.Method" (or "Class" without a method); else the
    // method name.
    std::wstring composed() const;
};

// Creates an error object with these fields and makes it the thread's current one. Failures of
// the individual setters are ignored; `hr` is returned unchanged.
HRESULT set_error_object(HRESULT hr, const wchar_t* description, const wchar_t* source, const GUID& guid,
                         const wchar_t* help_file, DWORD help_context) noexcept;

// Translates the exception in flight (a com_error or another std::exception) into an error
// object described by `where` and returns the HRESULT to give the caller. Must be called from a
// catch block; anything that is not a std::exception is rethrown.
HRESULT translate_current_exception(const ErrorSource& where) noexcept(false);

namespace error_boundary {

namespace detail {
inline void clear_out(BSTR* out) noexcept { *out = nullptr; }
template <typename T>
void clear_out(T** out) noexcept { *out = nullptr; }
template <typename T>
void clear_out(T*) noexcept {}
}  // namespace detail

// Runs `work` for `method` of class `cls`. Each of `outs` is an out-pointer of the method: any
// null one gives E_POINTER before anything else happens (no error object); out-strings and
// out-objects start as null. `work` writes its results into the out-pointers when it succeeds.
// Returns S_OK, or the failure's HRESULT with the thread's error object set.
template <typename Work, typename... Outs>
HRESULT run(const ClassIdentity& cls, const wchar_t* method, Work&& work, Outs*... outs) {
    if (((outs == nullptr) || ...)) return E_POINTER;
    (detail::clear_out(outs), ...);
    try {
        work();
        return S_OK;
    } catch (const std::exception&) {
        ErrorSource where;
        where.method_name = method;
        where.class_name = cls.class_name;
        where.clsid = *cls.clsid;
        where.iid = *cls.iid;
        return translate_current_exception(where);
    }
}

}  // namespace error_boundary

// Writes `value` through `out` for methods that cannot fail (no guarded region).
template <typename T, typename V>
HRESULT answer(T* out, V value) noexcept {
    if (!out) return E_POINTER;
    *out = static_cast<T>(value);
    return S_OK;
}

}  // namespace pelkary
