#include "typelib/type_info_cache.h"

#include <mutex>

#include "comsupport/com_ptr.h"
#include "comsupport/critical_section.h"
#include "frame/module.h"
#include "pelkary.h"

namespace pelkary {

namespace {

// Filled once under the module's critical section, read without a lock afterwards: a slot only
// ever goes from null to its final value (and back to null at process detach).
ITypeInfo* volatile g_slots[3] = {};

int SlotOf(REFIID iid) {
    if (IsEqualIID(iid, IID_IMXFolderManager)) return 0;
    if (IsEqualIID(iid, IID_IMXFolder)) return 1;
    if (IsEqualIID(iid, IID_IMXMessage)) return 2;
    return -1;
}

}  // namespace

HRESULT LoadPelkaryTypeLib(ITypeLib** library) noexcept {
    HRESULT hr = LoadRegTypeLib(LIBID_PELKARY, 2, 3, 0, library);
    // Some runtimes find a library registered for its own locale (English, 0x409) only when that
    // locale is asked for; the neutral request comes first, as everywhere else.
    if (FAILED(hr)) hr = LoadRegTypeLib(LIBID_PELKARY, 2, 3, 0x409, library);
    return hr;
}

ITypeInfo* TypeInfoCache::Get(REFIID iid) noexcept {
    int index = SlotOf(iid);
    if (index < 0) return nullptr;
    if (ITypeInfo* cached = g_slots[index]) return cached;

    Module& module = Module::Get();
    std::lock_guard<critical_section> guard(module.lock());
    if (!g_slots[index]) {
        com_ptr<ITypeLib> library;
        if (SUCCEEDED(LoadPelkaryTypeLib(library.put())) && library) {
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
