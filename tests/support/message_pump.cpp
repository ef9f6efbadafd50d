#include "support/message_pump.h"

namespace pelkary::test {

namespace {

void DispatchPending() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// Waits for a message or the end of the period, whichever comes first.
void WaitForMessage(DWORD deadline) {
    DWORD now = GetTickCount();
    DWORD left = static_cast<LONG>(deadline - now) > 0 ? deadline - now : 0;
    if (left > 0) MsgWaitForMultipleObjects(0, nullptr, FALSE, left > 50 ? 50 : left, QS_ALLINPUT);
}

}  // namespace

bool PumpUntil(const std::function<bool()>& done, DWORD timeout_ms) {
    const DWORD deadline = GetTickCount() + timeout_ms;
    for (;;) {
        DispatchPending();
        if (done()) return true;
        if (static_cast<LONG>(deadline - GetTickCount()) <= 0) break;
        WaitForMessage(deadline);
    }
    DispatchPending();
    return done();
}

void PumpMessages(DWORD ms) { PumpUntil([] { return false; }, ms); }

}  // namespace pelkary::test
