// Layering: notify owns the store connection, the hidden sink windows and the event connection
// points. It may call only frame and the store; it reaches folder objects and managers through
// the targets of notify/folder_events.h, which the folders layer implements.
//
// StoreSession: the one process-wide connection to the mail store. It holds the process's only
// IStoreNamespace, knows every live MXFolder and MXFolderManager, owns the hidden windows that
// hear the store's notifications and carries the state of the new-message watcher.
//
// Lifetime: the first store user builds it (Get(true)); folders and managers register in their
// constructors and unregister as the last step of their teardown; the last one out tears it down,
// and the next store user builds a new one, with a new connection.
//
// Threads: the namespace and the deleted-items folder are called from every thread (each member's,
// the scan thread, the sink windows' thread) through the same pointers, without marshaling.
// That is sound because mailstore.dll's objects are registered "Both", keep their state under
// their own locks and aggregate the free-threaded marshaler: a pointer to one is valid in every
// apartment. A store that is not agile would need its pointers passed through the global
// interface table instead. The sink windows live on one member's thread; when it ends they are
// handed over (ThreadEnding) so that no store notification is lost.
#pragma once

#include <vector>

#include "comsupport/com_ptr.h"
#include "comsupport/critical_section.h"
#include "comsupport/unique_any.h"
#include "notify/folder_events.h"
#include "notify/manager_sink.h"
#include "notify/new_message_watcher.h"
#include "store_api.h"

namespace pelkary {

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
    static StoreSession* JoinFolder(FolderEventTarget* folder) noexcept;
    static StoreSession* JoinManager(ManagerEventTarget* manager) noexcept;
    // The same for an object that only uses the store (a message): counted, not listed. Leave
    // with LeaveUser, as the last step of its teardown.
    static StoreSession* JoinUser() noexcept;
    void LeaveUser() noexcept { Leave(); }

    // Removes every entry of the object. Unless called on the scan thread, then waits for the scan
    // to end, and when no folder and no manager is left, disconnects and destroys the session
    // (`this` is gone afterwards). Called as the last step of an object's teardown; the caller
    // must not use the session again.
    void UnregisterFolder(FolderEventTarget* folder) noexcept;
    void UnregisterManager(ManagerEventTarget* manager) noexcept;

    // The session lock: re-entrant, guards the lists; held while manager events are posted.
    critical_section& lock() noexcept { return lock_; }

    // A folder-change record the store sink window received, handed to the current session (if
    // any), which is kept alive until the dispatch is over even when the managers' handlers
    // release every folder and manager. Runs on the thread that built the session. Never throws.
    static void DispatchToCurrent(const FOLDERNOTIFYEX& record) noexcept;

    // Posts a folder change (created, deleted, renamed, moved, unread changed) to every
    // registered manager, in registration order, under the lock; after an unread-count change,
    // then runs the new-message detection for the folder outside the lock. Waits for the scan
    // first. Other change codes fire nothing. The caller keeps the session alive. Never throws.
    void DispatchFolderChange(const FOLDERNOTIFYEX& record) noexcept;

    // The new-message watcher (see NewMessageWatcher). DetectNewMessages and FireNewMessage run
    // on the session's thread; FireNewMessage posts OnNewMessage to every manager under the lock.
    void DetectNewMessages(unsigned long folder_id) noexcept { watcher_.DetectNewMessages(folder_id, *this); }
    void FireNewMessage(unsigned long folder_id, unsigned long message_id) noexcept;
    static unsigned long LastMessageId(FolderEventTarget& folder) noexcept { return NewMessageWatcher::LastMessageId(folder); }

    // The session's sink windows (store and deleted items) live on one thread, which must pump
    // messages. When that thread has ended, moves them to the calling thread; the session then
    // hears the store again. Runs on a live manager's thread when the thread-pool wait sees the
    // sink thread end, and on any thread that joins (except the scan thread). Never throws.
    static void AdoptOrphanedSinks() noexcept;

    // Called by DllMain as each thread ends, under the loader lock. On the thread of the sink
    // windows, before they die with it: a manager's window on a thread that lives on takes their
    // place with the store, and what the store had posted to them and was not yet dispatched is
    // kept; both go to the windows that the next adopting thread makes. Other threads return at
    // once. Never throws.
    static void ThreadEnding() noexcept;
    // A store notification that reached a manager's window standing in for the sink windows:
    // adopts the sinks on this thread when they are still orphaned and passes it on to them.
    static void PassOnStoreNotification(UINT message, WPARAM wparam, LPARAM lparam) noexcept;

    // True on the scan thread of this session.
    bool IsScanThread() const noexcept { return watcher_.IsScanThread(); }

private:
    StoreSession();
    ~StoreSession();
    StoreSession(const StoreSession&) = delete;
    StoreSession& operator=(const StoreSession&) = delete;

    static StoreSession* Build() noexcept;
    // Sets the process-wide pointer (under the publishing lock) and lets its scan begin.
    static void Publish(StoreSession* session) noexcept;
    template <typename T>
    static StoreSession* Join(std::vector<T*> StoreSession::*list, T* object) noexcept;
    static StoreSession* Count() noexcept;
    template <typename T>
    void Unregister(std::vector<T*>& list, T* object) noexcept;
    // Drops one user (a registered object or a dispatch in progress); the last one out, when not
    // on the scan thread, disconnects and destroys the session.
    void Leave() noexcept;
    // Posts the event to every registered manager's event window, under the lock: each manager
    // hears it on its own thread, never on this one.
    void PostToManagers(ManagerEvent event, long folder_id, long message_id = 0) noexcept;

    // Connects to the store (disconnecting first, so that a second call is harmless). Leaves the
    // session without a store when the namespace cannot be made or initialised.
    void Connect() noexcept;
    void Disconnect() noexcept;
    // Makes the sink windows on the calling thread and registers them with the store, and a wait
    // for that thread's end; DetachSinks undoes it (from any thread). Under the lock, or while
    // the session is being built or torn down.
    void AttachSinks() noexcept;
    void DetachSinks() noexcept;
    // Under the lock: re-attaches the sinks here when their thread has ended (or is ending).
    void AdoptSinksIfOrphaned() noexcept;
    // Under the lock, on the ending sink thread: see ThreadEnding.
    void HandOverSinks() noexcept;
    // Under the lock: posts a store notification to the sink window that handles it, or drops it.
    void PassOn(UINT message, WPARAM wparam, LPARAM lparam) noexcept;
    // Under the lock, once new sinks are attached: the stand-in leaves the store, and what was
    // kept at the handover, then what the stand-in holds when it is on this thread, is passed on.
    void EndHandOver() noexcept;
    static void CALLBACK SinkThreadEnded(void* unused, BOOLEAN timed_out);
    // The published session with one more user (the caller leaves it), or null when there is none.
    static StoreSession* JoinPublished() noexcept;

    critical_section lock_;
    // Registered objects (joins not yet unregistered). Changed and read only under the process's
    // publishing lock, so that the one unregistration that brings it to zero, and only that one,
    // tears the session down, and no join can reach a session that is being torn down.
    long users_ = 0;
    std::vector<ManagerEventTarget*> managers_;  // not counted, in registration order
    std::vector<FolderEventTarget*> folders_;        // not counted, in registration order
    unique_hwnd storeSinkWindow_;
    com_ptr<IStoreNamespace> storeNamespace_;
    com_ptr<IStoreFolder> deletedItemsFolder_;
    unique_hwnd deletedItemsSinkWindow_;
    unique_handle sinkThread_;  // the thread of the sink windows
    HANDLE sinkThreadWait_ = nullptr;
    // Set when the sink thread handed its windows over as it ended; until an adoption, a
    // manager's window (the stand-in) may be registered with the store in their place, and the
    // notifications taken from their queues wait here.
    bool sinksOrphaned_ = false;
    HWND standIn_ = nullptr;
    std::vector<MSG> handedOver_;
    NewMessageWatcher watcher_;
};

}  // namespace pelkary
