// The type descriptions of the automation interfaces, loaded from the registered type libraries
// on first need and kept for the life of the process. They serve IDispatch on every object: the
// three of the published PELKARY library and the four of the scripting library.
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

// Loads the registered PELKARY library (its LIBID, version 2.3, locale 0).
HRESULT LoadPelkaryTypeLib(ITypeLib** library) noexcept;
// Loads the registered library that declares interface `iid`: PELKARY 2.3 or Pelkary Scripting
// 1.0. TYPE_E_ELEMENTNOTFOUND for an interface of neither; otherwise the load's result.
HRESULT LoadTypeLibOf(REFIID iid, ITypeLib** library) noexcept;

}  // namespace pelkary
