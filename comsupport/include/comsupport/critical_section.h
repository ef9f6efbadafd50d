// critical_section: an owned Win32 critical section, lockable with std::lock_guard.
#pragma once

#include <windows.h>

namespace pelkary {

// Re-entrant on its owning thread, like every critical section. Meets BasicLockable, so
// `std::lock_guard<critical_section> guard(cs);` holds it for a scope.
class critical_section {
public:
    critical_section() noexcept { InitializeCriticalSection(&cs_); }
    ~critical_section() { DeleteCriticalSection(&cs_); }
    critical_section(const critical_section&) = delete;
    critical_section& operator=(const critical_section&) = delete;

    void lock() noexcept { EnterCriticalSection(&cs_); }
    void unlock() noexcept { LeaveCriticalSection(&cs_); }

private:
    CRITICAL_SECTION cs_;
};

}  // namespace pelkary
