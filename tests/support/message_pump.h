// Running the current thread's message loop. pelkary fires events from messages posted to hidden
// windows of the thread that owns them, so a test sees events only while it pumps.
#pragma once

#include <windows.h>

#include <functional>

namespace pelkary::test {

// Dispatches messages until `done` returns true or `timeout_ms` has passed (at least one pass).
// Returns the last result of `done` (checked once more after the time is up).
inline bool PumpUntil(const std::function<bool()>& done, DWORD timeout_ms) {
    const DWORD deadline = GetTickCount() + timeout_ms;
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (done()) return true;
        const LONG left = static_cast<LONG>(deadline - GetTickCount());
        if (left < 0) return done();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, left > 50 ? 50 : static_cast<DWORD>(left), QS_ALLINPUT);
    }
}

// Dispatches the thread's messages for `ms` milliseconds.
inline void PumpMessages(DWORD ms) { PumpUntil([] { return false; }, ms); }

}  // namespace pelkary::test
