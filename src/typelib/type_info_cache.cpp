#include "typelib/type_info_cache.h"

#include <atomic>
#include <mutex>

#include "comsupport/com_ptr.h"
#include "comsupport/critical_section.h"
#include "frame/class_map.h"
#include "frame/module.h"

namespace pelkary {

namespace {

// Filled once under the module's critical section and published with release order; read with
// acquire order and without a lock afterwards. A slot only ever goes from null to its final value
// (and back to null at process detach).
std::atomic<IUnknown*> g_slots[kClassCount] = {};  // one per class, for its main interface

// Some runtimes find a library registered for its own locale (English, 0x409) only when that
// locale is asked for; the neutral request comes first, as everywhere else.
HRESULT LoadRegistered(const TypeLibrary& lib, ITypeLib** library) noexcept {
    HRESULT hr = LoadRegTypeLib(*lib.libid, lib.major, lib.minor, 0, library);
    if (FAILED(hr)) hr = LoadRegTypeLib(*lib.libid, lib.major, lib.minor, 0x409, library);
    return hr;
}

}  // namespace

HRESULT LoadTypeLibOf(REFIID iid, ITypeLib** library) noexcept {
    const ClassInfo* info = ClassMap::FindByInterface(iid);
    if (!info) return TYPE_E_ELEMENTNOTFOUND;
    return LoadRegistered(*info->library, library);
}

ITypeInfo* TypeInfoCache::Get(REFIID iid) noexcept {
    const ClassInfo* info = ClassMap::FindByInterface(iid);
    if (!info) return nullptr;
    std::atomic<IUnknown*>& slot = g_slots[ClassMap::IndexOf(*info)];
    // The slot holds an ITypeInfo, stored as its IUnknown base for the shutdown list.
    if (IUnknown* cached = slot.load(std::memory_order_acquire)) return static_cast<ITypeInfo*>(cached);

    Module& module = Module::Get();
    std::lock_guard<critical_section> guard(module.lock());
    if (IUnknown* cached = slot.load(std::memory_order_relaxed)) return static_cast<ITypeInfo*>(cached);
    com_ptr<ITypeLib> library;
    ITypeInfo* described = nullptr;
    if (FAILED(LoadRegistered(*info->library, library.put())) || !library ||
        FAILED(library->GetTypeInfoOfGuid(iid, &described)) || !described)
        return nullptr;
    slot.store(described, std::memory_order_release);
    try {
        module.AddShutdownSlot(&slot);
    } catch (...) {
        // Not listed: the description is then simply never released.
    }
    return described;
}

}  // namespace pelkary
