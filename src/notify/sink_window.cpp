#include "notify/sink_window.h"

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
    return unique_hwnd(CreateWindowExA(0, class_name, title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 400,
                                       200, nullptr, nullptr, instance, nullptr));
}

}  // namespace pelkary
