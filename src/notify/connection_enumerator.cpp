#include "notify/connection_enumerator.h"

#include <new>

#include "comsupport/query_interface.h"
#include "notify/event_connection_point.h"

namespace pelkary {

namespace {
constexpr std::uint64_t kFirstPosition = 1;
}

HRESULT ConnectionEnumerator::Create(EventConnectionPoint* point, std::uint64_t position,
                                     IEnumConnections** out) noexcept {
    if (!out) return E_POINTER;
    *out = new (std::nothrow) ConnectionEnumerator(point, position);
    if (!*out) return E_FAIL;
    (*out)->AddRef();
    return S_OK;
}

ConnectionEnumerator::ConnectionEnumerator(EventConnectionPoint* point, std::uint64_t position) noexcept
    : point_(point), pointHold_(point), position_(position) {}

HRESULT ConnectionEnumerator::QueryInterface(REFIID riid, void** ppv) {
    return query_interface(riid, ppv,
                           {{IID_IEnumConnections, static_cast<IEnumConnections*>(this)},
                            {IID_IUnknown, static_cast<IEnumConnections*>(this)},
                            {IID_ISupportErrorInfo, static_cast<ISupportErrorInfo*>(this)}});
}

HRESULT ConnectionEnumerator::Next(ULONG cConnections, CONNECTDATA* rgcd, ULONG* pcFetched) {
    if (pcFetched) *pcFetched = 0;
    if (!rgcd && cConnections > 0) return E_POINTER;
    ULONG fetched = 0;
    while (fetched < cConnections) {
        DWORD cookie = 0;
        IDispatch* sink = nullptr;
        if (!point_->FindFrom(position_, &cookie, &sink)) break;
        sink->AddRef();
        rgcd[fetched].pUnk = sink;
        rgcd[fetched].dwCookie = cookie;
        ++fetched;
        position_ = std::uint64_t{cookie} + 1;
    }
    if (pcFetched) *pcFetched = fetched;
    return fetched == cConnections ? S_OK : S_FALSE;
}

HRESULT ConnectionEnumerator::Skip(ULONG cConnections) {
    for (ULONG skipped = 0; skipped < cConnections; ++skipped) {
        DWORD cookie = 0;
        IDispatch* sink = nullptr;
        if (!point_->FindFrom(position_, &cookie, &sink)) return S_FALSE;
        position_ = std::uint64_t{cookie} + 1;
    }
    return S_OK;
}

HRESULT ConnectionEnumerator::Reset() {
    position_ = kFirstPosition;
    return S_OK;
}

HRESULT ConnectionEnumerator::Clone(IEnumConnections** ppEnum) {
    return Create(point_, position_, ppEnum);
}

HRESULT ConnectionEnumerator::InterfaceSupportsErrorInfo(REFIID) { return S_OK; }

}  // namespace pelkary
