// The error boundary: where an exception inside a server becomes an HRESULT and an error object,
// so that no C++ exception ever crosses a COM call. One translation serves every server:
//   - com_error: its HRESULT; the error object of a callee it carries keeps its description,
//     source and GUID, and whatever it lacks comes from the failing method;
//   - std::bad_alloc: the out-of-memory code the server reports (E_OUTOFMEMORY unless its
//     contract says otherwise), described as "bad allocation";
//   - any other std::exception: E_FAIL, described by its text;
//   - anything else: E_UNEXPECTED.
// The error object's source is the class name, a full stop and the method name
// ("StoreFolder.CommitStream"), and its GUID the interface's IID; an ErrorSource that names
// nothing adds neither, so the error object carries only what the exception carries.
#pragma once

#include <windows.h>
#include <cguid.h>
#include <objbase.h>

#include <string>
#include <utility>

namespace pelkary {

// The failing method, as its error object names it.
struct ErrorSource {
    const wchar_t* class_name = nullptr;   // "MXFolder", or null
    const wchar_t* method_name = nullptr;  // "GetFirstChild", or null
    IID iid = GUID_NULL;                   // the interface the method belongs to

    // "Class.Method"; "Class" without a method; the method alone without a class.
    std::wstring composed() const;
};

// Creates an error object with these fields and makes it the thread's current one. Failures of
// the individual setters are ignored (and a failing CreateErrorInfo leaves no error object);
// `hr` is returned unchanged.
HRESULT set_error_object(HRESULT hr, const wchar_t* description, const wchar_t* source, const GUID& guid,
                         const wchar_t* help_file, DWORD help_context) noexcept;

// Translates the exception in flight (see the top of this header) into an error object that
// describes `where`, and returns the HRESULT to give the caller. Call it from a catch block.
HRESULT translate_current_exception(const ErrorSource& where, HRESULT out_of_memory = E_OUTOFMEMORY) noexcept;

// The boundary itself: runs `work`, which returns the method's HRESULT, and translates whatever
// it throws (see the top of this header); `out_of_memory` is the code of an allocation failure.
// Every server's methods go through it.
template <typename Work>
HRESULT guarded(const ErrorSource& where, Work&& work, HRESULT out_of_memory = E_OUTOFMEMORY) noexcept {
    try {
        return std::forward<Work>(work)();
    } catch (...) {
        return translate_current_exception(where, out_of_memory);
    }
}

}  // namespace pelkary
