#include "notify/sink_window.h"

#include "comsupport/unique_any.h"
#include "comsupport/unique_cotaskmem.h"
#include "frame/module.h"

namespace pelkary {

unique_hwnd CreateSinkWindow(const char* class_name, const char* title, WNDPROC procedure) noexcept {
    HINSTANCE instance = Module::Get().instance();
    WNDCLASSEXA window_class{};
    window_class.cbSize = sizeof(window_class);
    window_class.style = 0;
    window_class.lpfnWndProc = procedure;
    window_class.hInstance = instance;
    window_class.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    window_class.lpszClassName = class_name;
    // From the second window on the class exists already; the failure then is expected.
    RegisterClassExA(&window_class);
    HWND window = CreateWindowExA(0, class_name, title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 400, 200,
                                  nullptr, nullptr, instance, nullptr);
    // A session without a display (a service, or Wine with no graphics driver) cannot make
    // top-level windows; a message-only window of the same thread still delivers the store's
    // notifications and the deferred events through that thread's message loop.
    if (!window)
        window = CreateWindowExA(0, class_name, title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 400, 200,
                                 HWND_MESSAGE, nullptr, instance, nullptr);
    return unique_hwnd(window);
}

void DropStoreNotification(UINT message, LPARAM lparam) noexcept {
    if (message == WM_FOLDERNOTIFY || message == WM_FOLDERNOTIFY + kDeferredOffset)
        unique_cotaskmem<FOLDERNOTIFYEX> record(reinterpret_cast<FOLDERNOTIFYEX*>(lparam));
}

void CloseSinkWindow(unique_hwnd& window) noexcept {
    if (!window) return;
    const DWORD thread = GetWindowThreadProcessId(window.get(), nullptr);
    if (thread == GetCurrentThreadId()) {
        window.reset();
        return;
    }
    if (thread != 0) PostMessageA(window.get(), WM_CLOSE, 0, 0);
    window.release();
}

}  // namespace pelkary
