#include "notify/store_session.h"

#include <algorithm>
#include <new>

#include "folders/mx_folder.h"
#include "folders/mx_folder_manager.h"

namespace pelkary {

namespace {

// Guards the process-wide pointer and every session's `users_`. Held only for short sections
// that take no other lock, except while a session is built (which calls nothing that comes back
// here); so code that holds a session lock may still join.
SRWLOCK g_publish = SRWLOCK_INIT;
StoreSession* g_session = nullptr;

class publish_lock {
public:
    publish_lock() noexcept { AcquireSRWLockExclusive(&g_publish); }
    ~publish_lock() { ReleaseSRWLockExclusive(&g_publish); }
    publish_lock(const publish_lock&) = delete;
    publish_lock& operator=(const publish_lock&) = delete;
};

}  // namespace

StoreSession::StoreSession() { InitializeCriticalSection(&lock_); }

StoreSession::~StoreSession() { DeleteCriticalSection(&lock_); }

StoreSession* StoreSession::Get(bool create) noexcept {
    publish_lock guard;
    if (!g_session && create) g_session = Build();
    return g_session;
}

StoreSession* StoreSession::Build() noexcept {
    auto* session = new (std::nothrow) StoreSession();
    if (!session) return nullptr;
    session->Connect();
    session->StartScan();
    return session;
}

template <typename T>
StoreSession* StoreSession::Join(std::vector<T*> StoreSession::*list, T* object) noexcept {
    StoreSession* session;
    {
        publish_lock guard;
        if (!g_session) g_session = Build();
        session = g_session;
        if (!session) return nullptr;
        ++session->users_;
    }
    // The count taken above keeps the session alive; the list itself is the lock's.
    critical_section_lock guard(session->lock_);
    try {
        (session->*list).push_back(object);
    } catch (const std::bad_alloc&) {
        // Unlisted objects hear no manager events; the count still tears the session down.
    }
    return session;
}

StoreSession* StoreSession::JoinFolder(MXFolder* folder) noexcept { return Join(&StoreSession::folders_, folder); }

StoreSession* StoreSession::JoinManager(MXFolderManager* manager) noexcept {
    return Join(&StoreSession::managers_, manager);
}

template <typename T>
void StoreSession::Unregister(std::vector<T*>& list, T* object) noexcept {
    {
        critical_section_lock guard(lock_);
        list.erase(std::remove(list.begin(), list.end(), object), list.end());
    }
    // The scan's own manager leaves on the scan thread, which never waits for itself and never
    // ends the session it serves.
    bool last = false;
    if (IsScanThread()) {
        publish_lock guard;
        --users_;
        return;
    }
    WaitForScan();
    {
        publish_lock guard;
        last = --users_ == 0 && g_session == this;
        if (last) g_session = nullptr;
    }
    if (!last) return;
    Disconnect();
    delete this;
}

void StoreSession::UnregisterFolder(MXFolder* folder) noexcept { Unregister(folders_, folder); }

void StoreSession::UnregisterManager(MXFolderManager* manager) noexcept { Unregister(managers_, manager); }

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
    storeSinkWindow_ = CreateStoreSinkWindow();
    if (storeSinkWindow_) storeNamespace_->RegisterNotification(0, storeSinkWindow_.get());

    if (FAILED(storeNamespace_->OpenSpecialFolder(FOLDER_DELETED, 0, deletedItemsFolder_.put())) ||
        !deletedItemsFolder_) {
        deletedItemsFolder_ = nullptr;
        return;
    }
    deletedItemsSinkWindow_ = CreateDeletedItemsSinkWindow();
    if (deletedItemsSinkWindow_) deletedItemsFolder_->RegisterNotification(0, deletedItemsSinkWindow_.get());
}

void StoreSession::Disconnect() noexcept {
    if (storeNamespace_) {
        if (storeSinkWindow_) storeNamespace_->UnregisterNotification(0, storeSinkWindow_.get());
        storeSinkWindow_.reset();
        storeNamespace_ = nullptr;
    }
    if (deletedItemsFolder_) {
        if (deletedItemsSinkWindow_) deletedItemsFolder_->UnregisterNotification(0, deletedItemsSinkWindow_.get());
        deletedItemsSinkWindow_.reset();
        deletedItemsFolder_ = nullptr;
    }
}

// The session serves the store without notification windows until they are built here.
unique_hwnd StoreSession::CreateStoreSinkWindow() noexcept { return unique_hwnd(); }

unique_hwnd StoreSession::CreateDeletedItemsSinkWindow() noexcept { return unique_hwnd(); }

// The watcher's scan starts here; without a scan thread there is nothing to wait for.
void StoreSession::StartScan() noexcept {}

void StoreSession::WaitForScan() noexcept {
    if (scanThread_) WaitForSingleObject(scanThread_.get(), INFINITE);
}

bool StoreSession::IsScanThread() const noexcept {
    return scanThreadId_ != 0 && GetCurrentThreadId() == scanThreadId_;
}

// Folder changes reach the managers once the store sink window delivers them.
void StoreSession::DispatchFolderChange(const FOLDERNOTIFYEX&) noexcept {}

// New messages are detected once the scan has recorded the folders' last ids.
void StoreSession::DetectNewMessages(unsigned long) noexcept {}

void StoreSession::FireNewMessage(unsigned long folder_id, unsigned long message_id) noexcept {
    critical_section_lock guard(lock_);
    // Handlers run inside the lock and may add or remove managers on this thread: walking by
    // index keeps the walk valid whatever the list becomes.
    for (size_t i = 0; i < managers_.size(); ++i)
        managers_[i]->FireOnNewMessage(static_cast<long>(folder_id), static_cast<long>(message_id));
}

unsigned long StoreSession::LastMessageId(MXFolder& folder) noexcept {
    constexpr unsigned long kNone = 0xFFFFFFFF;
    IStoreFolder* store = folder.store_folder();
    if (!store) return kNone;
    MESSAGEPROPS props{};
    props.cbSize = sizeof(props);
    HENUMSTORE handle = nullptr;
    HRESULT hr = store->GetFirstMessage(MSGPROPS_FAST, 0, MESSAGEID_FIRST, &props, &handle);
    if (FAILED(hr)) return kNone;
    unsigned long last = kNone;
    while (hr == S_OK) {
        last = props.dwMessageId;
        store->FreeMessageProps(&props);
        props = MESSAGEPROPS{};
        props.cbSize = sizeof(props);
        hr = store->GetNextMessage(handle, MSGPROPS_FAST, &props);
    }
    if (handle) store->GetMessageClose(handle);
    return last;
}

}  // namespace pelkary
