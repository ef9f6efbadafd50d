// ModuleLock: the lock count of the module (DLL) that links this library: its live objects, the
// references clients hold on its class objects and its LockServer(TRUE) calls. It decides
// DllCanUnloadNow. Each DLL has its own count.
#pragma once

#include <windows.h>

namespace pelkary {

class ModuleLock {
public:
    // Interlocked; any thread.
    static void Lock() noexcept;
    static void Unlock() noexcept;
    static LONG count() noexcept;
    // DllCanUnloadNow's answer: S_OK when nothing holds the module, else S_FALSE.
    static HRESULT CanUnloadNow() noexcept { return count() == 0 ? S_OK : S_FALSE; }
};

}  // namespace pelkary
