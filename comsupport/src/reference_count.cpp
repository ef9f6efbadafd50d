#include <cassert>

#include "comsupport/reference_counted.h"

namespace pelkary {

ULONG ReferenceCount::Add() noexcept {
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

ULONG ReferenceCount::TryAdd() noexcept {
    LONG count = count_;
    while (count > 0) {
        const LONG seen = InterlockedCompareExchange(&count_, count + 1, count);
        if (seen == count) return static_cast<ULONG>(count + 1);
        count = seen;
    }
    return 0;
}

ULONG ReferenceCount::Take(bool* last) noexcept {
    *last = false;
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
    *last = count == 1;
    return static_cast<ULONG>(count - 1);
}

}  // namespace pelkary
