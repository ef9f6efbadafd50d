// Layering: frame is pelkary.dll's lowest folder (module state, class objects, registration, the
// automation object base); it calls only comsupport and typelib. Only dll_entry.cpp, the module's
// entry, and class_map.cpp, the table of its classes, name the classes of the folders above.
//
// Module-wide state of pelkary.dll on top of the shared module lock (comsupport/module_lock.h):
// the instance handle, and the shutdown list of process-wide interface slots released at detach.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <atomic>
#include <vector>

#include "comsupport/critical_section.h"
#include "comsupport/module_lock.h"

namespace pelkary {

class Module {
public:
    // The one module object of the process, built on first use. Thread-safe.
    static Module& Get();
    // What tells this module's objects from those of another copy of the module loaded in the
    // same process (see IObjectImplementation).
    static const void* Token() { return &Get(); }

    HINSTANCE instance() const noexcept { return instance_; }
    void set_instance(HINSTANCE instance) noexcept { instance_ = instance; }

    // Live objects, class-object references and LockServer(TRUE) calls.
    LONG lock_count() const noexcept { return ModuleLock::count(); }

    // Guards the shutdown list and the filling of the type-description cache.
    critical_section& lock() noexcept { return cs_; }

    // Registers a process-wide interface slot to be released (and cleared) at process detach.
    // Call with lock() held. May throw std::bad_alloc.
    void AddShutdownSlot(std::atomic<IUnknown*>* slot);
    // Runs the shutdown list in order and empties it (process detach).
    void RunShutdownList() noexcept;

private:
    Module() = default;

    HINSTANCE instance_ = nullptr;
    critical_section cs_;
    std::vector<std::atomic<IUnknown*>*> shutdown_slots_;
};

}  // namespace pelkary
