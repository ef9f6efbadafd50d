// ReferenceCounted: the reference count of a COM object that serves `Interfaces`, shared by all
// of them, and the module lock the object holds while it lives.
//
// The count starts at 0 and changes only by interlocked operations. The release that brings it to
// zero destroys the object, exactly once; a count that reached zero never climbs back: a later
// AddRef (a use after the last release, say from inside the object's own teardown) is refused,
// answers 0 and fails an assertion in debug builds, and a later Release does nothing.
#pragma once

#include <windows.h>

#include <climits>
#include <tuple>

#include "comsupport/module_lock.h"

namespace pelkary {

// The count alone.
class ReferenceCount {
public:
    // Adds one and returns the new count; refuses (0, and a failed assertion in debug builds)
    // once the count has reached zero.
    ULONG Add() noexcept;
    // Adds one only when the count is above zero, in one atomic step; the new count, or 0 when it
    // refused. For code that reaches an object through a pointer it does not own (a registry or a
    // window): such an object may be losing its last reference on another thread at that moment.
    ULONG TryAdd() noexcept;
    // Takes one and returns the new count; `*last` tells whether this took the last reference,
    // which happens once. Without a reference to take, does nothing (and fails an assertion in
    // debug builds).
    ULONG Take(bool* last) noexcept;

private:
    // The count of an object whose last reference went.
    static constexpr LONG kReleased = LONG_MIN;

    volatile LONG count_ = 0;
};

template <typename... Interfaces>
class ReferenceCounted : public Interfaces... {
public:
    // The first interface: the one whose pointer gives the object its identity.
    using MainInterface = std::tuple_element_t<0, std::tuple<Interfaces...>>;

    ULONG STDMETHODCALLTYPE AddRef() override { return count_.Add(); }

    ULONG STDMETHODCALLTYPE Release() override {
        bool last = false;
        const ULONG left = count_.Take(&last);
        if (last) Destroy();
        return left;
    }

    // AddRef for a holder of an uncounted pointer: refuses (false) once the count is at zero.
    bool TryAddRef() noexcept { return count_.TryAdd() != 0; }

protected:
    ReferenceCounted() noexcept { ModuleLock::Lock(); }
    virtual ~ReferenceCounted() { ModuleLock::Unlock(); }
    ReferenceCounted(const ReferenceCounted&) = delete;
    ReferenceCounted& operator=(const ReferenceCounted&) = delete;

    // Runs once, when the last reference goes. Deletes the object; a class that must tear down
    // first overrides it.
    virtual void Destroy() noexcept { delete this; }

private:
    ReferenceCount count_;
};

}  // namespace pelkary
