// Helpers shared by the MIME library's COM objects: module object counting,
// ANSI <-> UTF-8 conversion, body handle conversion, stream and property
// value helpers, and the mapping of engine results to HRESULTs.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <propidl.h>

#include <string>
#include <string_view>

#include "mime_api.h"
#include "mimeengine/message.h"
#include "mimeengine/property_registry.h"

namespace mimelib {

// Live objects and server locks of the module (DllCanUnloadNow).
void ModuleAddRef();
void ModuleRelease();
bool ModuleIdle();

// The ANSI code page text `ansi` as UTF-8 (null gives empty).
std::string AnsiToUtf8(const char* ansi);
// UTF-8 text in the ANSI code page; characters it lacks become '?'.
std::string Utf8ToAnsi(std::string_view utf8);
// Task-memory copy of `s` with a terminating NUL; nullptr when out of memory.
char* CoTaskStrDup(std::string_view s);

// HBODY -> engine handle. HBODY_ROOT, as (HBODY)-1 or as the 32-bit
// 0xFFFFFFFF, names the root; values above 32 bits name nothing (kNoBody).
mimeengine::BodyHandle ToEngineHandle(HBODY h);
inline HBODY ToHbody(mimeengine::BodyHandle h) { return reinterpret_cast<HBODY>(static_cast<ULONG_PTR>(h)); }

// A property name argument: an id below 0x10000 (PIDTOSTR) or an ANSI name.
// False when the id is unknown or the pointer is null.
bool PropertyName(LPCSTR name, std::string* utf8);

HRESULT ToHresult(mimeengine::Status s);

// Reads `stream` from its current position to its end.
HRESULT ReadAll(IStream* stream, std::string* out);
// A new memory stream holding `bytes`, positioned at its start.
HRESULT MakeStream(const void* bytes, size_t size, IStream** out);

// Fills a PROPVARIANT with text: VT_LPWSTR when the caller prepared that
// type, else VT_LPSTR in the ANSI code page; task memory owned by the caller.
HRESULT TextToPropVariant(std::string_view utf8, PROPVARIANT* value);
// Reads text from VT_LPSTR (ANSI), VT_LPWSTR or VT_BSTR values.
HRESULT PropVariantToText(const PROPVARIANT* value, std::string* utf8);

}  // namespace mimelib
