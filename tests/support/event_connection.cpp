#include "support/event_connection.h"

#include <gtest/gtest.h>

#include "support/hresult_assertions.h"

namespace pelkary::test {

EventConnection::EventConnection(IUnknown* source, REFIID events_iid, IUnknown* sink) {
    if (!source) {
        ADD_FAILURE() << "EventConnection: no source object";
        return;
    }
    com_ptr<IConnectionPointContainer> container;
    EXPECT_HR(S_OK, source->QueryInterface(IID_IConnectionPointContainer, container.put_void()));
    if (!container) return;
    EXPECT_HR(S_OK, container->FindConnectionPoint(events_iid, point_.put()));
    if (!point_) return;
    DWORD cookie = 0;
    EXPECT_HR(S_OK, point_->Advise(sink, &cookie));
    EXPECT_NE(cookie, 0u) << "Advise gave cookie 0";
    cookie_ = cookie;
}

EventConnection::~EventConnection() { Disconnect(); }

EventConnection::EventConnection(EventConnection&& o) noexcept
    : point_(std::move(o.point_)), cookie_(std::exchange(o.cookie_, 0)) {}

EventConnection& EventConnection::operator=(EventConnection&& o) noexcept {
    if (this != &o) {
        Disconnect();
        point_ = std::move(o.point_);
        cookie_ = std::exchange(o.cookie_, 0);
    }
    return *this;
}

HRESULT EventConnection::Disconnect() {
    if (!cookie_ || !point_) return S_OK;
    HRESULT hr = point_->Unadvise(std::exchange(cookie_, 0));
    point_ = nullptr;
    return hr;
}

}  // namespace pelkary::test
