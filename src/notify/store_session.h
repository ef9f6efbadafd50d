// StoreSession: the one process-wide connection to the mail store. It holds the process's only
// IStoreNamespace, knows every live MXFolder and MXFolderManager, owns the hidden windows that
// hear the store's notifications and carries the state of the new-message watcher.
//
// Lifetime: the first store user builds it (Get(true)); folders and managers register in their
// constructors and unregister as the last step of their teardown; the last one out tears it down,
// and the next store user builds a new one, with a new connection.
#pragma once

#include <map>
#include <vector>

#include "frame/holders.h"
#include "store_api.h"

namespace pelkary {

class MXFolder;
class MXFolderManager;

class StoreSession {
public:
    // The session of the process. With none alive, builds one when `create` is true (publishing it
    // only once it is fully built; two threads racing here still build exactly one), else returns
    // null. Never throws; a session whose store cannot be reached still comes back (namespace_()
    // is then null). Any thread.
    static StoreSession* Get(bool create) noexcept;

    // The store connection of the process; null while the store is out of reach. The pointer is
    // valid as long as the caller is registered (or otherwise keeps the session alive); add a
    // reference to keep it longer.
    IStoreNamespace* namespace_() const noexcept { return storeNamespace_.get(); }

    // Registration: Get(true) and adding the object to its list, in one step, so that a teardown
    // on another thread can never slip between the two. Called by the MXFolder and MXFolderManager
    // constructors. Returns the session joined; null only when memory ran out while building it.
    // Never throws. Any thread.
    static StoreSession* JoinFolder(MXFolder* folder) noexcept;
    static StoreSession* JoinManager(MXFolderManager* manager) noexcept;

    // Removes every entry of the object. Unless called on the scan thread, then waits for the scan
    // to end, and when no folder and no manager is left, disconnects and destroys the session
    // (`this` is gone afterwards). Called as the last step of an object's teardown; the caller
    // must not use the session again.
    void UnregisterFolder(MXFolder* folder) noexcept;
    void UnregisterManager(MXFolderManager* manager) noexcept;

    // The session lock: re-entrant, guards the lists; held while manager events are fired.
    CRITICAL_SECTION& lock() noexcept { return lock_; }

    // A folder-change record the store sink window received (created, deleted, renamed, moved,
    // unread changed): raised on every registered manager under the lock. Runs on the thread
    // that built the session. Never throws.
    void DispatchFolderChange(const FOLDERNOTIFYEX& record) noexcept;

    // The new-message watcher: after an unread-count change, finds the folder's new unread
    // messages and fires OnNewMessage for each on every manager. Never throws.
    void DetectNewMessages(unsigned long folder_id) noexcept;
    void FireNewMessage(unsigned long folder_id, unsigned long message_id) noexcept;
    // The id of the last message of the folder object's store folder, in the store's order;
    // 0xFFFFFFFF when it has none, has no store folder, or the store fails. Never throws.
    static unsigned long LastMessageId(MXFolder& folder) noexcept;

    // True on the scan thread of this session.
    bool IsScanThread() const noexcept;

private:
    StoreSession();
    ~StoreSession();
    StoreSession(const StoreSession&) = delete;
    StoreSession& operator=(const StoreSession&) = delete;

    static StoreSession* Build() noexcept;
    template <typename T>
    static StoreSession* Join(std::vector<T*> StoreSession::*list, T* object) noexcept;
    template <typename T>
    void Unregister(std::vector<T*>& list, T* object) noexcept;

    // Connects to the store (disconnecting first, so that a second call is harmless). Leaves the
    // session without a store when the namespace cannot be made or initialised.
    void Connect() noexcept;
    void Disconnect() noexcept;

    // The hidden windows that hear the store and the deleted-items folder; empty when none could
    // be made. Created on the thread that builds the session.
    unique_hwnd CreateStoreSinkWindow() noexcept;
    unique_hwnd CreateDeletedItemsSinkWindow() noexcept;

    // The scan of the new-message watcher: started once per session, waited for before any
    // teardown. With no scan thread there is nothing to wait for.
    void StartScan() noexcept;
    void WaitForScan() noexcept;

    CRITICAL_SECTION lock_;
    // Registered objects (joins not yet unregistered). Changed and read only under the process's
    // publishing lock, so that the one unregistration that brings it to zero, and only that one,
    // tears the session down, and no join can reach a session that is being torn down.
    long users_ = 0;
    std::vector<MXFolderManager*> managers_;  // not counted, in registration order
    std::vector<MXFolder*> folders_;          // not counted, in registration order
    unique_hwnd storeSinkWindow_;
    com_ptr<IStoreNamespace> storeNamespace_;
    com_ptr<IStoreFolder> deletedItemsFolder_;
    unique_hwnd deletedItemsSinkWindow_;
    // Written only by the scan thread; every later reader waits for the scan first.
    std::map<unsigned long, unsigned long> lastMessageIds_;
    unique_handle scanThread_;
    DWORD scanThreadId_ = 0;
};

}  // namespace pelkary
