// Text conversions. Automation strings are BSTRs (UTF-16); the store, the MIME library, the
// registry and ANSI file names speak the ANSI code page; the portable engines speak UTF-8. Every
// conversion goes through one pair of routines (UTF-16 from a code page and back), so they all
// fail the same way:
//   - to UTF-16: std::runtime_error("MultiByteToWideChar has failed");
//   - from UTF-16: com_error with HRESULT_FROM_WIN32 of the last error;
//   - a BSTR that cannot be allocated: std::bad_alloc ("bad allocation").
// Characters a code page lacks become its default character ('?'); nothing fails for them.
#pragma once

#include <string>
#include <string_view>

#include "comsupport/unique_bstr.h"

namespace pelkary {

// New BSTR with a copy of `text`.
unique_bstr make_bstr(std::wstring_view text);

// ANSI (CP_ACP) to a new BSTR. A null `ansi` gives a null BSTR. Conversion stops at the first NUL
// when `length` is -1.
unique_bstr ansi_to_bstr(const char* ansi, int length = -1);
// ANSI to std::wstring (same rules; null gives "").
std::wstring ansi_to_wide(const char* ansi, int length = -1);

// UTF-16 to ANSI (no default character is asked for). Null or empty gives "".
std::string to_ansi(const wchar_t* text, int length = -1);
// The whole BSTR (its recorded length, embedded NULs included); null gives "".
inline std::string bstr_to_ansi(BSTR text) {
    return to_ansi(static_cast<const wchar_t*>(text), static_cast<int>(text ? SysStringLen(text) : 0));
}

// UTF-8 to and from UTF-16.
std::string to_utf8(std::wstring_view text);
std::wstring utf8_to_wide(std::string_view utf8);
// UTF-8 to and from ANSI, through UTF-16; pure ASCII is copied as it is.
std::string utf8_to_ansi(std::string_view utf8);
std::string ansi_to_utf8(std::string_view ansi);

}  // namespace pelkary
