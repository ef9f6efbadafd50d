// The thread's error object as a test reads it, and texts for failure messages.
#pragma once

#include <objbase.h>
#include <oleauto.h>

#include <string>

#include <gtest/gtest.h>

#include "comsupport/holders.h"
#include "comsupport/text.h"

namespace pelkary::test {

// UTF-16 to UTF-8, for messages.
inline std::string Narrow(const std::wstring& text) { return to_utf8(text); }

// "{XXXXXXXX-XXXX-...}" as StringFromGUID2 writes it, for messages.
inline std::string GuidText(const GUID& guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return Narrow(text);
}

struct ErrorRecord {
    bool present = false;  // GetErrorInfo found an error object
    std::wstring description;
    std::wstring source;
    GUID guid = GUID_NULL;
};

// Takes the calling thread's error object (GetErrorInfo(0, ...), which also clears it) and reads
// its description, source and GUID. Without one, `present` is false and the rest is empty.
inline ErrorRecord ErrorInfoOf() {
    ErrorRecord record;
    com_ptr<IErrorInfo> info;
    if (GetErrorInfo(0, info.put()) != S_OK || !info) return record;
    record.present = true;
    unique_bstr description, source;
    EXPECT_EQ(S_OK, info->GetDescription(description.put()));
    if (description) record.description.assign(description.get(), description.length());
    EXPECT_EQ(S_OK, info->GetSource(source.put()));
    if (source) record.source.assign(source.get(), source.length());
    EXPECT_EQ(S_OK, info->GetGUID(&record.guid));
    return record;
}

// Sets an error object whose source is `source` (and no other field): a marker for tests that a
// call leaves the thread's error object as it was.
inline void SetMarkerErrorInfo(const wchar_t* source) {
    com_ptr<ICreateErrorInfo> create;
    ASSERT_EQ(S_OK, CreateErrorInfo(create.put()));
    create->SetSource(const_cast<LPOLESTR>(source));
    SetErrorInfo(0, create.try_query<IErrorInfo>().get());
}

}  // namespace pelkary::test
