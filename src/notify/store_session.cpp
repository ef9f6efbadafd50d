#include "notify/store_session.h"

#include <algorithm>
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
// here); so code that holds a session lock may still join.
critical_section g_publish;
StoreSession* g_session = nullptr;

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
    // The windows die with their thread; a pool thread hears of it and finds them a new one.
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
    if (storeNamespace_ && storeSinkWindow_) storeNamespace_->UnregisterNotification(0, storeSinkWindow_.get());
    CloseSinkWindow(storeSinkWindow_);
    if (deletedItemsFolder_ && deletedItemsSinkWindow_)
        deletedItemsFolder_->UnregisterNotification(0, deletedItemsSinkWindow_.get());
    CloseSinkWindow(deletedItemsSinkWindow_);
}

void StoreSession::AdoptSinksIfOrphaned() noexcept {
    if (!storeNamespace_ || IsScanThread()) return;
    if (sinkThread_ && WaitForSingleObject(sinkThread_.get(), 0) == WAIT_TIMEOUT) return;
    DetachSinks();
    AttachSinks();
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
