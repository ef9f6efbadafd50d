// StoreConnection: this process's one view of a store directory, shared by
// every namespace and folder object on it. It owns the engine, the windows
// registered for notifications, and a watcher thread that follows changes
// made by other processes.
//
// Every change, whether made here or elsewhere, reaches the windows through
// one path (the engine's change listener), so they see changes in journal
// order. Notifications are only ever posted.
#pragma once

#include <windows.h>

#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "comsupport/unique_any.h"
#include "mailsearch/search_index.h"
#include "mailstore/store.h"

namespace mailstore_com {

class StoreConnection {
 public:
  // Opens this process's view of |directory| (created when missing if
  // |create|), or returns the one already open. Null with |hr| on failure:
  // STG_E_DOCFILECORRUPT for a damaged store (part of it cannot be read),
  // HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND) for no store, STG_E_ACCESSDENIED
  // when its files cannot be opened at all. Thread-safe.
  static std::shared_ptr<StoreConnection> Open(const std::wstring& directory, bool create,
                                               HRESULT* hr);
  ~StoreConnection();

  mailstore::Store& store() { return *store_; }
  const std::wstring& directory() const { return directory_; }

  // Windows to post to. |folder| is a folder id, or kInvalidId for changes
  // anywhere in the store. |owner| identifies the registering object so that
  // its registrations go when it does. Registering a window twice for one
  // owner and folder keeps one registration.
  void Register(const void* owner, uint32_t folder, HWND hwnd);
  // Removes the owner's registration of |hwnd|; false when there was none.
  bool Unregister(const void* owner, HWND hwnd);
  void UnregisterAll(const void* owner);

  // Tells the watchers of other processes that the store changed.
  void SignalChange();

  // The store's full-text index, opened on first use (so that a process that never searches
  // never reads it) and shared by every object on the store. Thread-safe.
  mailsearch::SearchIndex& search_index();

  StoreConnection(const StoreConnection&) = delete;
  StoreConnection& operator=(const StoreConnection&) = delete;

 private:
  struct Registration {
    const void* owner;
    uint32_t folder;
    HWND hwnd;
  };

  StoreConnection() = default;
  void OnChange(const mailstore::Change& change);
  void PostFolderChange(uint32_t type, uint32_t folder, uint32_t folder2);
  void PostToFolder(uint32_t folder, UINT message, WPARAM wparam);
  static DWORD WINAPI WatchThread(void* self);

  std::unique_ptr<mailstore::Store> store_;
  std::once_flag search_opened_;
  std::unique_ptr<mailsearch::SearchIndex> search_;  // after store_: gone before it
  std::wstring directory_;
  pelkary::unique_handle change_event_;  // named, shared by every process on the store
  pelkary::unique_handle stop_event_;
  pelkary::unique_handle thread_;

  std::mutex lock_;  // registrations and the removed-id lists
  std::vector<Registration> registrations_;
  // Id arrays handed out with "messages deleted". A receiver reads its array
  // whenever its thread gets to the posted message, so an array is never
  // changed or reused; it is let go only once it is old (kRemovedKeepTicks)
  // and the kept arrays hold more than kRemovedKeepIds ids.
  struct RemovedList {
    ULONGLONG posted;  // GetTickCount64
    std::vector<uint32_t> ids;
  };
  static constexpr size_t kRemovedKeepIds = 1u << 20;
  static constexpr ULONGLONG kRemovedKeepTicks = 10 * 60 * 1000;
  std::deque<RemovedList> removed_;  // a deque never moves what it holds
  size_t removed_ids_ = 0;
};

// Maps an engine status to the HRESULT the interfaces report.
HRESULT StatusToHresult(mailstore::Status status);

}  // namespace mailstore_com
