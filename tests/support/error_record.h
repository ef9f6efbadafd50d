// The thread's error object as a test reads it.
#pragma once

#include <string>

#include <objbase.h>

namespace pelkary::test {

struct ErrorRecord {
    bool present = false;           // GetErrorInfo found an error object
    std::wstring description;
    bool source_null = true;
    std::wstring source;
    GUID guid = GUID_NULL;
};

// Takes the calling thread's error object (GetErrorInfo(0, ...), which also clears it) and reads
// its description, source and GUID. Without one, `present` is false and the rest is empty.
ErrorRecord ErrorInfoOf();

// Sets an error object whose source is `source` (and no other field): a marker for tests that a
// call leaves the thread's error object as it was.
void SetMarkerErrorInfo(const wchar_t* source);

// "{XXXXXXXX-XXXX-...}" as StringFromGUID2 writes it, for messages.
std::string GuidText(const GUID& guid);

// UTF-16 to UTF-8, for messages.
std::string Narrow(const std::wstring& text);

}  // namespace pelkary::test
