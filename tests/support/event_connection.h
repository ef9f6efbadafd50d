// A sink connected to the connection point of an object for the life of this holder.
#pragma once

#include "comsupport/holders.h"
#include "support/hresult_assertions.h"

namespace pelkary::test {

// The connection point for `iid` of `owner`'s IConnectionPointContainer; each step is checked as a
// test failure reported at the caller's line. Null when a step failed.
inline com_ptr<IConnectionPoint> PointOf(IUnknown* owner, REFIID iid, Here at = Here::Caller()) {
    ::testing::ScopedTrace trace(at.file, at.line, "connection point");
    com_ptr<IConnectionPointContainer> container;
    com_ptr<IConnectionPoint> point;
    EXPECT_HR(S_OK, owner->QueryInterface(IID_IConnectionPointContainer, container.put_void()));
    if (container) {
        EXPECT_HR(S_OK, container->FindConnectionPoint(iid, point.put()));
    }
    return point;
}

class EventConnection {
public:
    // PointOf(source, events_iid), then Advise(sink), checked as a test failure. The destructor unadvises.
    EventConnection(IUnknown* source, REFIID events_iid, IUnknown* sink, Here at = Here::Caller())
        : point_(PointOf(source, events_iid, at)) {
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
