#include "folders/mx_folder_manager.h"

// Methods still answering E_NOTIMPL do not use their parameters yet.
#pragma GCC diagnostic ignored "-Wunused-parameter"

namespace pelkary {

const ClassIdentity MXFolderManager::kIdentity = {L"MXFolderManager", &CLSID_MXFolderManager, &IID_IMXFolderManager};

MXFolderManager::MXFolderManager() = default;
MXFolderManager::~MXFolderManager() = default;

HRESULT MXFolderManager::ActivateGlobalNotification() { return E_NOTIMPL; }
HRESULT MXFolderManager::GetInboxFolder(::MXFolder **folder) { return E_NOTIMPL; }
HRESULT MXFolderManager::GetOutboxFolder(::MXFolder **folder) { return E_NOTIMPL; }
HRESULT MXFolderManager::GetSentFolder(::MXFolder **folder) { return E_NOTIMPL; }
HRESULT MXFolderManager::GetDeletedFolder(::MXFolder **folder) { return E_NOTIMPL; }
HRESULT MXFolderManager::GetDraftFolder(::MXFolder **folder) { return E_NOTIMPL; }
HRESULT MXFolderManager::GetFolder(long folderId, ::MXFolder **folder) { return E_NOTIMPL; }
HRESULT MXFolderManager::GetFirstFolder(::MXFolder **folder) { return E_NOTIMPL; }
HRESULT MXFolderManager::GetNextFolder(::MXFolder **folder) { return E_NOTIMPL; }
HRESULT MXFolderManager::GetCurrentFolder(::MXFolder **folder) { return E_NOTIMPL; }
HRESULT MXFolderManager::RenameFolder(long folderId, BSTR newName, long *result) { return E_NOTIMPL; }
HRESULT MXFolderManager::MoveFolder(long folderId, long newParentId, long *result) { return E_NOTIMPL; }
HRESULT MXFolderManager::DeleteFolder(long folderId, long *result) { return E_NOTIMPL; }
HRESULT MXFolderManager::CreateFolder(long parentFolderId, BSTR Name, long *result) { return E_NOTIMPL; }
HRESULT MXFolderManager::CopyMessage(long srcFolderId, long destFolderId, long msgId, long *result) { return E_NOTIMPL; }
HRESULT MXFolderManager::MoveMessage(long srcFolderId, long destFolderId, long msgId, long *result) { return E_NOTIMPL; }

}  // namespace pelkary
