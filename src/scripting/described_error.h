// A failure the scripting library explains to its caller: the error object that the boundary
// sets then carries this description (and the failing method as its source).
#pragma once

#include <windows.h>

namespace pelkary {

// Throws com_error(hr) carrying an error object whose only field is `description`.
[[noreturn]] void ThrowDescribed(HRESULT hr, const wchar_t* description);

}  // namespace pelkary
