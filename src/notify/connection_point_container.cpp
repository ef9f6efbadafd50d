#include "notify/connection_point_container.h"

namespace pelkary {

HRESULT ConnectionPointContainer::EnumConnectionPoints(IEnumConnectionPoints** ppEnum) {
    if (ppEnum) *ppEnum = nullptr;
    return E_NOTIMPL;
}

HRESULT ConnectionPointContainer::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) {
    if (!ppCP) return E_POINTER;
    if (!IsEqualIID(riid, eventIid_)) {
        *ppCP = nullptr;
        return CONNECT_E_NOCONNECTION;
    }
    point_->AddRef();
    *ppCP = point_;
    return S_OK;
}

}  // namespace pelkary
