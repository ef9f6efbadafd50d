#include "comsupport/query_interface.h"

namespace pelkary {

HRESULT query_interface(REFIID riid, void** ppv, std::initializer_list<InterfaceEntry> entries) noexcept {
    if (!ppv) return E_POINTER;
    for (const InterfaceEntry& entry : entries) {
        if (entry.answer && IsEqualIID(riid, entry.iid)) {
            entry.answer->AddRef();
            *ppv = entry.answer;
            return S_OK;
        }
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

}  // namespace pelkary
