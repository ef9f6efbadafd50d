#include "store_namespace.h"

#include <cstring>
#include <set>

#include "server_module.h"
#include "store_folder.h"
#include "store_location.h"
#include "text_convert.h"

namespace mailstore_com {
namespace {

struct FolderEnum {
  std::vector<mailstore::FolderInfo> folders;
  size_t next = 0;
};

std::mutex g_folder_enum_lock;
std::set<FolderEnum*>& LiveFolderEnums() {
  static auto* set = new std::set<FolderEnum*>();
  return *set;
}

// Folder ids that name no store folder of their own.
bool IsFolderIdUsable(STOREFOLDERID id) { return id != FOLDERID_ROOT && id != FOLDERID_INVALID; }

}  // namespace

#define REQUIRE_STORE()                         \
  std::shared_ptr<StoreConnection> conn;        \
  {                                             \
    std::lock_guard<std::mutex> guard(lock_);   \
    conn = conn_;                               \
  }                                             \
  if (!conn) return E_UNEXPECTED

StoreNamespace::StoreNamespace() { ModuleAddRef(); }

StoreNamespace::~StoreNamespace() {
  if (conn_) conn_->UnregisterAll(this);
  ModuleRelease();
}

STDMETHODIMP StoreNamespace::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IStoreNamespace) {
    *ppv = static_cast<IStoreNamespace*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) StoreNamespace::AddRef() { return InterlockedIncrement(&refs_); }

STDMETHODIMP_(ULONG) StoreNamespace::Release() {
  LONG r = InterlockedDecrement(&refs_);
  if (r == 0) delete this;
  return r;
}

HRESULT StoreNamespace::Done(mailstore::Status s) { return StatusToHresult(s); }

STDMETHODIMP StoreNamespace::Initialize(HWND, DWORD) {
  std::lock_guard<std::mutex> guard(lock_);
  if (conn_) return S_OK;
  std::wstring dir = ResolveStoreDirectory();
  if (dir.empty()) return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
  HRESULT hr = E_FAIL;
  conn_ = StoreConnection::Open(dir, true, &hr);
  return conn_ ? S_OK : hr;
}

STDMETHODIMP StoreNamespace::GetDirectory(LPSTR pszPath, DWORD cchMaxPath) {
  if (!pszPath) return E_POINTER;
  REQUIRE_STORE();
  std::string ansi = WideToAnsi(conn->directory());
  if (ansi.size() + 1 > cchMaxPath) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
  memcpy(pszPath, ansi.c_str(), ansi.size() + 1);
  return S_OK;
}

STDMETHODIMP StoreNamespace::OpenSpecialFolder(SPECIALFOLDER sfType, DWORD, IStoreFolder** ppFolder) {
  if (!ppFolder) return E_POINTER;
  *ppFolder = nullptr;
  REQUIRE_STORE();
  uint32_t id = conn->store().SpecialFolderId(static_cast<int>(sfType));
  if (id == mailstore::kInvalidId) return E_INVALIDARG;
  *ppFolder = StoreFolder::Create(conn, id);
  return S_OK;
}

STDMETHODIMP StoreNamespace::OpenFolder(STOREFOLDERID dwFolderId, DWORD, IStoreFolder** ppFolder) {
  if (!ppFolder) return E_POINTER;
  *ppFolder = nullptr;
  REQUIRE_STORE();
  if (!IsFolderIdUsable(dwFolderId)) return E_INVALIDARG;
  mailstore::FolderInfo info;
  mailstore::Status s = conn->store().GetFolder(dwFolderId, &info);
  if (s != mailstore::Status::kOk) return Done(s);
  *ppFolder = StoreFolder::Create(conn, dwFolderId);
  return S_OK;
}

STDMETHODIMP StoreNamespace::CreateFolder(STOREFOLDERID dwParentId, LPCSTR pszName, DWORD,
                                          STOREFOLDERID* pdwFolderId) {
  if (!pszName) return E_INVALIDARG;
  REQUIRE_STORE();
  uint32_t id = 0;
  mailstore::Status s = conn->store().CreateFolder(dwParentId, pszName, &id);
  if (s != mailstore::Status::kOk) return Done(s);
  conn->SignalChange();
  if (pdwFolderId) *pdwFolderId = id;
  return S_OK;
}

STDMETHODIMP StoreNamespace::RenameFolder(STOREFOLDERID dwFolderId, DWORD, LPCSTR pszNewName) {
  if (!pszNewName) return E_INVALIDARG;
  REQUIRE_STORE();
  mailstore::Status s = conn->store().RenameFolder(dwFolderId, pszNewName);
  if (s == mailstore::Status::kOk) conn->SignalChange();
  return Done(s);
}

STDMETHODIMP StoreNamespace::MoveFolder(STOREFOLDERID dwFolderId, STOREFOLDERID dwParentId, DWORD) {
  REQUIRE_STORE();
  mailstore::Status s = conn->store().MoveFolder(dwFolderId, dwParentId);
  if (s == mailstore::Status::kOk) conn->SignalChange();
  return Done(s);
}

STDMETHODIMP StoreNamespace::DeleteFolder(STOREFOLDERID dwFolderId, DWORD) {
  REQUIRE_STORE();
  mailstore::Status s = conn->store().DeleteFolder(dwFolderId);
  if (s == mailstore::Status::kOk) conn->SignalChange();
  return Done(s);
}

STDMETHODIMP StoreNamespace::GetFolderProps(STOREFOLDERID dwFolderId, DWORD, FOLDERPROPS* pProps) {
  if (!pProps) return E_POINTER;
  REQUIRE_STORE();
  mailstore::FolderInfo info;
  mailstore::Status s = conn->store().GetFolder(dwFolderId, &info);
  if (s != mailstore::Status::kOk) return Done(s);
  return FillFolderProps(info, pProps);
}

STDMETHODIMP StoreNamespace::CopyMoveMessages(IStoreFolder* pSource, IStoreFolder* pDest,
                                              MESSAGEIDLIST* pMsgIdList, DWORD dwFlags,
                                              DWORD dwFlagsRemove, IProgressNotify*) {
  if (!pSource || !pDest) return E_INVALIDARG;
  REQUIRE_STORE();
  std::vector<uint32_t> ids;
  if (!ReadIdList(pMsgIdList, &ids)) return E_INVALIDARG;
  FOLDERPROPS from = {}, to = {};
  from.cbSize = to.cbSize = sizeof(FOLDERPROPS);
  if (FAILED(pSource->GetFolderProps(0, &from)) || FAILED(pDest->GetFolderProps(0, &to)))
    return E_INVALIDARG;
  mailstore::Status s = conn->store().CopyMessages(from.dwFolderId, to.dwFolderId, ids,
                                                   (dwFlags & CMF_MOVE) != 0, dwFlagsRemove, nullptr);
  if (s == mailstore::Status::kOk) conn->SignalChange();
  return Done(s);
}

STDMETHODIMP StoreNamespace::RegisterNotification(DWORD, HWND hwnd) {
  REQUIRE_STORE();
  if (!hwnd || !IsWindow(hwnd)) return E_INVALIDARG;
  conn->Register(this, mailstore::kInvalidId, hwnd);
  return S_OK;
}

STDMETHODIMP StoreNamespace::UnregisterNotification(DWORD, HWND hwnd) {
  REQUIRE_STORE();
  return conn->Unregister(this, hwnd) ? S_OK : E_INVALIDARG;
}

STDMETHODIMP StoreNamespace::CompactAll(DWORD) {
  REQUIRE_STORE();
  return S_OK;
}

STDMETHODIMP StoreNamespace::GetFirstSubFolder(STOREFOLDERID dwFolderId, FOLDERPROPS* pProps,
                                               HENUMSTORE* phEnum) {
  if (!pProps || !phEnum) return E_POINTER;
  *phEnum = nullptr;
  if (pProps->cbSize != sizeof(FOLDERPROPS)) return E_INVALIDARG;
  REQUIRE_STORE();
  auto e = std::make_unique<FolderEnum>();
  mailstore::Status s = conn->store().ListSubfolders(dwFolderId, &e->folders);
  if (s != mailstore::Status::kOk) return Done(s);
  if (e->folders.empty()) return S_FALSE;
  FillFolderProps(e->folders[0], pProps);
  e->next = 1;
  std::lock_guard<std::mutex> guard(g_folder_enum_lock);
  LiveFolderEnums().insert(e.get());
  *phEnum = reinterpret_cast<HENUMSTORE>(e.release());
  return S_OK;
}

STDMETHODIMP StoreNamespace::GetNextSubFolder(HENUMSTORE hEnum, FOLDERPROPS* pProps) {
  if (!pProps) return E_POINTER;
  if (pProps->cbSize != sizeof(FOLDERPROPS)) return E_INVALIDARG;
  auto* e = reinterpret_cast<FolderEnum*>(hEnum);
  std::lock_guard<std::mutex> guard(g_folder_enum_lock);
  if (!LiveFolderEnums().count(e)) return E_HANDLE;
  if (e->next >= e->folders.size()) return S_FALSE;
  return FillFolderProps(e->folders[e->next++], pProps);
}

STDMETHODIMP StoreNamespace::GetSubFolderClose(HENUMSTORE hEnum) {
  if (!hEnum) return S_OK;
  auto* e = reinterpret_cast<FolderEnum*>(hEnum);
  {
    std::lock_guard<std::mutex> guard(g_folder_enum_lock);
    if (!LiveFolderEnums().erase(e)) return E_HANDLE;
  }
  delete e;
  return S_OK;
}

}  // namespace mailstore_com
