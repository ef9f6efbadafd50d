// Module-wide state of pelkary.dll: the instance handle, the lock count that decides when the
// DLL may be unloaded, and the shutdown list of process-wide interface slots released at detach.
#pragma once

#include <vector>

#include "frame/holders.h"

namespace pelkary {

class Module {
public:
    // The one module object of the process, built on first use. Thread-safe.
    static Module& Get();

    HINSTANCE instance() const noexcept { return instance_; }
    void set_instance(HINSTANCE instance) noexcept { instance_ = instance; }

    // Lock count: live objects, class-object references and LockServer(TRUE) calls.
    void Lock() noexcept { InterlockedIncrement(&lock_count_); }
    void Unlock() noexcept { InterlockedDecrement(&lock_count_); }
    LONG lock_count() const noexcept { return lock_count_; }

    // Guards the shutdown list and the filling of the type-description cache.
    CRITICAL_SECTION& critical_section() noexcept { return cs_; }

    // Registers a process-wide interface slot to be released (and cleared) at process detach.
    // Call with critical_section() held.
    void AddShutdownSlot(IUnknown** slot);
    // Runs the shutdown list in order and empties it (process detach).
    void RunShutdownList() noexcept;

private:
    Module();
    ~Module();

    HINSTANCE instance_ = nullptr;
    volatile LONG lock_count_ = 0;
    CRITICAL_SECTION cs_;
    std::vector<IUnknown**> shutdown_slots_;
};

}  // namespace pelkary
