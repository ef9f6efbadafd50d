// MXFolderManager: the automation class. (Methods not yet built answer E_NOTIMPL.)
#pragma once

#include "frame/automation_object.h"
#include "pelkary.h"

namespace pelkary {

class MXFolderManager : public AutomationObject<MXFolderManager, IMXFolderManager> {
public:
    using MainInterface = IMXFolderManager;
    static const ClassIdentity kIdentity;

    MXFolderManager();

    // IMXFolderManager
    HRESULT STDMETHODCALLTYPE ActivateGlobalNotification() override;
    HRESULT STDMETHODCALLTYPE GetInboxFolder(::MXFolder **folder) override;
    HRESULT STDMETHODCALLTYPE GetOutboxFolder(::MXFolder **folder) override;
    HRESULT STDMETHODCALLTYPE GetSentFolder(::MXFolder **folder) override;
    HRESULT STDMETHODCALLTYPE GetDeletedFolder(::MXFolder **folder) override;
    HRESULT STDMETHODCALLTYPE GetDraftFolder(::MXFolder **folder) override;
    HRESULT STDMETHODCALLTYPE GetFolder(long folderId, ::MXFolder **folder) override;
    HRESULT STDMETHODCALLTYPE GetFirstFolder(::MXFolder **folder) override;
    HRESULT STDMETHODCALLTYPE GetNextFolder(::MXFolder **folder) override;
    HRESULT STDMETHODCALLTYPE GetCurrentFolder(::MXFolder **folder) override;
    HRESULT STDMETHODCALLTYPE RenameFolder(long folderId, BSTR newName, long *result) override;
    HRESULT STDMETHODCALLTYPE MoveFolder(long folderId, long newParentId, long *result) override;
    HRESULT STDMETHODCALLTYPE DeleteFolder(long folderId, long *result) override;
    HRESULT STDMETHODCALLTYPE CreateFolder(long parentFolderId, BSTR Name, long *result) override;
    HRESULT STDMETHODCALLTYPE CopyMessage(long srcFolderId, long destFolderId, long msgId, long *result) override;
    HRESULT STDMETHODCALLTYPE MoveMessage(long srcFolderId, long destFolderId, long msgId, long *result) override;

protected:
    ~MXFolderManager() override;
};

}  // namespace pelkary
