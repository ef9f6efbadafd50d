#include "notify/new_message_watcher.h"

#include <algorithm>

#include "comsupport/com_error.h"
#include "comsupport/com_ptr.h"
#include "comsupport/unique_henumstore.h"
#include "frame/object_creation.h"
#include "notify/folder_events.h"
#include "notify/folder_sink.h"
#include "notify/store_session.h"

namespace pelkary {

namespace {

// The special folders whose arrivals are not new mail: Outbox, Sent, Deleted and Draft.
constexpr long kFirstSkippedType = FOLDER_OUTBOX;
constexpr long kLastSkippedType = FOLDER_DRAFT;

com_ptr<IMXFolderManager> CreateOwnManager() {
    return create_or_throw<IMXFolderManager>(CLSID_MXFolderManager, kCreateContext);
}

}  // namespace

void NewMessageWatcher::StartScan() noexcept {
    // Without the event the thread could not learn that the session is published: no scan.
    published_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!published_) return;
    DWORD id = 0;
    scanThread_.reset(CreateThread(nullptr, 0, &NewMessageWatcher::ScanThread, this, 0, &id));
    if (scanThread_) scanThreadId_ = id;
}

void NewMessageWatcher::WaitForScan() noexcept {
    if (scanThread_ && !IsScanThread()) WaitForSingleObject(scanThread_.get(), INFINITE);
}

void NewMessageWatcher::SessionPublished() noexcept {
    if (published_) SetEvent(published_.get());
}

bool NewMessageWatcher::IsScanThread(DWORD thread) const noexcept {
    return scanThreadId_ != 0 && (thread ? thread : GetCurrentThreadId()) == scanThreadId_;
}

DWORD WINAPI NewMessageWatcher::ScanThread(void* param) {
    HRESULT apartment = CoInitialize(nullptr);
    // The building thread publishes the session only once it is complete, this watcher included,
    // and then says so.
    auto* watcher = static_cast<NewMessageWatcher*>(param);
    WaitForSingleObject(watcher->published_.get(), INFINITE);
    try {
        watcher->Scan();
    } catch (...) {
        // Whatever the scan recorded until then stands; the thread ends normally.
    }
    if (SUCCEEDED(apartment)) CoUninitialize();
    return 0;
}

void NewMessageWatcher::Scan() {
    // The scan's folders live on this thread only for the walk and never raise events.
    InternalFolderScope internal;
    com_ptr<IMXFolderManager> manager = CreateOwnManager();
    lastMessageIds_.clear();
    com_ptr<IMXFolder> folder;
    check_callee(manager.get(), manager->GetFirstFolder(reinterpret_cast<::MXFolder**>(folder.put())));
    while (folder) {
        FolderEventTarget& target = FolderEventTargetOf(folder.get());
        unsigned long last = LastMessageId(target);
        if (last != kNoMessage) lastMessageIds_[static_cast<unsigned long>(target.id())] = last;
        check_callee(manager.get(), manager->GetNextFolder(reinterpret_cast<::MXFolder**>(folder.put())));
    }
}

unsigned long NewMessageWatcher::LastMessageId(FolderEventTarget& folder, unsigned long after,
                                               std::vector<unsigned long>* fresh) noexcept {
    IStoreFolder* store = folder.store_folder();
    if (!store) return kNoMessage;
    MESSAGEPROPS props{};
    props.cbSize = sizeof(props);
    unique_henumstore<IStoreFolder> walk;
    HRESULT hr = store->GetFirstMessage(MSGPROPS_FAST, 0, MESSAGEID_FIRST, &props, walk.put(store));
    if (FAILED(hr)) return kNoMessage;
    unsigned long last = kNoMessage;
    while (hr == S_OK) {
        last = props.dwMessageId;
        store->FreeMessageProps(&props);
        if (fresh && after != kNoMessage && last > after) {
            try {
                fresh->push_back(last);
            } catch (const std::bad_alloc&) {
                fresh = nullptr;
            }
        }
        props = MESSAGEPROPS{};
        props.cbSize = sizeof(props);
        hr = store->GetNextMessage(walk.get(), MSGPROPS_FAST, &props);
    }
    return last;
}

void NewMessageWatcher::DetectNewMessages(unsigned long folder_id, StoreSession& session) noexcept {
    try {
        com_ptr<IMXFolderManager> manager;
        com_ptr<IMXFolder> folder;
        {
            // The probing folder is pelkary's own; handlers that run later (and may open folders
            // of their own on this thread) run outside the scope.
            InternalFolderScope internal;
            manager = CreateOwnManager();
            WaitForScan();
            check_callee(manager.get(), manager->GetFolder(static_cast<long>(folder_id),
                                                           reinterpret_cast<::MXFolder**>(folder.put())));
        }
        if (!folder) return;
        FolderEventTarget& target = FolderEventTargetOf(folder.get());
        if (target.special_type() >= kFirstSkippedType && target.special_type() <= kLastSkippedType) return;

        auto recorded = lastMessageIds_.find(folder_id);
        const unsigned long prev = recorded == lastMessageIds_.end() ? kNoMessage : recorded->second;
        // One walk gives the new last id and the ids that came after the recorded one, so only ids
        // the folder holds are probed.
        std::vector<unsigned long> fresh;
        const unsigned long last = LastMessageId(target, prev, &fresh);
        if (last == kNoMessage) return;
        if (prev != kNoMessage && prev >= last) return;
        lastMessageIds_[folder_id] = last;
        if (prev == kNoMessage) fresh.assign(1, last);
        std::sort(fresh.begin(), fresh.end());

        for (unsigned long id : fresh) {
            if (id > last) break;
            com_ptr<IMXMessage> message;
            check_callee(folder.get(), folder->GetMessage(static_cast<long>(id),
                                                          reinterpret_cast<::MXMessage**>(message.put())));
            if (!message) continue;
            long state = 0;
            if (SUCCEEDED(message->GetState(&state)) && (state & MX_MSG_UNREAD))
                session.FireNewMessage(folder_id, id);
        }
    } catch (...) {
        // A detection that fails ends quietly; the next change of the folder tries again.
    }
}

}  // namespace pelkary
