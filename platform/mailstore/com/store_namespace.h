// StoreNamespace: the creatable IStoreNamespace object. Initialize binds it
// to the store directory (see store_location.h) and creates the store there
// on first use; every other call fails with E_UNEXPECTED until then.
#pragma once

#include <windows.h>

#include <memory>

#include "store_api.h"
#include "store_connection.h"

namespace mailstore_com {

class StoreNamespace final : public IStoreNamespace {
 public:
  StoreNamespace();

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  STDMETHODIMP Initialize(HWND hwndOwner, DWORD dwReserved) override;
  STDMETHODIMP GetDirectory(LPSTR pszPath, DWORD cchMaxPath) override;
  STDMETHODIMP OpenSpecialFolder(SPECIALFOLDER sfType, DWORD dwReserved, IStoreFolder** ppFolder) override;
  STDMETHODIMP OpenFolder(STOREFOLDERID dwFolderId, DWORD dwReserved, IStoreFolder** ppFolder) override;
  STDMETHODIMP CreateFolder(STOREFOLDERID dwParentId, LPCSTR pszName, DWORD dwReserved,
                            STOREFOLDERID* pdwFolderId) override;
  STDMETHODIMP RenameFolder(STOREFOLDERID dwFolderId, DWORD dwReserved, LPCSTR pszNewName) override;
  STDMETHODIMP MoveFolder(STOREFOLDERID dwFolderId, STOREFOLDERID dwParentId, DWORD dwReserved) override;
  STDMETHODIMP DeleteFolder(STOREFOLDERID dwFolderId, DWORD dwReserved) override;
  STDMETHODIMP GetFolderProps(STOREFOLDERID dwFolderId, DWORD dwReserved, FOLDERPROPS* pProps) override;
  STDMETHODIMP CopyMoveMessages(IStoreFolder* pSource, IStoreFolder* pDest, MESSAGEIDLIST* pMsgIdList,
                                DWORD dwFlags, DWORD dwFlagsRemove, IProgressNotify* pProgress) override;
  STDMETHODIMP RegisterNotification(DWORD dwReserved, HWND hwnd) override;
  STDMETHODIMP UnregisterNotification(DWORD dwReserved, HWND hwnd) override;
  STDMETHODIMP CompactAll(DWORD dwReserved) override;
  STDMETHODIMP GetFirstSubFolder(STOREFOLDERID dwFolderId, FOLDERPROPS* pProps, HENUMSTORE* phEnum) override;
  STDMETHODIMP GetNextSubFolder(HENUMSTORE hEnum, FOLDERPROPS* pProps) override;
  STDMETHODIMP GetSubFolderClose(HENUMSTORE hEnum) override;

 private:
  ~StoreNamespace();
  HRESULT Done(mailstore::Status s);

  LONG refs_ = 1;
  std::mutex lock_;  // guards conn_ while Initialize runs
  std::shared_ptr<StoreConnection> conn_;
};

}  // namespace mailstore_com
