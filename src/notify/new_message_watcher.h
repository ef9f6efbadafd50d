// NewMessageWatcher: finds the messages that arrive unread in the Inbox or in an ordinary folder,
// which the store does not report as such. A scan thread, started with every store session,
// records the last message id of every folder; each later unread-count change of a folder is
// compared with that record, and every new unread message in between is raised as the managers'
// OnNewMessage(folderId, msgId).
//
// The record has no lock: only the scan thread writes it, and every later user first waits for
// the scan to end.
#pragma once

#include <map>
#include <vector>

#include "comsupport/unique_any.h"
#include "store_api.h"

namespace pelkary {

class FolderEventTarget;
class StoreSession;

class NewMessageWatcher {
public:
    // The id that stands for "no message"; never recorded.
    static constexpr unsigned long kNoMessage = MESSAGEID_INVALID;

    NewMessageWatcher() = default;
    ~NewMessageWatcher() = default;
    NewMessageWatcher(const NewMessageWatcher&) = delete;
    NewMessageWatcher& operator=(const NewMessageWatcher&) = delete;

    // Starts the scan thread (once per session, by the thread that builds it). The thread waits
    // until the session is published, walks every folder with a folder manager of its own, and
    // ends. Without a thread (out of resources) nothing is recorded and nothing waits.
    void StartScan() noexcept;
    // Called by the building thread once the session is published: lets the scan begin.
    void SessionPublished() noexcept;
    // Blocks until the scan has ended (at once when there is none). Never call on the scan thread.
    void WaitForScan() noexcept;
    // Is `thread` (by default the calling one) the scan thread?
    bool IsScanThread(DWORD thread = 0) const noexcept;

    // After an unread-count change of `folder_id`: waits for the scan, then fires OnNewMessage on
    // every manager of `session` for each message that arrived unread since the folder's recorded
    // last id (only the newest one for a folder without a record). Skips the Outbox, Sent, Deleted
    // and Draft folders. Runs on the session's thread, outside the session lock. Never throws.
    void DetectNewMessages(unsigned long folder_id, StoreSession& session) noexcept;

    // The id of the last message of the folder object's store folder, in the store's order;
    // kNoMessage when it has none, has no store folder, or the store fails. When `after` is given
    // (not kNoMessage), the ids greater than it are collected into `fresh`, in the store's order.
    // Never throws (fresh ids are dropped when memory runs out).
    static unsigned long LastMessageId(FolderEventTarget& folder, unsigned long after = kNoMessage,
                                       std::vector<unsigned long>* fresh = nullptr) noexcept;

private:
    static DWORD WINAPI ScanThread(void* param);
    void Scan();

    std::map<unsigned long, unsigned long> lastMessageIds_;
    unique_handle published_;
    unique_handle scanThread_;
    DWORD scanThreadId_ = 0;
};

}  // namespace pelkary
