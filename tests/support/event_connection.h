// A sink connected to the connection point of an object for the life of this holder.
#pragma once

#include "comsupport/holders.h"
#include "support/hresult_assertions.h"

namespace pelkary::test {

class EventConnection {
public:
    // FindConnectionPoint(events_iid) on `source`'s IConnectionPointContainer, then Advise(sink);
    // each step is checked as a test failure. The destructor unadvises.
    EventConnection(IUnknown* source, REFIID events_iid, IUnknown* sink) {
        com_ptr<IConnectionPointContainer> container;
        EXPECT_HR(S_OK, source->QueryInterface(IID_IConnectionPointContainer, container.put_void()));
        if (container) {
            EXPECT_HR(S_OK, container->FindConnectionPoint(events_iid, point_.put()));
        }
        if (point_) {
            EXPECT_HR(S_OK, point_->Advise(sink, &cookie_));
        }
    }
    ~EventConnection() {
        if (point_ && cookie_) point_->Unadvise(cookie_);
    }
    EventConnection(const EventConnection&) = delete;
    EventConnection& operator=(const EventConnection&) = delete;

private:
    com_ptr<IConnectionPoint> point_;
    DWORD cookie_ = 0;
};

}  // namespace pelkary::test
