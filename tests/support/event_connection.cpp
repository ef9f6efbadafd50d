#include "support/event_connection.h"

#include <gtest/gtest.h>

#include "support/hresult_assertions.h"

namespace pelkary::test {

EventConnection::EventConnection(IUnknown* source, REFIID events_iid, IUnknown* sink) {
    com_ptr<IConnectionPointContainer> container;
    EXPECT_HR(S_OK, source->QueryInterface(IID_IConnectionPointContainer, container.put_void()));
    if (container) {
        EXPECT_HR(S_OK, container->FindConnectionPoint(events_iid, point_.put()));
    }
    if (point_) {
        EXPECT_HR(S_OK, point_->Advise(sink, &cookie_));
    }
}

EventConnection::~EventConnection() {
    if (point_ && cookie_) point_->Unadvise(cookie_);
}

}  // namespace pelkary::test
