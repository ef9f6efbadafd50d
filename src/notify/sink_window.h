// The hidden windows through which the store's notifications reach pelkary. The store posts its
// notifications (WM_FOLDERNOTIFY and the others of store_api.h) to registered windows; pelkary's
// windows post each one back to themselves under a number of their own (the store's number plus
// kDeferredOffset) and raise events only when that second message is dispatched, so no client
// code ever runs inside the store's notification.
#pragma once

#include "comsupport/unique_any.h"
#include "store_api.h"

namespace pelkary {

// A window's own re-post of a store notification.
constexpr UINT kDeferredOffset = 100;
// Every store notification and its re-post lie in this range.
constexpr UINT kFirstStoreNotification = WM_FOLDERNOTIFY;
constexpr UINT kLastStoreNotification = WM_DELETEFOLDER + kDeferredOffset;

// Frees what a store notification owns (WM_FOLDERNOTIFY's record, also in its re-post) when it
// is dropped undelivered. Never throws.
void DropStoreNotification(UINT message, LPARAM lparam) noexcept;

// Registers the window class `class_name` (every time; a second registration fails harmlessly)
// with `procedure`, and creates one window of it on the calling thread: an ordinary top-level
// window (WS_OVERLAPPEDWINDOW, never shown, not message-only) whose messages that thread's message
// loop dispatches. Empty when the window cannot be made. Never throws.
unique_hwnd CreateSinkWindow(const char* class_name, const char* title, WNDPROC procedure) noexcept;

// Lets go of a sink window from any thread: destroys it on its own thread, asks its thread to
// close it (WM_CLOSE) from another one, and only forgets one whose thread has ended (the system
// took it down). Never throws.
void CloseSinkWindow(unique_hwnd& window) noexcept;

}  // namespace pelkary
