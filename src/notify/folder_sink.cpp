#include "notify/folder_sink.h"

#include "comsupport/unique_any.h"
#include "notify/sink_window.h"

namespace pelkary {

namespace {

constexpr char kClassName[] = "NUVAK Folder sink";
constexpr char kTitle[] = "Folder";

LRESULT CALLBACK FolderSinkProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    // The folder object (not counted): the window dies in the folder's teardown, before the object.
    auto* folder = reinterpret_cast<FolderEventTarget*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    switch (message) {
    case WM_NEWMSGS:
    case WM_DELETEFOLDER:
        PostMessageA(hwnd, message + kDeferredOffset, wparam, lparam);
        break;
    case WM_DELETEMSGS:
        // The id list belongs to the store and need not outlive its notification: carry the
        // first id itself in the deferred message.
        if (const auto* ids = reinterpret_cast<const DWORD*>(wparam))
            PostMessageA(hwnd, message + kDeferredOffset, ids[0], lparam);
        break;
    case WM_NEWMSGS + kDeferredOffset:
        if (folder) folder->FireOnNewMessage(static_cast<long>(wparam));
        break;
    case WM_DELETEMSGS + kDeferredOffset:
        if (folder) folder->FireOnMessageDeleted(static_cast<long>(wparam));
        break;
    case WM_DELETEFOLDER + kDeferredOffset:
        if (folder) folder->FireOnDeletion();
        break;
    default:
        break;
    }
    return DefWindowProcA(hwnd, message, wparam, lparam);
}

thread_local int t_internal_scopes = 0;

}  // namespace

InternalFolderScope::InternalFolderScope() noexcept { ++t_internal_scopes; }

InternalFolderScope::~InternalFolderScope() { --t_internal_scopes; }

void AttachFolderSink(FolderEventTarget& folder) noexcept {
    IStoreFolder* store = folder.store_folder();
    if (!store || folder.sink_window() || t_internal_scopes > 0) return;
    unique_hwnd window = CreateSinkWindow(kClassName, kTitle, FolderSinkProc);
    if (!window) return;
    SetWindowLongPtrA(window.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&folder));
    store->RegisterNotification(0, window.get());
    folder.sink_window() = std::move(window);
}

void DetachFolderSink(FolderEventTarget& folder) noexcept {
    unique_hwnd& window = folder.sink_window();
    if (!window) return;
    if (IStoreFolder* store = folder.store_folder()) store->UnregisterNotification(0, window.get());
    // Deferred notifications still queued for the window go with it.
    window.reset();
}

}  // namespace pelkary
