#include "notify/event_connection_point.h"

#include <new>
#include <vector>

#include "comsupport/com_ptr.h"
#include "comsupport/query_interface.h"
#include "notify/connection_enumerator.h"

namespace pelkary {

EventConnectionPoint::EventConnectionPoint(IUnknown* owner, const IID& event_iid) noexcept
    : owner_(owner), eventIid_(event_iid), container_(owner, this, event_iid) {}

EventConnectionPoint::~EventConnectionPoint() {
    // A sink's Release may run client code; take the map apart before letting any go.
    auto connections = std::move(connections_);
    connections_.clear();
}

IUnknown* EventConnectionPoint::container() noexcept { return &container_; }

HRESULT EventConnectionPoint::QueryInterface(REFIID riid, void** ppv) {
    return query_interface(riid, ppv,
                           {{IID_IConnectionPoint, static_cast<IConnectionPoint*>(this)},
                            {IID_IUnknown, static_cast<IConnectionPoint*>(this)},
                            {IID_ISupportErrorInfo, static_cast<ISupportErrorInfo*>(this)}});
}

ULONG EventConnectionPoint::AddRef() { return owner_->AddRef(); }

ULONG EventConnectionPoint::Release() { return owner_->Release(); }

HRESULT EventConnectionPoint::GetConnectionInterface(IID* piid) {
    if (!piid) return E_POINTER;
    *piid = eventIid_;
    return S_OK;
}

HRESULT EventConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** ppCPC) {
    if (!ppCPC) return E_POINTER;
    container_.AddRef();
    *ppCPC = &container_;
    return S_OK;
}

HRESULT EventConnectionPoint::Advise(IUnknown* pUnkSink, DWORD* pdwCookie) {
    if (!pdwCookie) return E_POINTER;
    *pdwCookie = 0;
    if (!pUnkSink) return E_POINTER;
    if (nextCookie_ == 0) return CONNECT_E_ADVISELIMIT;
    com_ptr<IUnknown> hold(pUnkSink);
    com_ptr<IDispatch> sink;
    // The event interfaces are dispinterfaces: what the sink answers for them is an IDispatch.
    if (FAILED(pUnkSink->QueryInterface(eventIid_, sink.put_void())) || !sink) return CONNECT_E_CANNOTCONNECT;
    try {
        connections_.emplace(nextCookie_, std::move(sink));
    } catch (const std::bad_alloc&) {
        return CONNECT_E_CANNOTCONNECT;
    }
    *pdwCookie = nextCookie_++;
    return S_OK;
}

HRESULT EventConnectionPoint::Unadvise(DWORD dwCookie) {
    auto found = connections_.find(dwCookie);
    if (found == connections_.end()) return CONNECT_E_NOCONNECTION;
    // Unlink first: the sink's last Release may run client code that comes back here.
    com_ptr<IDispatch> sink = std::move(found->second);
    connections_.erase(found);
    return S_OK;
}

HRESULT EventConnectionPoint::EnumConnections(IEnumConnections** ppEnum) {
    if (!ppEnum) return E_POINTER;
    *ppEnum = nullptr;
    return ConnectionEnumerator::Create(this, 1, ppEnum);
}

HRESULT EventConnectionPoint::InterfaceSupportsErrorInfo(REFIID) { return S_OK; }

bool EventConnectionPoint::FindFrom(std::uint64_t from, DWORD* cookie, IDispatch** sink) const noexcept {
    if (from > 0xFFFFFFFFu) return false;
    auto found = connections_.lower_bound(static_cast<DWORD>(from));
    if (found == connections_.end()) return false;
    *cookie = found->first;
    *sink = found->second.get();
    return true;
}

void EventConnectionPoint::Fire(DISPID dispid, std::initializer_list<long> args) noexcept {
    // Declared first, released last: a handler may drop the client's last reference to the owner,
    // whose destruction takes this connection point with it.
    com_ptr<IUnknown> ownerHold(owner_);

    // Automation passes arguments last first.
    VARIANT values[8];
    UINT count = 0;
    for (auto arg = args.end(); arg != args.begin() && count < 8;) {
        --arg;
        VariantInit(&values[count]);
        values[count].vt = VT_I4;
        values[count].lVal = *arg;
        ++count;
    }

    std::uint64_t position = 1;
    DWORD cookie = 0;
    IDispatch* current = nullptr;
    while (FindFrom(position, &cookie, &current)) {
        // Move on before the call, and keep the sink alive across it, so the handler may unadvise
        // itself or any other connection.
        position = std::uint64_t{cookie} + 1;
        com_ptr<IDispatch> sink(current);
        DISPPARAMS params{};
        params.rgvarg = count ? values : nullptr;
        params.cArgs = count;
        // A failing sink never keeps the later ones from their call; the caller hears nothing.
        sink->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
    }
}

}  // namespace pelkary
