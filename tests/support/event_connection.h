// A sink connected to the connection point of an object for the life of this holder.
#pragma once

#include "comsupport/holders.h"

namespace pelkary::test {

class EventConnection {
public:
    // FindConnectionPoint(events_iid) on `source`'s IConnectionPointContainer, then Advise(sink);
    // each step is checked as a test failure.
    EventConnection(IUnknown* source, REFIID events_iid, IUnknown* sink);
    // Unadvises.
    ~EventConnection();
    EventConnection(const EventConnection&) = delete;
    EventConnection& operator=(const EventConnection&) = delete;

private:
    com_ptr<IConnectionPoint> point_;
    DWORD cookie_ = 0;
};

}  // namespace pelkary::test
