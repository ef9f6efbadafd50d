// MXMessage: the automation class. (Methods not yet built answer E_NOTIMPL.)
#pragma once

#include "frame/automation_object.h"
#include "pelkary.h"

namespace pelkary {

class MXMessage : public AutomationObject<MXMessage, IMXMessage> {
public:
    using MainInterface = IMXMessage;
    static const ClassIdentity kIdentity;

    MXMessage();

    // IMXMessage
    HRESULT STDMETHODCALLTYPE GetID(long *result) override;
    HRESULT STDMETHODCALLTYPE GetFolderID(long *result) override;
    HRESULT STDMETHODCALLTYPE GetSubject(BSTR *result) override;
    HRESULT STDMETHODCALLTYPE GetNormalSubject(BSTR *result) override;
    HRESULT STDMETHODCALLTYPE GetDisplayTo(BSTR *result) override;
    HRESULT STDMETHODCALLTYPE GetDisplayFrom(BSTR *result) override;
    HRESULT STDMETHODCALLTYPE GetState(long *result) override;
    HRESULT STDMETHODCALLTYPE SetState(long state) override;
    HRESULT STDMETHODCALLTYPE MarkAsRead(long *result) override;
    HRESULT STDMETHODCALLTYPE MarkAsUnread(long *result) override;
    HRESULT STDMETHODCALLTYPE Delete(long permanent, long *result) override;
    HRESULT STDMETHODCALLTYPE GetSourceLength(long *result) override;
    HRESULT STDMETHODCALLTYPE GetAllSource(BSTR *result) override;
    HRESULT STDMETHODCALLTYPE GetSource(long maxBytesToRead, BSTR *result) override;
    HRESULT STDMETHODCALLTYPE GetHeader(BSTR *result) override;
    HRESULT STDMETHODCALLTYPE GetHeaderLength(long *result) override;
    HRESULT STDMETHODCALLTYPE GetAllBody(BSTR *result) override;
    HRESULT STDMETHODCALLTYPE GetBody(long maxBytesToRead, BSTR *result) override;
    HRESULT STDMETHODCALLTYPE GetBodyLength(long *result) override;
    HRESULT STDMETHODCALLTYPE GetContentReset() override;
    HRESULT STDMETHODCALLTYPE HasNormalPriority(long *result) override;
    HRESULT STDMETHODCALLTYPE HasLowPriority(long *result) override;
    HRESULT STDMETHODCALLTYPE HasHighPriority(long *result) override;
    HRESULT STDMETHODCALLTYPE GetHTMLBody(long *result) override;
    HRESULT STDMETHODCALLTYPE GetPlainBody(long *result) override;
    HRESULT STDMETHODCALLTYPE GetBodyHandle(long prevBodyHandle, enum tagNUVAKBODYLOCATION bodyLoc, long *result) override;
    HRESULT STDMETHODCALLTYPE InsertBody(long bodyHandle, enum tagNUVAKBODYLOCATION bodyLoc, long *newBodyHandle) override;
    HRESULT STDMETHODCALLTYPE DeleteBody(long bodyHandle, enum tagNUVAKBODYDELFLAGS flags, long *success) override;
    HRESULT STDMETHODCALLTYPE IsBodyContentType(long bodyHandle, BSTR priContentType, BSTR secContentType, long *result) override;
    HRESULT STDMETHODCALLTYPE GetBodyPrimaryContentType(long bodyHandle, BSTR *priConType) override;
    HRESULT STDMETHODCALLTYPE GetBodySecondaryContentType(long bodyHandle, BSTR *secConType) override;
    HRESULT STDMETHODCALLTYPE GetBodyDisplayName(long bodyHandle, BSTR *result) override;
    HRESULT STDMETHODCALLTYPE GetBodyText(long bodyHandle, BSTR *result) override;
    HRESULT STDMETHODCALLTYPE SetBodyText(long bodyHandle, BSTR bodyText, BSTR priContentType, BSTR secContentType, long *success) override;
    HRESULT STDMETHODCALLTYPE SaveBodyToFile(long bodyHandle, BSTR path, long useDefaultName, long *success) override;
    HRESULT STDMETHODCALLTYPE SetBodyFromFile(long bodyHandle, BSTR filename, BSTR priContentType, BSTR secContentType, long *success) override;
    HRESULT STDMETHODCALLTYPE IsBodyAttachment(long bodyHandle, long *isAttach) override;
    HRESULT STDMETHODCALLTYPE GetFirstBodyProp(long bodyHandle, long *propId, BSTR *propName) override;
    HRESULT STDMETHODCALLTYPE GetNextBodyProp(long *propId, BSTR *propName) override;
    HRESULT STDMETHODCALLTYPE GetBodyProp(long bodyHandle, enum tagNUVAKMIMEPROPID propId, long *exist, BSTR *propText) override;
    HRESULT STDMETHODCALLTYPE SetBodyProp(long bodyHandle, enum tagNUVAKMIMEPROPID propId, BSTR propText, long *success) override;
    HRESULT STDMETHODCALLTYPE GetBodyPropByName(long bodyHandle, BSTR propName, long *exist, BSTR *propText) override;
    HRESULT STDMETHODCALLTYPE SetBodyPropByName(long bodyHandle, BSTR propName, BSTR propText, long *success) override;
    HRESULT STDMETHODCALLTYPE DeleteBodyProp(long bodyHandle, enum tagNUVAKMIMEPROPID propId, long *success) override;
    HRESULT STDMETHODCALLTYPE DeleteBodyPropByName(long bodyHandle, BSTR propName, long *success) override;
    HRESULT STDMETHODCALLTYPE Clone(long folderId, ::MXMessage **result) override;
    HRESULT STDMETHODCALLTYPE Commit(long *result) override;
    HRESULT STDMETHODCALLTYPE Send(long *result) override;
    HRESULT STDMETHODCALLTYPE GetFirstAttachment(long *bodyHandle) override;
    HRESULT STDMETHODCALLTYPE GetNextAttachment(long *bodyHandle) override;
    HRESULT STDMETHODCALLTYPE GetFilename(long bodyHandle, BSTR *filename) override;
    HRESULT STDMETHODCALLTYPE AttachFile(BSTR filename, long *bodyHandle) override;
    HRESULT STDMETHODCALLTYPE SetFolderID(long folderId) override;
    HRESULT STDMETHODCALLTYPE SaveAsFile(BSTR filename, long *error) override;

    // Internal binding, called once on a fresh object by the folder that created it.
    void OpenFromStore(long folder_id, unsigned long message_id);
    // Loads the message's MIME object on first need; false when it cannot be had.
    bool EnsureMimeMessage();

protected:
    ~MXMessage() override;
};

}  // namespace pelkary
