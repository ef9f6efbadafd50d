// What the MIME library's COM objects convert between their callers and the
// engine: body handles, property names and values, engine results, streams.
// Text is UTF-8 in the engine and the ANSI code page at the interfaces
// (comsupport/text.h converts).
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

// A new memory stream holding `bytes`, positioned at its start.
HRESULT MakeStream(std::string_view bytes, IStream** out);

// Fills a PROPVARIANT with text: VT_LPWSTR when the caller prepared that
// type, else VT_LPSTR in the ANSI code page; task memory owned by the caller.
HRESULT TextToPropVariant(std::string_view utf8, PROPVARIANT* value);
// Reads text from VT_LPSTR (ANSI), VT_LPWSTR or VT_BSTR values.
HRESULT PropVariantToText(const PROPVARIANT* value, std::string* utf8);

}  // namespace mimelib
