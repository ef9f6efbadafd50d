// ConnectionEnumerator: the IEnumConnections of an EventConnectionPoint. It walks the live
// connections of its connection point (not a copy): connections advised after it was made appear
// at the end of its walk, removed ones disappear, and removing the one it stands on only moves it
// to the next. It holds a reference on the connection point (and so on the owner), and counts in
// the module lock while it lives. Apartment-threaded like its owner.
#pragma once

#include <cstdint>

#include <olectl.h>

#include "comsupport/com_ptr.h"
#include "comsupport/reference_counted.h"

namespace pelkary {

class EventConnectionPoint;

class ConnectionEnumerator final : public ReferenceCounted<IEnumConnections, ISupportErrorInfo> {
public:
    // A new enumerator over `point`, about to visit the first connection whose cookie is at least
    // `position`, with one reference for the caller. E_FAIL when it cannot be made.
    static HRESULT Create(EventConnectionPoint* point, std::uint64_t position, IEnumConnections** out) noexcept;

    // IUnknown: IEnumConnections, ISupportErrorInfo, IUnknown.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;

    // IEnumConnections. Next fills up to `cConnections` records (each pUnk with a reference for the
    // caller) and gives S_OK when all were filled, S_FALSE when the end came first; `pcFetched` may
    // be null. Skip gives S_OK when it passed that many, S_FALSE when it reached the end.
    HRESULT STDMETHODCALLTYPE Next(ULONG cConnections, CONNECTDATA* rgcd, ULONG* pcFetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG cConnections) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumConnections** ppEnum) override;

    // ISupportErrorInfo: S_OK for every interface.
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override;

private:
    ConnectionEnumerator(EventConnectionPoint* point, std::uint64_t position) noexcept;

    EventConnectionPoint* point_;
    com_ptr<IConnectionPoint> pointHold_;
    // The smallest cookie not yet passed; one past the largest cookie at most.
    std::uint64_t position_;
};

}  // namespace pelkary
