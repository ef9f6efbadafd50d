#include "frame/module.h"

#include <mutex>

#include "comsupport/com_ptr.h"
#include "comsupport/critical_section.h"

namespace pelkary {

Module& Module::Get() {
    static Module module;
    return module;
}

void Module::AddShutdownSlot(std::atomic<IUnknown*>* slot) { shutdown_slots_.push_back(slot); }

void Module::RunShutdownList() noexcept {
    std::lock_guard<critical_section> guard(cs_);
    for (std::atomic<IUnknown*>* slot : shutdown_slots_) {
        // The slot holds its reference raw (it is shared, lock-free, by the whole process);
        // adopting it here releases it exactly once.
        com_ptr<IUnknown>::attach(slot->exchange(nullptr, std::memory_order_acq_rel));
    }
    shutdown_slots_.clear();
}

}  // namespace pelkary
