// ReferenceCounted: the reference count of a COM object that serves `Interfaces`, shared by all
// of them, and the module lock the object holds while it lives.
//
// The count starts at 0 and changes only by interlocked operations. The release that brings it to
// zero destroys the object, exactly once; a count that reached zero never climbs back: a later
// AddRef (a use after the last release, say from inside the object's own teardown) is refused,
// answers 0 and fails an assertion in debug builds, and a later Release does nothing.
#pragma once

#include <windows.h>

#include <cassert>
#include <climits>
#include <tuple>

#include "comsupport/module_lock.h"

namespace pelkary {

template <typename... Interfaces>
class ReferenceCounted : public Interfaces... {
public:
    // The first interface: the one whose pointer gives the object its identity.
    using MainInterface = std::tuple_element_t<0, std::tuple<Interfaces...>>;

    ULONG STDMETHODCALLTYPE AddRef() override {
        LONG count = count_;
        for (;;) {
            if (count < 0) {
                assert(!"AddRef on an object whose count reached zero");
                return 0;
            }
            const LONG seen = InterlockedCompareExchange(&count_, count + 1, count);
            if (seen == count) return static_cast<ULONG>(count + 1);
            count = seen;
        }
    }

    ULONG STDMETHODCALLTYPE Release() override {
        LONG count = count_;
        for (;;) {
            if (count <= 0) {
                assert(!"Release without a reference");
                return 0;
            }
            const LONG seen = InterlockedCompareExchange(&count_, count == 1 ? kReleased : count - 1, count);
            if (seen == count) break;
            count = seen;
        }
        if (count > 1) return static_cast<ULONG>(count - 1);
        Destroy();
        return 0;
    }

protected:
    ReferenceCounted() noexcept { ModuleLock::Lock(); }
    virtual ~ReferenceCounted() { ModuleLock::Unlock(); }
    ReferenceCounted(const ReferenceCounted&) = delete;
    ReferenceCounted& operator=(const ReferenceCounted&) = delete;

    // Runs once, when the last reference goes. Deletes the object; a class that must tear down
    // first overrides it.
    virtual void Destroy() noexcept { delete this; }

private:
    // The count of an object whose last reference went.
    static constexpr LONG kReleased = LONG_MIN;

    volatile LONG count_ = 0;
};

}  // namespace pelkary
