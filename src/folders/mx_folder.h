// MXFolder: the automation class. (Methods not yet built answer E_NOTIMPL.)
#pragma once

#include "frame/automation_object.h"
#include "pelkary.h"

namespace pelkary {

class MXFolder : public AutomationObject<MXFolder, IMXFolder> {
public:
    using MainInterface = IMXFolder;
    static const ClassIdentity kIdentity;

    MXFolder();

    // IMXFolder
    HRESULT STDMETHODCALLTYPE GetID(long *result) override;
    HRESULT STDMETHODCALLTYPE GetFirstChild(::MXFolder **result) override;
    HRESULT STDMETHODCALLTYPE GetNextChild(::MXFolder **result) override;
    HRESULT STDMETHODCALLTYPE GetFirstMessage(::MXMessage **result) override;
    HRESULT STDMETHODCALLTYPE GetNextMessage(::MXMessage **result) override;
    HRESULT STDMETHODCALLTYPE GetMessage(long msgId, ::MXMessage **result) override;
    HRESULT STDMETHODCALLTYPE CreateMessage(BSTR msgSource, ::MXMessage **result) override;
    HRESULT STDMETHODCALLTYPE DeleteMessage(long msgId, long permanent, long *result) override;
    HRESULT STDMETHODCALLTYPE Name(BSTR *bstrHi) override;
    HRESULT STDMETHODCALLTYPE IsNull(long *result) override;
    HRESULT STDMETHODCALLTYPE MarkAsRead(long msgId, long *result) override;
    HRESULT STDMETHODCALLTYPE MarkAsUnread(long msgId, long *result) override;
    HRESULT STDMETHODCALLTYPE IsInbox(long *result) override;
    HRESULT STDMETHODCALLTYPE IsOutbox(long *result) override;
    HRESULT STDMETHODCALLTYPE IsSent(long *result) override;
    HRESULT STDMETHODCALLTYPE IsDeleted(long *result) override;
    HRESULT STDMETHODCALLTYPE IsDraft(long *result) override;
    HRESULT STDMETHODCALLTYPE Rename(BSTR newName, long *result) override;
    HRESULT STDMETHODCALLTYPE Move(long newParentId, long *result) override;
    HRESULT STDMETHODCALLTYPE Delete(long *result) override;
    HRESULT STDMETHODCALLTYPE CreateFolder(BSTR Name, long *result) override;
    HRESULT STDMETHODCALLTYPE GetSubFolderCount(long *count) override;
    HRESULT STDMETHODCALLTYPE GetUnreadCount(long *count) override;
    HRESULT STDMETHODCALLTYPE GetMessageCount(long *count) override;

    // Internal binding, called once on a fresh object by the code that created it.
    void OpenById(long folder_id);
    void OpenSpecial(long special_type);

protected:
    ~MXFolder() override;
};

}  // namespace pelkary
