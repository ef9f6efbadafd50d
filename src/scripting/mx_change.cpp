#include "scripting/mx_change.h"

#include "comsupport/text.h"

namespace pelkary {

const ClassIdentity MXChange::kIdentity = {L"MXChange", &CLSID_MXChange, &IID_IMXChange};

com_ptr<IMXChange> MXChange::Make(std::wstring kind, long folder_id, long message_id, std::wstring cursor) {
    return com_ptr<IMXChange>(new MXChange(std::move(kind), folder_id, message_id, std::move(cursor)));
}

HRESULT MXChange::get_Kind(BSTR* kind) {
    return Guard(L"Kind", [&] { *kind = make_bstr(kind_).release(); }, kind);
}

HRESULT MXChange::get_Cursor(BSTR* cursor) {
    return Guard(L"Cursor", [&] { *cursor = make_bstr(cursor_).release(); }, cursor);
}

}  // namespace pelkary
