// The manager sink: the hidden window of one folder manager, on the manager's thread, through
// which the store session (on whatever thread it hears the store) hands the manager its events.
#pragma once

#include "comsupport/unique_any.h"
#include "notify/folder_events.h"

namespace pelkary {

// The events a manager hears, numbered as the dispids of IMXFolderManagerEvents.
enum class ManagerEvent : UINT {
    kCreated = DISPID_MXFOLDERMANAGER_ONFOLDERCREATED,
    kDeleted = DISPID_MXFOLDERMANAGER_ONFOLDERDELETED,
    kRenamed = DISPID_MXFOLDERMANAGER_ONFOLDERRENAMED,
    kMoved = DISPID_MXFOLDERMANAGER_ONFOLDERMOVED,
    kUnreadChanged = DISPID_MXFOLDERMANAGER_ONFOLDERUNREADCHANGED,
    kNewMessage = DISPID_MXFOLDERMANAGER_ONNEWMESSAGE,
};

// Creates the manager's event window ("NUVAK Manager sink") on the calling thread, which must be
// the manager's. Empty when it cannot be made (the manager then hears no events). Never throws.
unique_hwnd CreateManagerSinkWindow(ManagerEventTarget& manager) noexcept;

// Queues one event for the manager behind `window` (nothing when the window is gone). The event is
// raised when the manager's thread dispatches it, if the manager still lives then. Any thread.
void PostManagerEvent(HWND window, ManagerEvent event, long folder_id, long message_id = 0) noexcept;

// Asks the thread of the manager behind `window` to take over the store session's sink windows,
// whose thread has ended (see StoreSession::AdoptOrphanedSinks). Any thread.
void PostAdoptStoreSinks(HWND window) noexcept;

}  // namespace pelkary
