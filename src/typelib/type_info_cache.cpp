#include "typelib/type_info_cache.h"

#include <mutex>

#include "comsupport/com_ptr.h"
#include "comsupport/critical_section.h"
#include "frame/module.h"
#include "pelkary.h"
#include "pelkary_scripting.h"

namespace pelkary {

namespace {

struct CachedInterface {
    const IID* iid;
    bool scripting;  // declared by the scripting library, else by PELKARY
};

constexpr CachedInterface kInterfaces[] = {
    {&IID_IMXFolderManager, false}, {&IID_IMXFolder, false},          {&IID_IMXMessage, false},
    {&IID_IMXStore, true},          {&IID_IMXMessageCollection, true}, {&IID_IMXChange, true},
    {&IID_IMXChangeCollection, true},
};
constexpr int kSlots = sizeof kInterfaces / sizeof kInterfaces[0];

// Filled once under the module's critical section, read without a lock afterwards: a slot only
// ever goes from null to its final value (and back to null at process detach).
ITypeInfo* volatile g_slots[kSlots] = {};

int SlotOf(REFIID iid) {
    for (int i = 0; i < kSlots; ++i)
        if (IsEqualIID(iid, *kInterfaces[i].iid)) return i;
    return -1;
}

// Some runtimes find a library registered for its own locale (English, 0x409) only when that
// locale is asked for; the neutral request comes first, as everywhere else.
HRESULT LoadRegistered(REFGUID libid, WORD major, WORD minor, ITypeLib** library) noexcept {
    HRESULT hr = LoadRegTypeLib(libid, major, minor, 0, library);
    if (FAILED(hr)) hr = LoadRegTypeLib(libid, major, minor, 0x409, library);
    return hr;
}

}  // namespace

HRESULT LoadPelkaryTypeLib(ITypeLib** library) noexcept { return LoadRegistered(LIBID_PELKARY, 2, 3, library); }

HRESULT LoadTypeLibOf(REFIID iid, ITypeLib** library) noexcept {
    const int index = SlotOf(iid);
    if (index < 0) return TYPE_E_ELEMENTNOTFOUND;
    return kInterfaces[index].scripting ? LoadRegistered(LIBID_PELKARY_SCRIPTING, 1, 0, library)
                                        : LoadPelkaryTypeLib(library);
}

ITypeInfo* TypeInfoCache::Get(REFIID iid) noexcept {
    int index = SlotOf(iid);
    if (index < 0) return nullptr;
    if (ITypeInfo* cached = g_slots[index]) return cached;

    Module& module = Module::Get();
    std::lock_guard<critical_section> guard(module.lock());
    if (!g_slots[index]) {
        com_ptr<ITypeLib> library;
        if (SUCCEEDED(LoadTypeLibOf(iid, library.put())) && library) {
            ITypeInfo* info = nullptr;
            if (SUCCEEDED(library->GetTypeInfoOfGuid(iid, &info)) && info) {
                g_slots[index] = info;
                try {
                    module.AddShutdownSlot(reinterpret_cast<IUnknown**>(const_cast<ITypeInfo**>(&g_slots[index])));
                } catch (...) {
                    // Not listed: the description is then simply never released.
                }
            }
        }
    }
    return g_slots[index];
}

}  // namespace pelkary
