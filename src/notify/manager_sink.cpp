#include "notify/manager_sink.h"

#include "notify/sink_window.h"
#include "notify/store_session.h"

namespace pelkary {

namespace {

constexpr char kClassName[] = "NUVAK Manager sink";
constexpr char kTitle[] = "Manager";
constexpr UINT kFirstEvent = WM_APP + 0x200;
constexpr UINT kAdoptStoreSinks = WM_APP + 0x1FF;

void Raise(ManagerEventTarget& manager, ManagerEvent event, long folder_id, long message_id) {
    switch (event) {
    case ManagerEvent::kCreated: manager.FireOnFolderCreated(folder_id); break;
    case ManagerEvent::kDeleted: manager.FireOnFolderDeleted(folder_id); break;
    case ManagerEvent::kRenamed: manager.FireOnFolderRenamed(folder_id); break;
    case ManagerEvent::kMoved: manager.FireOnFolderMoved(folder_id); break;
    case ManagerEvent::kUnreadChanged: manager.FireOnFolderUnreadChanged(folder_id); break;
    case ManagerEvent::kNewMessage: manager.FireOnNewMessage(folder_id, message_id); break;
    }
}

LRESULT CALLBACK ManagerSinkProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == kAdoptStoreSinks) {
        StoreSession::AdoptOrphanedSinks();
        return 0;
    }
    if (message >= kFirstStoreNotification && message <= kLastStoreNotification) {
        StoreSession::PassOnStoreNotification(message, wparam, lparam);
        return 0;
    }
    const UINT event = message - kFirstEvent;
    if (message < kFirstEvent || event < static_cast<UINT>(ManagerEvent::kCreated) ||
        event > static_cast<UINT>(ManagerEvent::kNewMessage))
        return DefWindowProcA(hwnd, message, wparam, lparam);
    // Not counted: the window goes in the manager's teardown. The reference taken here keeps a
    // manager whose handler drops the client's last reference alive until the event is over.
    auto* manager = reinterpret_cast<ManagerEventTarget*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (manager && manager->TryRetain()) {
        try {
            Raise(*manager, static_cast<ManagerEvent>(event), static_cast<long>(wparam), static_cast<long>(lparam));
        } catch (...) {
            // An event that cannot be raised is lost; the manager stays usable.
        }
        manager->Drop();
    }
    return 0;
}

}  // namespace

unique_hwnd CreateManagerSinkWindow(ManagerEventTarget& manager) noexcept {
    unique_hwnd window = CreateSinkWindow(kClassName, kTitle, ManagerSinkProc);
    if (window) SetWindowLongPtrA(window.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&manager));
    return window;
}

void PostAdoptStoreSinks(HWND window) noexcept {
    if (window) PostMessageA(window, kAdoptStoreSinks, 0, 0);
}

void PostManagerEvent(HWND window, ManagerEvent event, long folder_id, long message_id) noexcept {
    if (window)
        PostMessageA(window, kFirstEvent + static_cast<UINT>(event), static_cast<WPARAM>(static_cast<ULONG>(folder_id)),
                     static_cast<LPARAM>(static_cast<ULONG>(message_id)));
}

}  // namespace pelkary
