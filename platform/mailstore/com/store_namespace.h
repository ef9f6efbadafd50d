// StoreNamespace: the creatable IStoreNamespace object. Initialize binds it
// to the store directory (see store_location.h) and creates the store there
// on first use; every other call fails with E_UNEXPECTED until then. Every
// method runs inside the error boundary (source "StoreNamespace.Method").
//
// Threading: registered "Both" and agile (see free_threaded.h): every method may be called from
// any thread, through the same pointer, without marshaling; the folders it opens are the same.
#pragma once

#include <windows.h>

#include <memory>
#include <mutex>

#include "comsupport/com_object.h"
#include "free_threaded.h"
#include "store_api.h"
#include "store_connection.h"

namespace mailstore_com {

// Also serves IStoreMaintenance, IStoreIndex and IStoreSearch (see store_api.idl) on the
// same object; the search's work is StoreSearch's.
class StoreNamespace final : public pelkary::ComObject<StoreNamespace, IStoreNamespace>,
                             public IStoreMaintenance,
                             public IStoreIndex,
                             public IStoreSearch {
 public:
  static constexpr wchar_t kClassName[] = L"StoreNamespace";

  // IUnknown, for both interfaces.
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override { return ComObject::AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return ComObject::Release(); }

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
  // IStoreMaintenance
  STDMETHODIMP CheckStore(BSTR* pbstrFindings) override;
  STDMETHODIMP RecoverStore(BSTR* pbstrReport) override;
  // IStoreIndex
  STDMETHODIMP FindMessageId(LPCSTR pszMessageId, STOREFOLDERID* pidFolder, MESSAGEID* pidMessage) override;
  STDMETHODIMP GetHistoryId(GUID* pguidHistory) override;
  STDMETHODIMP GetChangeCursor(ULONGLONG* pullCursor) override;
  STDMETHODIMP GetChanges(ULONGLONG ullAfter, DWORD cMax, STORECHANGE* prgChange, DWORD* pcFetched) override;
  // IStoreSearch
  STDMETHODIMP Search(LPCWSTR pszQuery, DWORD dwFlags, DWORD cLimit, IStoreSearchResult** ppResult,
                      BSTR* pbstrError) override;
  STDMETHODIMP GetFolderPath(STOREFOLDERID idFolder, BSTR* pbstrPath) override;
  STDMETHODIMP FindFolder(LPCWSTR pszPath, STOREFOLDERID* pidFolder) override;
  STDMETHODIMP Reindex(IProgressNotify* pProgress) override;

 private:
  ~StoreNamespace() override;

  // The store's history id and newest change number, inside the error boundary as `method`.
  HRESULT ReadHistory(const wchar_t* method, mailstore::HistoryId* id, uint64_t* cursor);

  // Runs `call` (given the open connection, returning the method's HRESULT) inside the error
  // boundary; E_UNEXPECTED before Initialize.
  template <typename Call>
  HRESULT WithStore(const wchar_t* method, Call&& call) {
    return Guard(method, [&]() -> HRESULT {
      std::shared_ptr<StoreConnection> conn;
      {
        std::lock_guard<std::mutex> guard(lock_);
        conn = conn_;
      }
      return conn ? call(conn) : E_UNEXPECTED;
    });
  }

  std::mutex lock_;  // guards conn_ while Initialize runs
  std::shared_ptr<StoreConnection> conn_;
  FreeThreaded free_threaded_;
};

}  // namespace mailstore_com
