#include "store_namespace.h"

#include <cstring>

#include "comsupport/text.h"
#include "enum_handles.h"
#include "record_builder.h"
#include "store_folder.h"
#include "store_location.h"
#include "store_search.h"

namespace mailstore_com {
namespace {

using Connection = std::shared_ptr<StoreConnection>;

EnumHandles<mailstore::FolderInfo>& FolderWalks() {
  static auto* walks = new EnumHandles<mailstore::FolderInfo>();
  return *walks;
}

// Folder ids that name no store folder of their own.
bool IsFolderIdUsable(STOREFOLDERID id) { return id != FOLDERID_ROOT && id != FOLDERID_INVALID; }

// A change went through: the watchers of other processes hear of it.
HRESULT Changed(StoreConnection& conn, mailstore::Status s) {
  if (s == mailstore::Status::kOk) conn.SignalChange();
  return StatusToHresult(s);
}

// What an index call that could not read the store reports.
HRESULT IndexResult(mailstore::Status s) {
  return s == mailstore::Status::kIoError ? STG_E_READFAULT : StatusToHresult(s);
}

// What a maintenance call that could not read or write the store reports.
HRESULT MaintenanceResult(mailstore::Status s) {
  switch (s) {
    case mailstore::Status::kNotFound: return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    case mailstore::Status::kReadOnly: return E_ACCESSDENIED;
    case mailstore::Status::kIoError: return STG_E_WRITEFAULT;
    default: return StatusToHresult(s);
  }
}

}  // namespace

STDMETHODIMP StoreNamespace::QueryInterface(REFIID riid, void** ppv) {
  IStoreNamespace* ns = this;
  IStoreMaintenance* maintenance = this;
  IStoreIndex* index = this;
  IStoreSearch* search = this;
  if (ppv && IsEqualIID(riid, IID_IMarshal)) return free_threaded_.Query(ns, riid, ppv);
  return pelkary::query_interface(riid, ppv,
                                  {{IID_IUnknown, ns},
                                   {IID_IStoreNamespace, ns},
                                   {IID_IStoreMaintenance, maintenance},
                                   {IID_IStoreIndex, index},
                                   {IID_IStoreSearch, search}});
}

STDMETHODIMP StoreNamespace::Search(LPCWSTR pszQuery, DWORD dwFlags, DWORD cLimit, IStoreSearchResult** ppResult,
                                    BSTR* pbstrError) {
  if (ppResult) *ppResult = nullptr;
  if (pbstrError) *pbstrError = nullptr;
  if (!pszQuery || !ppResult || (dwFlags & ~STORESEARCH_COUNTONLY)) return E_INVALIDARG;
  return WithStore(L"Search", [&](const Connection& conn) {
    return StoreSearch::Search(conn, pszQuery, dwFlags, cLimit, ppResult, pbstrError, L"StoreNamespace.Search");
  });
}

STDMETHODIMP StoreNamespace::GetFolderPath(STOREFOLDERID idFolder, BSTR* pbstrPath) {
  if (!pbstrPath) return E_INVALIDARG;
  *pbstrPath = nullptr;
  return WithStore(L"GetFolderPath",
                   [&](const Connection& conn) { return StoreSearch::GetFolderPath(conn, idFolder, pbstrPath); });
}

STDMETHODIMP StoreNamespace::FindFolder(LPCWSTR pszPath, STOREFOLDERID* pidFolder) {
  if (!pszPath || !pidFolder) return E_INVALIDARG;
  *pidFolder = FOLDERID_INVALID;
  return WithStore(L"FindFolder",
                   [&](const Connection& conn) { return StoreSearch::FindFolder(conn, pszPath, pidFolder); });
}

STDMETHODIMP StoreNamespace::Reindex(IProgressNotify* pProgress) {
  return WithStore(L"Reindex", [&](const Connection& conn) { return StoreSearch::Reindex(conn, pProgress); });
}

STDMETHODIMP StoreNamespace::FindMessageId(LPCSTR pszMessageId, STOREFOLDERID* pidFolder,
                                           MESSAGEID* pidMessage) {
  if (!pszMessageId || !pidFolder || !pidMessage) return E_INVALIDARG;
  *pidFolder = FOLDERID_INVALID;
  *pidMessage = MESSAGEID_INVALID;
  return WithStore(L"FindMessageId", [&](const Connection& conn) -> HRESULT {
    uint32_t folder = 0, id = 0;
    mailstore::Status s = conn->store().FindMessageId(pszMessageId, &folder, &id);
    if (s == mailstore::Status::kNotFound) return S_FALSE;
    if (s != mailstore::Status::kOk) return IndexResult(s);
    *pidFolder = folder;
    *pidMessage = id;
    return S_OK;
  });
}

HRESULT StoreNamespace::ReadHistory(const wchar_t* method, mailstore::HistoryId* id, uint64_t* cursor) {
  return WithStore(method, [&](const Connection& conn) -> HRESULT {
    return IndexResult(conn->store().GetHistory(id, cursor));
  });
}

STDMETHODIMP StoreNamespace::GetHistoryId(GUID* pguidHistory) {
  if (!pguidHistory) return E_INVALIDARG;
  mailstore::HistoryId id;
  uint64_t cursor = 0;
  const HRESULT hr = ReadHistory(L"GetHistoryId", &id, &cursor);
  static_assert(sizeof(GUID) == sizeof(id.low) + sizeof(id.high), "a history id is a GUID");
  if (hr == S_OK) {
    memcpy(pguidHistory, &id.low, sizeof(id.low));
    memcpy(reinterpret_cast<char*>(pguidHistory) + sizeof(id.low), &id.high, sizeof(id.high));
  }
  return hr;
}

STDMETHODIMP StoreNamespace::GetChangeCursor(ULONGLONG* pullCursor) {
  if (!pullCursor) return E_INVALIDARG;
  mailstore::HistoryId id;
  uint64_t cursor = 0;
  const HRESULT hr = ReadHistory(L"GetChangeCursor", &id, &cursor);
  if (hr == S_OK) *pullCursor = cursor;
  return hr;
}

STDMETHODIMP StoreNamespace::GetChanges(ULONGLONG ullAfter, DWORD cMax, STORECHANGE* prgChange,
                                        DWORD* pcFetched) {
  if (!prgChange || !pcFetched) return E_INVALIDARG;
  *pcFetched = 0;
  return WithStore(L"GetChanges", [&](const Connection& conn) -> HRESULT {
    std::vector<mailstore::HistoryChange> changes;
    mailstore::Status s = conn->store().GetChanges(ullAfter, cMax, &changes);
    if (s != mailstore::Status::kOk) return IndexResult(s);
    for (const mailstore::HistoryChange& c : changes) {
      STORECHANGE& out = prgChange[(*pcFetched)++];
      out.ullSequence = c.sequence;
      out.dwKind = static_cast<DWORD>(c.kind);
      out.idFolder = c.folder;
      out.idMessage = c.message;
      out.dwReserved = 0;
    }
    return *pcFetched == cMax ? S_OK : S_FALSE;
  });
}

STDMETHODIMP StoreNamespace::CheckStore(BSTR* pbstrFindings) {
  if (!pbstrFindings) return E_POINTER;
  *pbstrFindings = nullptr;
  return Guard(L"CheckStore", [&]() -> HRESULT {
    std::wstring dir = ResolveStoreDirectory();
    if (dir.empty()) return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    std::vector<std::string> findings;
    mailstore::Status s = mailstore::Store::Check(pelkary::to_utf8(dir), &findings);
    if (s != mailstore::Status::kOk && s != mailstore::Status::kDamaged) return MaintenanceResult(s);
    // The index is looked at in a store that opens; a damaged one is rebuilt from the store anyway.
    if (s == mailstore::Status::kOk && !StoreSearch::Check(dir, &findings)) s = mailstore::Status::kDamaged;
    std::string text;
    for (const std::string& line : findings) text += line + "\n";
    *pbstrFindings = pelkary::make_bstr(pelkary::utf8_to_wide(text)).release();
    return s == mailstore::Status::kOk ? S_OK : S_FALSE;
  });
}

STDMETHODIMP StoreNamespace::RecoverStore(BSTR* pbstrReport) {
  if (!pbstrReport) return E_POINTER;
  *pbstrReport = nullptr;
  return Guard(L"RecoverStore", [&]() -> HRESULT {
    std::wstring dir = ResolveStoreDirectory();
    if (dir.empty()) return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    std::string report;
    mailstore::Status s = mailstore::Store::Recover(pelkary::to_utf8(dir), BuildRecordFields, &report);
    if (s != mailstore::Status::kOk) return MaintenanceResult(s);
    *pbstrReport = pelkary::make_bstr(pelkary::utf8_to_wide(report)).release();
    return S_OK;
  });
}

StoreNamespace::~StoreNamespace() {
  if (conn_) conn_->UnregisterAll(this);
}

STDMETHODIMP StoreNamespace::Initialize(HWND, DWORD) {
  return Guard(L"Initialize", [&]() -> HRESULT {
    std::lock_guard<std::mutex> guard(lock_);
    if (conn_) return S_OK;
    std::wstring dir = ResolveStoreDirectory();
    if (dir.empty()) return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    HRESULT hr = E_FAIL;
    conn_ = StoreConnection::Open(dir, true, &hr);
    return conn_ ? S_OK : hr;
  });
}

STDMETHODIMP StoreNamespace::GetDirectory(LPSTR pszPath, DWORD cchMaxPath) {
  if (!pszPath) return E_POINTER;
  return WithStore(L"GetDirectory", [&](const Connection& conn) -> HRESULT {
    std::string ansi = pelkary::to_ansi(conn->directory().c_str());
    if (ansi.size() + 1 > cchMaxPath) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    memcpy(pszPath, ansi.c_str(), ansi.size() + 1);
    return S_OK;
  });
}

STDMETHODIMP StoreNamespace::OpenSpecialFolder(SPECIALFOLDER sfType, DWORD, IStoreFolder** ppFolder) {
  if (!ppFolder) return E_POINTER;
  *ppFolder = nullptr;
  return WithStore(L"OpenSpecialFolder", [&](const Connection& conn) -> HRESULT {
    uint32_t id = conn->store().SpecialFolderId(static_cast<int>(sfType));
    if (id == mailstore::kInvalidId) return E_INVALIDARG;
    *ppFolder = StoreFolder::Make(conn, id).detach();
    return S_OK;
  });
}

STDMETHODIMP StoreNamespace::OpenFolder(STOREFOLDERID dwFolderId, DWORD, IStoreFolder** ppFolder) {
  if (!ppFolder) return E_POINTER;
  *ppFolder = nullptr;
  return WithStore(L"OpenFolder", [&](const Connection& conn) -> HRESULT {
    if (!IsFolderIdUsable(dwFolderId)) return E_INVALIDARG;
    mailstore::FolderInfo info;
    mailstore::Status s = conn->store().GetFolder(dwFolderId, &info);
    if (s != mailstore::Status::kOk) return StatusToHresult(s);
    *ppFolder = StoreFolder::Make(conn, dwFolderId).detach();
    return S_OK;
  });
}

STDMETHODIMP StoreNamespace::CreateFolder(STOREFOLDERID dwParentId, LPCSTR pszName, DWORD,
                                          STOREFOLDERID* pdwFolderId) {
  if (!pszName) return E_INVALIDARG;
  return WithStore(L"CreateFolder", [&](const Connection& conn) -> HRESULT {
    uint32_t id = 0;
    HRESULT hr = Changed(*conn, conn->store().CreateFolder(dwParentId, pszName, &id));
    if (SUCCEEDED(hr) && pdwFolderId) *pdwFolderId = id;
    return hr;
  });
}

STDMETHODIMP StoreNamespace::RenameFolder(STOREFOLDERID dwFolderId, DWORD, LPCSTR pszNewName) {
  if (!pszNewName) return E_INVALIDARG;
  return WithStore(L"RenameFolder", [&](const Connection& conn) {
    return Changed(*conn, conn->store().RenameFolder(dwFolderId, pszNewName));
  });
}

STDMETHODIMP StoreNamespace::MoveFolder(STOREFOLDERID dwFolderId, STOREFOLDERID dwParentId, DWORD) {
  return WithStore(L"MoveFolder", [&](const Connection& conn) {
    return Changed(*conn, conn->store().MoveFolder(dwFolderId, dwParentId));
  });
}

STDMETHODIMP StoreNamespace::DeleteFolder(STOREFOLDERID dwFolderId, DWORD) {
  return WithStore(L"DeleteFolder", [&](const Connection& conn) {
    return Changed(*conn, conn->store().DeleteFolder(dwFolderId));
  });
}

STDMETHODIMP StoreNamespace::GetFolderProps(STOREFOLDERID dwFolderId, DWORD, FOLDERPROPS* pProps) {
  if (!pProps) return E_POINTER;
  return WithStore(L"GetFolderProps", [&](const Connection& conn) -> HRESULT {
    mailstore::FolderInfo info;
    mailstore::Status s = conn->store().GetFolder(dwFolderId, &info);
    if (s != mailstore::Status::kOk) return StatusToHresult(s);
    return FillFolderProps(info, pProps);
  });
}

STDMETHODIMP StoreNamespace::CopyMoveMessages(IStoreFolder* pSource, IStoreFolder* pDest,
                                              MESSAGEIDLIST* pMsgIdList, DWORD dwFlags,
                                              DWORD dwFlagsRemove, IProgressNotify*) {
  if (!pSource || !pDest) return E_INVALIDARG;
  return WithStore(L"CopyMoveMessages", [&](const Connection& conn) -> HRESULT {
    std::vector<uint32_t> ids;
    if (!ReadIdList(pMsgIdList, &ids)) return E_INVALIDARG;
    FOLDERPROPS from = {}, to = {};
    from.cbSize = to.cbSize = sizeof(FOLDERPROPS);
    if (FAILED(pSource->GetFolderProps(0, &from)) || FAILED(pDest->GetFolderProps(0, &to)))
      return E_INVALIDARG;
    return Changed(*conn, conn->store().CopyMessages(from.dwFolderId, to.dwFolderId, ids,
                                                     (dwFlags & CMF_MOVE) != 0, dwFlagsRemove, nullptr));
  });
}

STDMETHODIMP StoreNamespace::RegisterNotification(DWORD, HWND hwnd) {
  return WithStore(L"RegisterNotification", [&](const Connection& conn) -> HRESULT {
    if (!hwnd || !IsWindow(hwnd)) return E_INVALIDARG;
    conn->Register(this, mailstore::kInvalidId, hwnd);
    return S_OK;
  });
}

STDMETHODIMP StoreNamespace::UnregisterNotification(DWORD, HWND hwnd) {
  return WithStore(L"UnregisterNotification", [&](const Connection& conn) -> HRESULT {
    return conn->Unregister(this, hwnd) ? S_OK : E_INVALIDARG;
  });
}

STDMETHODIMP StoreNamespace::CompactAll(DWORD) {
  // One data file serves every folder: the whole store is compacted.
  return WithStore(L"CompactAll", [](const Connection& conn) -> HRESULT {
    return StatusToHresult(conn->store().Compact());
  });
}

STDMETHODIMP StoreNamespace::GetFirstSubFolder(STOREFOLDERID dwFolderId, FOLDERPROPS* pProps,
                                               HENUMSTORE* phEnum) {
  if (!pProps || !phEnum) return E_POINTER;
  *phEnum = nullptr;
  if (pProps->cbSize != sizeof(FOLDERPROPS)) return E_INVALIDARG;
  return WithStore(L"GetFirstSubFolder", [&](const Connection& conn) -> HRESULT {
    std::vector<mailstore::FolderInfo> folders;
    mailstore::Status s = conn->store().ListSubfolders(dwFolderId, &folders);
    if (s != mailstore::Status::kOk) return StatusToHresult(s);
    if (folders.empty()) return S_FALSE;
    FillFolderProps(folders[0], pProps);
    *phEnum = FolderWalks().Open(std::move(folders));
    return S_OK;
  });
}

STDMETHODIMP StoreNamespace::GetNextSubFolder(HENUMSTORE hEnum, FOLDERPROPS* pProps) {
  if (!pProps) return E_POINTER;
  if (pProps->cbSize != sizeof(FOLDERPROPS)) return E_INVALIDARG;
  return Guard(L"GetNextSubFolder", [&]() -> HRESULT {
    mailstore::FolderInfo info;
    HRESULT hr = FolderWalks().Next(hEnum, &info);
    return hr == S_OK ? FillFolderProps(info, pProps) : hr;
  });
}

STDMETHODIMP StoreNamespace::GetSubFolderClose(HENUMSTORE hEnum) {
  if (!hEnum) return S_OK;
  return Guard(L"GetSubFolderClose", [&] { return FolderWalks().Close(hEnum); });
}

}  // namespace mailstore_com
