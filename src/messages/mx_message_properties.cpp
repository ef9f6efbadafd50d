// MXMessage: body properties by id or by name, and the walk over the root body's properties.
//
// A property id travels to the MIME library in the place of the property's name. A client's values
// travel as UTF-16 (VT_LPWSTR), so text that the ANSI code page cannot hold (a Japanese subject
// under 1252, a French one under 1251) reads and writes whole; names, and the values that pelkary
// itself reads, travel as ANSI strings (VT_LPSTR).

#include <vector>

#include "comsupport/com_ptr.h"
#include "comsupport/scope_exit.h"
#include "comsupport/text.h"
#include "comsupport/unique_bstr.h"
#include "comsupport/unique_propvariant.h"
#include "messages/body_handle.h"
#include "messages/mx_message.h"

namespace pelkary {

namespace {

// The ANSI form of a client's name, never null (an empty name is passed as "").
std::string AnsiOf(BSTR text) { return bstr_to_ansi(text); }

std::wstring TextOf(BSTR text) { return text ? std::wstring(text, SysStringLen(text)) : std::wstring(); }

// Sets a text property: VT_LPSTR for ANSI text, VT_LPWSTR for UTF-16. The library receives a
// buffer of our own, never the client's string.
template <typename Char>
bool SetTextProperty(IMimeMessage* message, long body_handle, LPCSTR name, std::basic_string_view<Char> value) {
    std::vector<Char> buffer(value.begin(), value.end());
    buffer.push_back(Char());
    PROPVARIANT variant;
    PropVariantInit(&variant);
    if constexpr (sizeof(Char) == 1) {
        variant.vt = VT_LPSTR;
        variant.pszVal = buffer.data();
    } else {
        variant.vt = VT_LPWSTR;
        variant.pwszVal = buffer.data();
    }
    return SUCCEEDED(message->SetBodyProp(ToHBody(body_handle), name, 0, &variant));
}

}  // namespace

bool MXMessage::WriteBodyProperty(long body_handle, LPCSTR name, const std::string& value) noexcept {
    return mimeMessage_ && SetTextProperty<char>(mimeMessage_.get(), body_handle, name, value);
}

// In UTF-16 (VT_LPWSTR): a client's values and file names may hold characters the code page has not.
std::optional<std::wstring> MXMessage::ReadBodyPropertyWide(long body_handle, LPCSTR name) noexcept {
    if (!mimeMessage_) return std::nullopt;
    unique_propvariant value;
    value.vt = VT_LPWSTR;
    HRESULT hr = mimeMessage_->GetBodyProp(ToHBody(body_handle), name, 0, &value);
    if (FAILED(hr) || hr == S_FALSE) return std::nullopt;
    try {
        if (value.vt == VT_LPWSTR) return std::wstring(value.pwszVal ? value.pwszVal : L"");
        if (value.vt == VT_LPSTR && value.pszVal) return ansi_to_wide(value.pszVal);
        return std::wstring();
    } catch (...) {
        return std::nullopt;
    }
}

bool MXMessage::WriteBodyPropertyWide(long body_handle, LPCSTR name, const std::wstring& value) noexcept {
    return mimeMessage_ && SetTextProperty<wchar_t>(mimeMessage_.get(), body_handle, name, value);
}

HRESULT MXMessage::GetFirstBodyProp(long /*bodyHandle: the walk always covers the root body*/, long *propId,
                                    BSTR *propName) {
    return Guard(L"GetFirstBodyProp", [&] {
        *propId = -1;
        if (!EnsureMimeMessage() || !Allocator()) return;
        propertyEnumerator_.reset();
        com_ptr<IMimePropertySet> root;
        if (FAILED(mimeMessage_->BindToObject(HBODY_ROOT, IID_IMimePropertySet, root.put_void())) || !root)
            return;
        if (FAILED(root->EnumProps(0, propertyEnumerator_.put())) || !propertyEnumerator_) {
            propertyEnumerator_.reset();
            return;
        }
        root.reset();
        *propName = NextRootProperty(propId).release();
    }, propId, propName);
}

HRESULT MXMessage::GetNextBodyProp(long *propId, BSTR *propName) {
    return Guard(L"GetNextBodyProp", [&] {
        *propId = -1;
        if (!EnsureMimeMessage()) return;
        *propName = NextRootProperty(propId).release();
    }, propId, propName);
}

unique_bstr MXMessage::NextRootProperty(long* prop_id) {
    *prop_id = -1;
    if (!propertyEnumerator_) return unique_bstr();
    ENUMPROPERTY entry{};
    ULONG fetched = 0;
    if (propertyEnumerator_->Next(1, &entry, &fetched) != S_OK || fetched == 0) {
        propertyEnumerator_.reset();
        return unique_bstr();
    }
    // The entry's strings go back through the allocator whatever happens to the name.
    auto free_entry = scope_exit([&] {
        if (IMimeAllocator* allocator = Allocator()) allocator->FreeEnumPropertyArray(1, &entry, FALSE);
    });
    unique_bstr name = ansi_to_bstr(entry.pszName ? entry.pszName : "");
    *prop_id = static_cast<long>(entry.dwPropId);
    return name;
}

// Reads by id. The id -1 names no property and is answered without asking the library; neither
// is an id that could not travel in a name's place (see IsPassablePropertyId).
HRESULT MXMessage::GetBodyProp(long bodyHandle, enum tagNUVAKMIMEPROPID propId, long *exist, BSTR *propText) {
    return Guard(L"GetBodyProp", [&] {
        *exist = 0;
        const long id = static_cast<long>(propId);
        if (id == -1 || !IsPassablePropertyId(id) || !EnsureMimeMessage()) return;
        if (auto value = ReadBodyPropertyWide(bodyHandle, PropertyIdAsName(id))) {
            *propText = make_bstr(*value).release();
            *exist = 1;
        }
    }, exist, propText);
}

HRESULT MXMessage::GetBodyPropByName(long bodyHandle, BSTR propName, long *exist, BSTR *propText) {
    return Guard(L"GetBodyPropByName", [&] {
        *exist = 0;
        if (!EnsureMimeMessage()) return;
        std::string name = AnsiOf(propName);
        if (auto value = ReadBodyPropertyWide(bodyHandle, name.c_str())) {
            *propText = make_bstr(*value).release();
            *exist = 1;
        }
    }, exist, propText);
}

// Writes by id. An id that cannot travel in a name's place gets the library's refusal (0)
// without a call.
HRESULT MXMessage::SetBodyProp(long bodyHandle, enum tagNUVAKMIMEPROPID propId, BSTR propText, long *success) {
    return Guard(L"SetBodyProp", [&] {
        *success = 0;
        const long id = static_cast<long>(propId);
        if (!EnsureMimeMessage() || !IsPassablePropertyId(id)) return;
        *success = WriteBodyPropertyWide(bodyHandle, PropertyIdAsName(id), TextOf(propText)) ? 1 : 0;
    }, success);
}

long MXMessage::SetBodyPropByNameInternal(long body_handle, BSTR name, BSTR text) {
    if (!EnsureMimeMessage()) return 0;
    std::string ansi_name = AnsiOf(name);
    return WriteBodyPropertyWide(body_handle, ansi_name.c_str(), TextOf(text)) ? 1 : 0;
}

HRESULT MXMessage::SetBodyPropByName(long bodyHandle, BSTR propName, BSTR propText, long *success) {
    return Guard(L"SetBodyPropByName", [&] {
        *success = SetBodyPropByNameInternal(bodyHandle, propName, propText);
    }, success);
}

HRESULT MXMessage::DeleteBodyProp(long bodyHandle, enum tagNUVAKMIMEPROPID propId, long *success) {
    return Guard(L"DeleteBodyProp", [&] {
        *success = 0;
        const long id = static_cast<long>(propId);
        if (!EnsureMimeMessage() || !IsPassablePropertyId(id)) return;
        *success = SUCCEEDED(mimeMessage_->DeleteBodyProp(ToHBody(bodyHandle), PropertyIdAsName(id))) ? 1 : 0;
    }, success);
}

HRESULT MXMessage::DeleteBodyPropByName(long bodyHandle, BSTR propName, long *success) {
    return Guard(L"DeleteBodyPropByName", [&] {
        *success = 0;
        if (!EnsureMimeMessage()) return;
        std::string name = AnsiOf(propName);
        *success = SUCCEEDED(mimeMessage_->DeleteBodyProp(ToHBody(bodyHandle), name.c_str())) ? 1 : 0;
    }, success);
}

}  // namespace pelkary
