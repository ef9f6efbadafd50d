#include "notify/connection_enumerator.h"

#include <new>

#include "frame/module.h"
#include "notify/event_connection_point.h"

namespace pelkary {

namespace {
constexpr std::uint64_t kFirstPosition = 1;
}

HRESULT ConnectionEnumerator::Create(EventConnectionPoint* point, std::uint64_t position,
                                     IEnumConnections** out) noexcept {
    if (!out) return E_POINTER;
    *out = new (std::nothrow) ConnectionEnumerator(point, position);
    return *out ? S_OK : E_FAIL;
}

ConnectionEnumerator::ConnectionEnumerator(EventConnectionPoint* point, std::uint64_t position) noexcept
    : point_(point), pointHold_(point), position_(position) {
    Module::Get().Lock();
}

ConnectionEnumerator::~ConnectionEnumerator() { Module::Get().Unlock(); }

HRESULT ConnectionEnumerator::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    IUnknown* found = nullptr;
    if (IsEqualIID(riid, IID_IEnumConnections) || IsEqualIID(riid, IID_IUnknown))
        found = static_cast<IEnumConnections*>(this);
    else if (IsEqualIID(riid, IID_ISupportErrorInfo))
        found = static_cast<ISupportErrorInfo*>(this);
    *ppv = found;
    if (!found) return E_NOINTERFACE;
    found->AddRef();
    return S_OK;
}

ULONG ConnectionEnumerator::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refCount_)); }

ULONG ConnectionEnumerator::Release() {
    LONG count = InterlockedDecrement(&refCount_);
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
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
