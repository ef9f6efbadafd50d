// The type descriptions of the automation interfaces, loaded from the registered type libraries
// on first need and kept for the life of the process. They serve IDispatch on every object: the
// main interfaces of the classes of the class map (frame/class_map.h).
#pragma once

#include <oaidl.h>

namespace pelkary {

class TypeInfoCache {
public:
    // The description of `iid` (an interface of either library), or null when its registered
    // library cannot be loaded (not remembered: the next call tries again). The pointer stays
    // valid until process detach; no reference is added. Thread-safe.
    static ITypeInfo* Get(REFIID iid) noexcept;
};

// Loads the registered library that declares interface `iid` (the main interface of a class of
// the class map), by its LIBID and version. TYPE_E_ELEMENTNOTFOUND for an interface of no class;
// otherwise the load's result.
HRESULT LoadTypeLibOf(REFIID iid, ITypeLib** library) noexcept;

}  // namespace pelkary
