// ConnectionPointContainer: the IConnectionPointContainer of an event source. It lives inside the
// owner's EventConnectionPoint and answers QueryInterface, AddRef and Release as the owner (it is
// one of the owner's interfaces, not an object of its own).
#pragma once

#include <olectl.h>

namespace pelkary {

class ConnectionPointContainer final : public IConnectionPointContainer {
public:
    // `owner` (not counted) is the object whose interface this is; `point` is its only connection
    // point, answered for `event_iid`.
    ConnectionPointContainer(IUnknown* owner, IConnectionPoint* point, const IID& event_iid) noexcept
        : owner_(owner), point_(point), eventIid_(event_iid) {}
    ConnectionPointContainer(const ConnectionPointContainer&) = delete;
    ConnectionPointContainer& operator=(const ConnectionPointContainer&) = delete;

    // IUnknown, all the owner's.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        return owner_->QueryInterface(riid, ppv);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return owner_->AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return owner_->Release(); }

    // No enumerator of connection points exists: E_NOTIMPL.
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** ppEnum) override;
    // The connection point (a new reference) for the event IID; CONNECT_E_NOCONNECTION with a null
    // result for any other IID; E_POINTER for a null out-pointer.
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override;

private:
    IUnknown* owner_;
    IConnectionPoint* point_;
    IID eventIid_;
};

}  // namespace pelkary
