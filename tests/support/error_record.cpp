#include "support/error_record.h"

#include <oleauto.h>

#include <gtest/gtest.h>

#include "comsupport/holders.h"

namespace pelkary::test {

std::string Narrow(const std::wstring& text) {
    if (text.empty()) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::string GuidText(const GUID& guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return Narrow(text);
}

ErrorRecord ErrorInfoOf() {
    ErrorRecord record;
    com_ptr<IErrorInfo> info;
    if (GetErrorInfo(0, info.put()) != S_OK || !info) return record;
    record.present = true;
    unique_bstr description;
    EXPECT_EQ(S_OK, info->GetDescription(description.put()));
    if (description) record.description.assign(description.get(), description.length());
    unique_bstr source;
    EXPECT_EQ(S_OK, info->GetSource(source.put()));
    record.source_null = !source;
    if (source) record.source.assign(source.get(), source.length());
    EXPECT_EQ(S_OK, info->GetGUID(&record.guid));
    return record;
}

void SetMarkerErrorInfo(const wchar_t* source) {
    com_ptr<ICreateErrorInfo> create;
    ASSERT_EQ(S_OK, CreateErrorInfo(create.put()));
    create->SetSource(const_cast<LPOLESTR>(source));
    com_ptr<IErrorInfo> info = create.try_query<IErrorInfo>();
    ASSERT_TRUE(info);
    SetErrorInfo(0, info.get());
}

}  // namespace pelkary::test
