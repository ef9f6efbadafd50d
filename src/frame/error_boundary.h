// The edge of every automation method of pelkary: out-pointer checks, then the work inside the
// shared error boundary (comsupport/error_boundary.h, `guarded`), which turns a com_error into its
// HRESULT plus an error object, any other standard exception into E_FAIL with the exception's text
// as description, and anything else into E_UNEXPECTED: no exception ever leaves a method. pelkary
// reports an allocation failure as E_FAIL too ("bad allocation"). Every interface method that can
// fail goes through error_boundary::run; nothing else catches exceptions at the edge.
#pragma once


#include "comsupport/com_error.h"
#include "comsupport/error_boundary.h"

namespace pelkary {

// Who a method belongs to: the class name ("MXFolder"), its CLSID and its main interface's IID.
struct ClassIdentity {
    const wchar_t* class_name;
    const CLSID* clsid;
    const IID* iid;
};

// What an allocation failure gives a client of pelkary.
constexpr HRESULT kOutOfMemoryResult = E_FAIL;

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
    return guarded(ErrorSource{cls.class_name, method, *cls.iid}, [&] {
        work();
        return S_OK;
    }, kOutOfMemoryResult);
}

}  // namespace error_boundary

}  // namespace pelkary
