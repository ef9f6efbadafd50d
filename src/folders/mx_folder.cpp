#include "folders/mx_folder.h"

// Methods still answering E_NOTIMPL do not use their parameters yet.
#pragma GCC diagnostic ignored "-Wunused-parameter"

namespace pelkary {

const ClassIdentity MXFolder::kIdentity = {L"MXFolder", &CLSID_MXFolder, &IID_IMXFolder};

MXFolder::MXFolder() = default;
MXFolder::~MXFolder() = default;

void MXFolder::OpenById(long) {}
void MXFolder::OpenSpecial(long) {}

HRESULT MXFolder::GetID(long *result) { return E_NOTIMPL; }
HRESULT MXFolder::GetFirstChild(::MXFolder **result) { return E_NOTIMPL; }
HRESULT MXFolder::GetNextChild(::MXFolder **result) { return E_NOTIMPL; }
HRESULT MXFolder::GetFirstMessage(::MXMessage **result) { return E_NOTIMPL; }
HRESULT MXFolder::GetNextMessage(::MXMessage **result) { return E_NOTIMPL; }
HRESULT MXFolder::GetMessage(long msgId, ::MXMessage **result) { return E_NOTIMPL; }
HRESULT MXFolder::CreateMessage(BSTR msgSource, ::MXMessage **result) { return E_NOTIMPL; }
HRESULT MXFolder::DeleteMessage(long msgId, long permanent, long *result) { return E_NOTIMPL; }
HRESULT MXFolder::Name(BSTR *bstrHi) { return E_NOTIMPL; }
HRESULT MXFolder::IsNull(long *result) { return E_NOTIMPL; }
HRESULT MXFolder::MarkAsRead(long msgId, long *result) { return E_NOTIMPL; }
HRESULT MXFolder::MarkAsUnread(long msgId, long *result) { return E_NOTIMPL; }
HRESULT MXFolder::IsInbox(long *result) { return E_NOTIMPL; }
HRESULT MXFolder::IsOutbox(long *result) { return E_NOTIMPL; }
HRESULT MXFolder::IsSent(long *result) { return E_NOTIMPL; }
HRESULT MXFolder::IsDeleted(long *result) { return E_NOTIMPL; }
HRESULT MXFolder::IsDraft(long *result) { return E_NOTIMPL; }
HRESULT MXFolder::Rename(BSTR newName, long *result) { return E_NOTIMPL; }
HRESULT MXFolder::Move(long newParentId, long *result) { return E_NOTIMPL; }
HRESULT MXFolder::Delete(long *result) { return E_NOTIMPL; }
HRESULT MXFolder::CreateFolder(BSTR Name, long *result) { return E_NOTIMPL; }
HRESULT MXFolder::GetSubFolderCount(long *count) { return E_NOTIMPL; }
HRESULT MXFolder::GetUnreadCount(long *count) { return E_NOTIMPL; }
HRESULT MXFolder::GetMessageCount(long *count) { return E_NOTIMPL; }

}  // namespace pelkary
