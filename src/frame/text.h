// Conversions between automation strings (BSTR, UTF-16) and the ANSI code page, which is what
// the store, the MIME library, the registry and ANSI file names speak.
#pragma once

#include <string>
#include <string_view>

#include "frame/holders.h"

namespace pelkary {

// New BSTR with a copy of `text`; throws std::bad_alloc ("bad allocation") when out of memory.
unique_bstr make_bstr(std::wstring_view text);

// ANSI (CP_ACP) to a new BSTR. A null `ansi` gives a null BSTR. Conversion stops at the first NUL
// when `length` is -1. Throws std::runtime_error("MultiByteToWideChar has failed") on failure.
unique_bstr ansi_to_bstr(const char* ansi, int length = -1);

// UTF-16 to ANSI (CP_ACP, no default character). Null or empty gives "". A failure throws
// com_error with HRESULT_FROM_WIN32 of the last error.
std::string to_ansi(const wchar_t* text, int length = -1);
// The whole BSTR (its recorded length, embedded NULs included); null gives "".
inline std::string bstr_to_ansi(BSTR text) {
    return to_ansi(static_cast<const wchar_t*>(text), static_cast<int>(text ? SysStringLen(text) : 0));
}

// ANSI to std::wstring (same rules as ansi_to_bstr).
std::wstring ansi_to_wide(const char* ansi, int length = -1);

}  // namespace pelkary
