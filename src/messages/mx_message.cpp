#include "messages/mx_message.h"

// Methods still answering E_NOTIMPL do not use their parameters yet.
#pragma GCC diagnostic ignored "-Wunused-parameter"

namespace pelkary {

const ClassIdentity MXMessage::kIdentity = {L"MXMessage", &CLSID_MXMessage, &IID_IMXMessage};

MXMessage::MXMessage() = default;
MXMessage::~MXMessage() = default;

void MXMessage::OpenFromStore(long, unsigned long) {}
bool MXMessage::EnsureMimeMessage() { return false; }

HRESULT MXMessage::GetID(long *result) { return E_NOTIMPL; }
HRESULT MXMessage::GetFolderID(long *result) { return E_NOTIMPL; }
HRESULT MXMessage::GetSubject(BSTR *result) { return E_NOTIMPL; }
HRESULT MXMessage::GetNormalSubject(BSTR *result) { return E_NOTIMPL; }
HRESULT MXMessage::GetDisplayTo(BSTR *result) { return E_NOTIMPL; }
HRESULT MXMessage::GetDisplayFrom(BSTR *result) { return E_NOTIMPL; }
HRESULT MXMessage::GetState(long *result) { return E_NOTIMPL; }
HRESULT MXMessage::SetState(long state) { return E_NOTIMPL; }
HRESULT MXMessage::MarkAsRead(long *result) { return E_NOTIMPL; }
HRESULT MXMessage::MarkAsUnread(long *result) { return E_NOTIMPL; }
HRESULT MXMessage::Delete(long permanent, long *result) { return E_NOTIMPL; }
HRESULT MXMessage::GetSourceLength(long *result) { return E_NOTIMPL; }
HRESULT MXMessage::GetAllSource(BSTR *result) { return E_NOTIMPL; }
HRESULT MXMessage::GetSource(long maxBytesToRead, BSTR *result) { return E_NOTIMPL; }
HRESULT MXMessage::GetHeader(BSTR *result) { return E_NOTIMPL; }
HRESULT MXMessage::GetHeaderLength(long *result) { return E_NOTIMPL; }
HRESULT MXMessage::GetAllBody(BSTR *result) { return E_NOTIMPL; }
HRESULT MXMessage::GetBody(long maxBytesToRead, BSTR *result) { return E_NOTIMPL; }
HRESULT MXMessage::GetBodyLength(long *result) { return E_NOTIMPL; }
HRESULT MXMessage::GetContentReset() { return E_NOTIMPL; }
HRESULT MXMessage::HasNormalPriority(long *result) { return E_NOTIMPL; }
HRESULT MXMessage::HasLowPriority(long *result) { return E_NOTIMPL; }
HRESULT MXMessage::HasHighPriority(long *result) { return E_NOTIMPL; }
HRESULT MXMessage::GetHTMLBody(long *result) { return E_NOTIMPL; }
HRESULT MXMessage::GetPlainBody(long *result) { return E_NOTIMPL; }
HRESULT MXMessage::GetBodyHandle(long prevBodyHandle, enum tagNUVAKBODYLOCATION bodyLoc, long *result) { return E_NOTIMPL; }
HRESULT MXMessage::InsertBody(long bodyHandle, enum tagNUVAKBODYLOCATION bodyLoc, long *newBodyHandle) { return E_NOTIMPL; }
HRESULT MXMessage::DeleteBody(long bodyHandle, enum tagNUVAKBODYDELFLAGS flags, long *success) { return E_NOTIMPL; }
HRESULT MXMessage::IsBodyContentType(long bodyHandle, BSTR priContentType, BSTR secContentType, long *result) { return E_NOTIMPL; }
HRESULT MXMessage::GetBodyPrimaryContentType(long bodyHandle, BSTR *priConType) { return E_NOTIMPL; }
HRESULT MXMessage::GetBodySecondaryContentType(long bodyHandle, BSTR *secConType) { return E_NOTIMPL; }
HRESULT MXMessage::GetBodyDisplayName(long bodyHandle, BSTR *result) { return E_NOTIMPL; }
HRESULT MXMessage::GetBodyText(long bodyHandle, BSTR *result) { return E_NOTIMPL; }
HRESULT MXMessage::SetBodyText(long bodyHandle, BSTR bodyText, BSTR priContentType, BSTR secContentType, long *success) { return E_NOTIMPL; }
HRESULT MXMessage::SaveBodyToFile(long bodyHandle, BSTR path, long useDefaultName, long *success) { return E_NOTIMPL; }
HRESULT MXMessage::SetBodyFromFile(long bodyHandle, BSTR filename, BSTR priContentType, BSTR secContentType, long *success) { return E_NOTIMPL; }
HRESULT MXMessage::IsBodyAttachment(long bodyHandle, long *isAttach) { return E_NOTIMPL; }
HRESULT MXMessage::GetFirstBodyProp(long bodyHandle, long *propId, BSTR *propName) { return E_NOTIMPL; }
HRESULT MXMessage::GetNextBodyProp(long *propId, BSTR *propName) { return E_NOTIMPL; }
HRESULT MXMessage::GetBodyProp(long bodyHandle, enum tagNUVAKMIMEPROPID propId, long *exist, BSTR *propText) { return E_NOTIMPL; }
HRESULT MXMessage::SetBodyProp(long bodyHandle, enum tagNUVAKMIMEPROPID propId, BSTR propText, long *success) { return E_NOTIMPL; }
HRESULT MXMessage::GetBodyPropByName(long bodyHandle, BSTR propName, long *exist, BSTR *propText) { return E_NOTIMPL; }
HRESULT MXMessage::SetBodyPropByName(long bodyHandle, BSTR propName, BSTR propText, long *success) { return E_NOTIMPL; }
HRESULT MXMessage::DeleteBodyProp(long bodyHandle, enum tagNUVAKMIMEPROPID propId, long *success) { return E_NOTIMPL; }
HRESULT MXMessage::DeleteBodyPropByName(long bodyHandle, BSTR propName, long *success) { return E_NOTIMPL; }
HRESULT MXMessage::Clone(long folderId, ::MXMessage **result) { return E_NOTIMPL; }
HRESULT MXMessage::Commit(long *result) { return E_NOTIMPL; }
HRESULT MXMessage::Send(long *result) { return E_NOTIMPL; }
HRESULT MXMessage::GetFirstAttachment(long *bodyHandle) { return E_NOTIMPL; }
HRESULT MXMessage::GetNextAttachment(long *bodyHandle) { return E_NOTIMPL; }
HRESULT MXMessage::GetFilename(long bodyHandle, BSTR *filename) { return E_NOTIMPL; }
HRESULT MXMessage::AttachFile(BSTR filename, long *bodyHandle) { return E_NOTIMPL; }
HRESULT MXMessage::SetFolderID(long folderId) { return E_NOTIMPL; }
HRESULT MXMessage::SaveAsFile(BSTR filename, long *error) { return E_NOTIMPL; }

}  // namespace pelkary
