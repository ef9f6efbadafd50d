// A sink connected to one connection point of an object for the life of this holder.
#pragma once

#include "comsupport/holders.h"

namespace pelkary::test {

class EventConnection {
public:
    EventConnection() = default;
    // FindConnectionPoint(events_iid) on `source`'s IConnectionPointContainer, then Advise(sink).
    // Each step is checked as a test failure (S_OK expected); connected() tells the outcome.
    EventConnection(IUnknown* source, REFIID events_iid, IUnknown* sink);
    // Unadvises when still connected.
    ~EventConnection();
    EventConnection(EventConnection&& o) noexcept;
    EventConnection& operator=(EventConnection&& o) noexcept;
    EventConnection(const EventConnection&) = delete;
    EventConnection& operator=(const EventConnection&) = delete;

    // Unadvise now; returns its result (S_OK when there was nothing to undo).
    HRESULT Disconnect();
    bool connected() const noexcept { return cookie_ != 0; }
    DWORD cookie() const noexcept { return cookie_; }
    IConnectionPoint* point() const noexcept { return point_.get(); }

private:
    com_ptr<IConnectionPoint> point_;
    DWORD cookie_ = 0;
};

}  // namespace pelkary::test
