// Running the current thread's message loop. pelkary fires events from messages posted to hidden
// windows of the thread that owns them, so a test sees events only while it pumps.
#pragma once

#include <windows.h>

#include <functional>

namespace pelkary::test {

// Dispatches the thread's messages for `ms` milliseconds (at least one pass, also for 0).
void PumpMessages(DWORD ms);

// Dispatches messages until `done` returns true or `timeout_ms` has passed. Returns the last
// result of `done` (checked once more after the time is up).
bool PumpUntil(const std::function<bool()>& done, DWORD timeout_ms);

}  // namespace pelkary::test
