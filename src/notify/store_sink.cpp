#include "notify/store_sink.h"

#include "comsupport/unique_any.h"
#include "comsupport/unique_cotaskmem.h"
#include "notify/sink_window.h"
#include "notify/store_session.h"
#include "store_api.h"

namespace pelkary {

namespace {

constexpr char kClassName[] = "Store sink";
constexpr char kTitle[] = "NUVAK";
// A change code the store reports that no manager hears of.
constexpr DWORD kUnforwardedChange = 8;
constexpr UINT kDeferredFolderChange = WM_FOLDERNOTIFY + kDeferredOffset;

using record_ptr = unique_cotaskmem<FOLDERNOTIFYEX>;

// Records still queued when the window goes would otherwise never be freed.
void FreeQueuedRecords(HWND hwnd) noexcept {
    MSG msg;
    for (UINT number : {static_cast<UINT>(WM_FOLDERNOTIFY), kDeferredFolderChange}) {
        while (PeekMessageA(&msg, hwnd, number, number, PM_REMOVE))
            record_ptr(reinterpret_cast<FOLDERNOTIFYEX*>(msg.lParam));
    }
}

LRESULT CALLBACK StoreSinkProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_FOLDERNOTIFY: {
        // The record is ours from here on (the store allocates one per receiver).
        record_ptr record(reinterpret_cast<FOLDERNOTIFYEX*>(lparam));
        if (record && record->type != kUnforwardedChange &&
            PostMessageA(hwnd, kDeferredFolderChange, wparam, reinterpret_cast<LPARAM>(record.get())))
            record.release();
        break;
    }
    case kDeferredFolderChange: {
        record_ptr record(reinterpret_cast<FOLDERNOTIFYEX*>(lparam));
        if (record) StoreSession::DispatchToCurrent(*record.get());
        break;
    }
    case WM_DESTROY:
        FreeQueuedRecords(hwnd);
        break;
    default:
        break;
    }
    return DefWindowProcA(hwnd, message, wparam, lparam);
}

}  // namespace

unique_hwnd CreateStoreSinkWindow() noexcept { return CreateSinkWindow(kClassName, kTitle, StoreSinkProc); }

}  // namespace pelkary
