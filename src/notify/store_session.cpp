#include "notify/store_session.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <new>

#include "comsupport/critical_section.h"
#include "notify/deleted_items_sink.h"
#include "notify/sink_window.h"
#include "notify/store_sink.h"

namespace pelkary {

namespace {

// Guards the process-wide pointer and every session's `users_`. Held only for short sections
// that take no other lock, except while a session is built (which calls nothing that comes back
// here) and while an ending sink thread hands its windows over (which takes the session lock
// after it); so code that holds a session lock may still join.
critical_section g_publish;
StoreSession* g_session = nullptr;
// The thread of the sink windows, read without a lock by every ending thread.
std::atomic<DWORD> g_sinkThreadId{0};

using publish_lock = std::lock_guard<critical_section>;

}  // namespace

void StoreSession::Publish(StoreSession* session) noexcept {
    g_session = session;
    if (session) session->watcher_.SessionPublished();
}

StoreSession::StoreSession() = default;

StoreSession::~StoreSession() = default;

StoreSession* StoreSession::Get(bool create) noexcept {
    publish_lock guard(g_publish);
    if (!g_session && create) Publish(Build());
    return g_session;
}

StoreSession* StoreSession::Build() noexcept {
    auto* session = new (std::nothrow) StoreSession();
    if (!session) return nullptr;
    session->Connect();
    session->watcher_.StartScan();
    return session;
}

StoreSession* StoreSession::Count() noexcept {
    publish_lock guard(g_publish);
    if (!g_session) Publish(Build());
    if (g_session) ++g_session->users_;
    return g_session;
}

StoreSession* StoreSession::JoinUser() noexcept {
    StoreSession* session = Count();
    if (session) {
        std::lock_guard<critical_section> guard(session->lock_);
        session->AdoptSinksIfOrphaned();
    }
    return session;
}

template <typename T>
StoreSession* StoreSession::Join(std::vector<T*> StoreSession::*list, T* object) noexcept {
    StoreSession* session = Count();
    if (!session) return nullptr;
    // The count taken above keeps the session alive; the list itself is the lock's.
    std::lock_guard<critical_section> guard(session->lock_);
    session->AdoptSinksIfOrphaned();
    try {
        (session->*list).push_back(object);
    } catch (const std::bad_alloc&) {
        // Unlisted objects hear no manager events; the count still tears the session down.
    }
    return session;
}

StoreSession* StoreSession::JoinFolder(FolderEventTarget* folder) noexcept { return Join(&StoreSession::folders_, folder); }

StoreSession* StoreSession::JoinManager(ManagerEventTarget* manager) noexcept {
    return Join(&StoreSession::managers_, manager);
}

template <typename T>
void StoreSession::Unregister(std::vector<T*>& list, T* object) noexcept {
    {
        std::lock_guard<critical_section> guard(lock_);
        list.erase(std::remove(list.begin(), list.end(), object), list.end());
    }
    Leave();
}

void StoreSession::Leave() noexcept {
    // The scan's own manager leaves on the scan thread, which never waits for itself and never
    // ends the session it serves.
    if (IsScanThread()) {
        publish_lock guard(g_publish);
        --users_;
        return;
    }
    watcher_.WaitForScan();
    bool last = false;
    {
        publish_lock guard(g_publish);
        last = --users_ == 0 && g_session == this;
        if (last) g_session = nullptr;
    }
    if (!last) return;
    Disconnect();
    delete this;
}

void StoreSession::UnregisterFolder(FolderEventTarget* folder) noexcept { Unregister(folders_, folder); }

void StoreSession::UnregisterManager(ManagerEventTarget* manager) noexcept { Unregister(managers_, manager); }

void StoreSession::Connect() noexcept {
    Disconnect();
    if (FAILED(CoCreateInstance(CLSID_StoreNamespace, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                IID_IStoreNamespace, storeNamespace_.put_void())) ||
        !storeNamespace_) {
        storeNamespace_ = nullptr;
        return;
    }
    if (FAILED(storeNamespace_->Initialize(nullptr, 1))) {
        storeNamespace_ = nullptr;
        return;
    }
    if (FAILED(storeNamespace_->OpenSpecialFolder(FOLDER_DELETED, 0, deletedItemsFolder_.put())) ||
        !deletedItemsFolder_)
        deletedItemsFolder_ = nullptr;
    AttachSinks();
}

void StoreSession::Disconnect() noexcept {
    DetachSinks();
    EndHandOver();  // with no sinks left, what was kept is dropped
    storeNamespace_ = nullptr;
    deletedItemsFolder_ = nullptr;
}

void StoreSession::AttachSinks() noexcept {
    if (!storeNamespace_) return;
    storeSinkWindow_ = CreateStoreSinkWindow();
    if (storeSinkWindow_) storeNamespace_->RegisterNotification(0, storeSinkWindow_.get());
    if (deletedItemsFolder_) {
        deletedItemsSinkWindow_ = CreateDeletedItemsSinkWindow(deletedItemsFolder_.get());
        if (deletedItemsSinkWindow_) deletedItemsFolder_->RegisterNotification(0, deletedItemsSinkWindow_.get());
    }
    EndHandOver();
    // The windows die with their thread; a pool thread hears of it and finds them a new one.
    g_sinkThreadId = GetCurrentThreadId();
    sinkThread_.reset(OpenThread(SYNCHRONIZE, FALSE, GetCurrentThreadId()));
    if (sinkThread_ && !IsScanThread() &&
        !RegisterWaitForSingleObject(&sinkThreadWait_, sinkThread_.get(), &StoreSession::SinkThreadEnded, nullptr,
                                     INFINITE, WT_EXECUTEONLYONCE))
        sinkThreadWait_ = nullptr;
}

void StoreSession::DetachSinks() noexcept {
    // Not waiting for a callback in progress: it reaches the session only through Get.
    if (sinkThreadWait_) UnregisterWait(std::exchange(sinkThreadWait_, nullptr));
    sinkThread_.reset();
    g_sinkThreadId = 0;
    if (storeNamespace_ && storeSinkWindow_) storeNamespace_->UnregisterNotification(0, storeSinkWindow_.get());
    CloseSinkWindow(storeSinkWindow_);
    if (deletedItemsFolder_ && deletedItemsSinkWindow_)
        deletedItemsFolder_->UnregisterNotification(0, deletedItemsSinkWindow_.get());
    CloseSinkWindow(deletedItemsSinkWindow_);
}

void StoreSession::AdoptSinksIfOrphaned() noexcept {
    if (!storeNamespace_ || IsScanThread()) return;
    if (!sinksOrphaned_ && sinkThread_ && WaitForSingleObject(sinkThread_.get(), 0) == WAIT_TIMEOUT) return;
    DetachSinks();
    AttachSinks();
}

void StoreSession::ThreadEnding() noexcept {
    if (g_sinkThreadId != GetCurrentThreadId()) return;
    // The publishing lock throughout: a teardown (which must not run here, under the loader lock)
    // cannot begin meanwhile, and none has begun while the session is still published.
    publish_lock guard(g_publish);
    if (!g_session) return;
    std::lock_guard<critical_section> session_guard(g_session->lock_);
    g_session->HandOverSinks();
}

void StoreSession::HandOverSinks() noexcept {
    if (!storeNamespace_ || sinksOrphaned_) return;
    const DWORD self = GetCurrentThreadId();
    for (ManagerEventTarget* manager : managers_) {
        const HWND window = manager->event_window();
        const DWORD thread = window ? GetWindowThreadProcessId(window, nullptr) : 0;
        if (thread && thread != self && !watcher_.IsScanThread(thread)) {
            standIn_ = window;
            break;
        }
    }
    // The stand-in joins the store before the windows leave it, so nothing posted meanwhile is
    // lost (a change made in that very instant may be told twice).
    if (standIn_) {
        storeNamespace_->RegisterNotification(0, standIn_);
        if (deletedItemsFolder_) deletedItemsFolder_->RegisterNotification(0, standIn_);
    }
    if (storeSinkWindow_) storeNamespace_->UnregisterNotification(0, storeSinkWindow_.get());
    if (deletedItemsFolder_ && deletedItemsSinkWindow_)
        deletedItemsFolder_->UnregisterNotification(0, deletedItemsSinkWindow_.get());
    for (HWND window : {storeSinkWindow_.get(), deletedItemsSinkWindow_.get()}) {
        MSG msg;
        while (window && PeekMessageA(&msg, window, kFirstStoreNotification, kLastStoreNotification, PM_REMOVE)) {
            try {
                handedOver_.push_back(msg);
            } catch (const std::bad_alloc&) {
                DropStoreNotification(msg.message, msg.lParam);
            }
        }
    }
    storeSinkWindow_.reset();
    deletedItemsSinkWindow_.reset();
    // The wait on this thread stays: once it has ended, the managers' threads are asked to adopt.
    sinksOrphaned_ = true;
}

void StoreSession::EndHandOver() noexcept {
    sinksOrphaned_ = false;
    if (standIn_ && storeNamespace_) {
        storeNamespace_->UnregisterNotification(0, standIn_);
        if (deletedItemsFolder_) deletedItemsFolder_->UnregisterNotification(0, standIn_);
    }
    for (const MSG& msg : handedOver_) PassOn(msg.message, msg.wParam, msg.lParam);
    handedOver_.clear();
    // What the stand-in got is newer: taken now on its own thread, else passed on as that thread
    // dispatches it (PassOnStoreNotification).
    MSG msg;
    while (standIn_ && GetWindowThreadProcessId(standIn_, nullptr) == GetCurrentThreadId() &&
           PeekMessageA(&msg, standIn_, kFirstStoreNotification, kLastStoreNotification, PM_REMOVE))
        PassOn(msg.message, msg.wParam, msg.lParam);
    standIn_ = nullptr;
}

void StoreSession::PassOn(UINT message, WPARAM wparam, LPARAM lparam) noexcept {
    const bool change = message == WM_FOLDERNOTIFY || message == WM_FOLDERNOTIFY + kDeferredOffset;
    const HWND window = change ? storeSinkWindow_.get() : deletedItemsSinkWindow_.get();
    if (!window || !PostMessageA(window, message, wparam, lparam)) DropStoreNotification(message, lparam);
}

void StoreSession::PassOnStoreNotification(UINT message, WPARAM wparam, LPARAM lparam) noexcept {
    StoreSession* session = JoinPublished();
    if (!session) {
        DropStoreNotification(message, lparam);
        return;
    }
    {
        std::lock_guard<critical_section> guard(session->lock_);
        session->AdoptSinksIfOrphaned();
        session->PassOn(message, wparam, lparam);
    }
    session->Leave();
}

StoreSession* StoreSession::JoinPublished() noexcept {
    publish_lock guard(g_publish);
    if (g_session) ++g_session->users_;
    return g_session;
}

void CALLBACK StoreSession::SinkThreadEnded(void*, BOOLEAN) {
    StoreSession* session = JoinPublished();
    if (!session) return;
    {
        std::lock_guard<critical_section> guard(session->lock_);
        // Each manager's thread is asked; the first one there adopts, the others find the sinks alive.
        for (ManagerEventTarget* manager : session->managers_) PostAdoptStoreSinks(manager->event_window());
    }
    session->Leave();
}

void StoreSession::AdoptOrphanedSinks() noexcept {
    StoreSession* session = JoinPublished();
    if (!session) return;
    {
        std::lock_guard<critical_section> guard(session->lock_);
        session->AdoptSinksIfOrphaned();
    }
    session->Leave();
}

void StoreSession::PostToManagers(ManagerEvent event, long folder_id, long message_id) noexcept {
    // A manager unregisters before its window goes, so every window listed here is alive; the
    // manager's own thread raises the event, or drops it when the manager is gone by then.
    std::lock_guard<critical_section> guard(lock_);
    for (ManagerEventTarget* manager : managers_) PostManagerEvent(manager->event_window(), event, folder_id, message_id);
}

void StoreSession::DispatchToCurrent(const FOLDERNOTIFYEX& record) noexcept {
    // Counted like a registered object: a handler releasing the last folder or manager does not
    // tear the session down under the dispatch.
    StoreSession* session = JoinPublished();
    if (!session) return;
    session->DispatchFolderChange(record);
    session->Leave();
}

void StoreSession::DispatchFolderChange(const FOLDERNOTIFYEX& record) noexcept {
    ManagerEvent event;
    switch (record.type) {
    case NEW_FOLDER: event = ManagerEvent::kCreated; break;
    case DELETE_FOLDER: event = ManagerEvent::kDeleted; break;
    case RENAME_FOLDER: event = ManagerEvent::kRenamed; break;
    case MOVE_FOLDER: event = ManagerEvent::kMoved; break;
    case UNREAD_CHANGE: event = ManagerEvent::kUnreadChanged; break;
    default: return;
    }
    // The scan thread takes the lock to join and leave; a handler here that released the last
    // object would wait for the scan with the lock held. The scan ends first.
    watcher_.WaitForScan();
    const long folder_id = static_cast<long>(record.idFolder);
    PostToManagers(event, folder_id);
    if (record.type == UNREAD_CHANGE) DetectNewMessages(record.idFolder);
}

void StoreSession::FireNewMessage(unsigned long folder_id, unsigned long message_id) noexcept {
    PostToManagers(ManagerEvent::kNewMessage, static_cast<long>(folder_id), static_cast<long>(message_id));
}

}  // namespace pelkary
