#include "store_connection.h"

#include <objbase.h>

#include <cwctype>

#include "comsupport/text.h"
#include "comsupport/unique_cotaskmem.h"
#include "store_api.h"

namespace mailstore_com {
namespace {

std::mutex g_connections_lock;
std::map<std::wstring, std::weak_ptr<StoreConnection>>& Connections() {
  static auto* map = new std::map<std::wstring, std::weak_ptr<StoreConnection>>();
  return *map;
}

std::wstring CanonicalKey(const std::wstring& directory) {
  wchar_t full[MAX_PATH * 2];
  DWORD n = GetFullPathNameW(directory.c_str(), ARRAYSIZE(full), full, nullptr);
  std::wstring key = (n > 0 && n < ARRAYSIZE(full)) ? std::wstring(full, n) : directory;
  while (key.size() > 3 && (key.back() == L'\\' || key.back() == L'/')) key.pop_back();
  for (auto& c : key) c = (c == L'/') ? L'\\' : static_cast<wchar_t>(std::towlower(c));
  return key;
}

std::wstring EventName(const std::wstring& key) {
  uint64_t h = 1469598103934665603ull;  // FNV-1a
  for (wchar_t c : key) {
    h ^= static_cast<uint64_t>(c);
    h *= 1099511628211ull;
  }
  wchar_t name[64];
  swprintf(name, 64, L"Local\\PelkaryMailStore-%016llx", static_cast<unsigned long long>(h));
  return name;
}

}  // namespace

HRESULT StatusToHresult(mailstore::Status status) {
  using mailstore::Status;
  switch (status) {
    case Status::kOk: return S_OK;
    case Status::kNotFound: return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
    case Status::kInvalidName: return HRESULT_FROM_WIN32(ERROR_INVALID_NAME);
    case Status::kDuplicateName: return HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS);
    case Status::kNotAllowed: return E_ACCESSDENIED;
    case Status::kInvalidArgument: return E_INVALIDARG;
    case Status::kIoError: return STG_E_WRITEFAULT;
    case Status::kDamaged: return STG_E_DOCFILECORRUPT;
    case Status::kReadOnly: return E_ACCESSDENIED;
    case Status::kHistoryGone: return STORE_E_HISTORYGONE;
  }
  return E_FAIL;
}

std::shared_ptr<StoreConnection> StoreConnection::Open(const std::wstring& directory, bool create,
                                                       HRESULT* hr) {
  std::lock_guard<std::mutex> guard(g_connections_lock);
  std::wstring key = CanonicalKey(directory);
  if (auto existing = Connections()[key].lock()) {
    *hr = S_OK;
    return existing;
  }
  mailstore::Status status;
  std::string report;
  auto store = mailstore::Store::Open(pelkary::to_utf8(directory), create, &status, &report);
  // A damaged store is refused rather than served smaller than it is: the
  // store tool's check and recover commands repair it first.
  if (store && status == mailstore::Status::kDamaged) store.reset();
  if (!store) {
    OutputDebugStringA(("mailstore: " + report + "\n").c_str());
    *hr = status == mailstore::Status::kNotFound ? HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND)
          : status == mailstore::Status::kIoError ? STG_E_ACCESSDENIED
                                                  : StatusToHresult(status);
    return nullptr;
  }
  if (!report.empty()) OutputDebugStringA(("mailstore: " + report + "\n").c_str());

  std::shared_ptr<StoreConnection> conn(new StoreConnection());
  conn->store_ = std::move(store);
  conn->directory_ = directory;
  conn->change_event_.reset(CreateEventW(nullptr, TRUE, FALSE, EventName(key).c_str()));
  conn->stop_event_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  StoreConnection* raw = conn.get();
  conn->store_->SetListener([raw](const mailstore::Change& c) { raw->OnChange(c); });
  if (conn->stop_event_)
    conn->thread_.reset(CreateThread(nullptr, 0, &StoreConnection::WatchThread, raw, 0, nullptr));
  Connections()[key] = conn;
  *hr = S_OK;
  return conn;
}

StoreConnection::~StoreConnection() {
  if (thread_) {
    SetEvent(stop_event_.get());
    WaitForSingleObject(thread_.get(), INFINITE);
  }
  store_->SetListener(nullptr);
}

DWORD WINAPI StoreConnection::WatchThread(void* param) {
  auto* self = static_cast<StoreConnection*>(param);
  HANDLE waits[2] = {self->stop_event_.get(), self->change_event_.get()};
  DWORD count = waits[1] ? 2 : 1;
  for (;;) {
    // The timeout covers a signal that came while this thread was busy.
    DWORD r = WaitForMultipleObjects(count, waits, FALSE, 100);
    if (r == WAIT_OBJECT_0) return 0;
    if (r == WAIT_OBJECT_0 + 1) ResetEvent(waits[1]);
    try {
      self->store_->Refresh();
    } catch (const std::exception&) {
      // Out of memory, say: the next round tries again.
    }
  }
}

mailsearch::SearchIndex& StoreConnection::search_index() {
  std::call_once(search_opened_, [this] { search_ = mailsearch::SearchIndex::Open(store_.get()); });
  return *search_;
}

void StoreConnection::SignalChange() {
  if (change_event_) SetEvent(change_event_.get());
}

void StoreConnection::Register(const void* owner, uint32_t folder, HWND hwnd) {
  std::lock_guard<std::mutex> guard(lock_);
  for (const auto& r : registrations_)
    if (r.owner == owner && r.folder == folder && r.hwnd == hwnd) return;
  registrations_.push_back({owner, folder, hwnd});
}

bool StoreConnection::Unregister(const void* owner, HWND hwnd) {
  std::lock_guard<std::mutex> guard(lock_);
  for (auto it = registrations_.begin(); it != registrations_.end(); ++it) {
    if (it->owner == owner && it->hwnd == hwnd) {
      registrations_.erase(it);
      return true;
    }
  }
  return false;
}

void StoreConnection::UnregisterAll(const void* owner) {
  std::lock_guard<std::mutex> guard(lock_);
  std::vector<Registration> kept;
  for (const auto& r : registrations_)
    if (r.owner != owner) kept.push_back(r);
  registrations_.swap(kept);
}

void StoreConnection::PostFolderChange(uint32_t type, uint32_t folder, uint32_t folder2) {
  for (const auto& r : registrations_) {
    if (r.folder != mailstore::kInvalidId) continue;
    // Each receiver owns and frees its own record.
    pelkary::unique_cotaskmem<FOLDERNOTIFYEX> record(
        static_cast<FOLDERNOTIFYEX*>(CoTaskMemAlloc(sizeof(FOLDERNOTIFYEX))));
    if (!record) continue;
    record->type = type;
    record->idFolder2 = folder2;
    record->idFolder = folder;
    if (PostMessageW(r.hwnd, WM_FOLDERNOTIFY, 0, reinterpret_cast<LPARAM>(record.get())))
      record.release();
  }
}

void StoreConnection::PostToFolder(uint32_t folder, UINT message, WPARAM wparam) {
  for (const auto& r : registrations_)
    if (r.folder == folder) PostMessageW(r.hwnd, message, wparam, 0);
}

void StoreConnection::OnChange(const mailstore::Change& c) {
  using Kind = mailstore::Change::Kind;
  std::lock_guard<std::mutex> guard(lock_);
  switch (c.kind) {
    case Kind::kFolderCreated: PostFolderChange(NEW_FOLDER, c.folder, 0); break;
    case Kind::kFolderRenamed: PostFolderChange(RENAME_FOLDER, c.folder, 0); break;
    case Kind::kFolderMoved: PostFolderChange(MOVE_FOLDER, c.folder, c.folder2); break;
    case Kind::kFolderDeleted:
      PostFolderChange(DELETE_FOLDER, c.folder, 0);
      PostToFolder(c.folder, WM_DELETEFOLDER, 0);
      break;
    case Kind::kUnreadChanged: PostFolderChange(UNREAD_CHANGE, c.folder, 0); break;
    case Kind::kMessageAdded: PostToFolder(c.folder, WM_NEWMSGS, c.message); break;
    case Kind::kMessagesRemoved: {
      bool anyone = false;
      for (const auto& r : registrations_) anyone |= r.folder == c.folder;
      if (!anyone) break;
      const ULONGLONG now = GetTickCount64();
      while (removed_ids_ > kRemovedKeepIds && now - removed_.front().posted > kRemovedKeepTicks) {
        removed_ids_ -= removed_.front().ids.size();
        removed_.pop_front();
      }
      removed_.push_back(RemovedList{now, c.messages});
      removed_ids_ += c.messages.size();
      PostToFolder(c.folder, WM_DELETEMSGS, reinterpret_cast<WPARAM>(removed_.back().ids.data()));
      break;
    }
  }
}

}  // namespace mailstore_com
