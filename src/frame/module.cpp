#include "frame/module.h"

namespace pelkary {

Module& Module::Get() {
    static Module module;
    return module;
}

Module::Module() { InitializeCriticalSection(&cs_); }

Module::~Module() { DeleteCriticalSection(&cs_); }

void Module::AddShutdownSlot(IUnknown** slot) { shutdown_slots_.push_back(slot); }

void Module::RunShutdownList() noexcept {
    critical_section_lock lock(cs_);
    for (IUnknown** slot : shutdown_slots_) {
        // The slot holds its reference raw (it is shared, lock-free, by the whole process);
        // adopting it here releases it exactly once.
        com_ptr<IUnknown>::attach(*slot);
        *slot = nullptr;
    }
    shutdown_slots_.clear();
}

}  // namespace pelkary
