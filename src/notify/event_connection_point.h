// EventConnectionPoint: the one connection point of an event source (every MXFolder and
// MXFolderManager). It is a part of its owner, not an object of its own: built and destroyed with
// the owner, its AddRef and Release count on the owner, so a client holding only the connection
// point keeps the whole owner alive. It also carries the owner's IConnectionPointContainer.
//
// Connections are kept by cookie in ascending order (which is the order of advising). Cookies run
// from 1 and are never handed out twice in the owner's life. Walks over the connections (firing,
// enumerators) remember the next cookie to visit, not a map position, so removing any connection
// at any time, even the one a walk stands on, leaves every walk valid on the live map.
//
// Apartment-threaded like its owner: no lock of its own.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <map>

#include <olectl.h>

#include "comsupport/com_ptr.h"
#include "notify/connection_point_container.h"

namespace pelkary {

class EventConnectionPoint final : public IConnectionPoint, public ISupportErrorInfo {
public:
    // `owner` is the owner's identity (its IUnknown), not counted: the connection point lives
    // inside it. `event_iid` is the event interface that sinks must serve.
    EventConnectionPoint(IUnknown* owner, const IID& event_iid) noexcept;
    // Drops every remaining connection (clients are not told).
    ~EventConnectionPoint();
    EventConnectionPoint(const EventConnectionPoint&) = delete;
    EventConnectionPoint& operator=(const EventConnectionPoint&) = delete;

    // The owner's IConnectionPointContainer, without a reference added (the owner's
    // QueryInterface adds it). For the owner's EventSource hook.
    IUnknown* container() noexcept;

    // Calls every connected sink, in advising order, through IDispatch::Invoke with `dispid` and
    // `args` as VT_I4 values (the last argument first in the array). Failing sinks are skipped;
    // nothing reaches the caller. A sink may unadvise itself or others, advise new sinks, or drop
    // the last client reference to the owner from its handler: the owner is held for the walk.
    // Owner's thread.
    void Fire(DISPID dispid, std::initializer_list<long> args) noexcept;

    // IUnknown: identity of its own (IConnectionPoint, ISupportErrorInfo, IUnknown); the count is
    // the owner's.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IConnectionPoint.
    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* piid) override;
    HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** ppCPC) override;
    // S_OK with a new cookie; E_POINTER for a null sink or cookie pointer; CONNECT_E_CANNOTCONNECT
    // when the sink lacks the event interface or memory runs out (no cookie is used up then).
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* pUnkSink, DWORD* pdwCookie) override;
    // S_OK, or CONNECT_E_NOCONNECTION for a cookie that is not (or no longer) connected.
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD dwCookie) override;
    // A new enumerator over the live connections, at the first one; E_FAIL without memory.
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** ppEnum) override;

    // ISupportErrorInfo: S_OK for every interface.
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override;

    // For walks: the first connection whose cookie is at least `from` (cookies are 32-bit, a walk
    // position may be one past the largest). False when there is none.
    bool FindFrom(std::uint64_t from, DWORD* cookie, IDispatch** sink) const noexcept;

private:
    IUnknown* owner_;
    IID eventIid_;
    ConnectionPointContainer container_;
    std::map<DWORD, com_ptr<IDispatch>> connections_;
    // 0 once every cookie has been used: no further Advise succeeds.
    DWORD nextCookie_ = 1;
};

}  // namespace pelkary
