// The type descriptions of the three automation interfaces, loaded from the registered type
// library on first need and kept for the life of the process. They serve IDispatch on every
// object.
#pragma once

#include <oaidl.h>

namespace pelkary {

class TypeInfoCache {
public:
    // The description of `iid` (IMXFolderManager, IMXFolder or IMXMessage), or null when the
    // registered library cannot be loaded (not remembered: the next call tries again). The
    // pointer stays valid until process detach; no reference is added. Thread-safe.
    static ITypeInfo* Get(REFIID iid) noexcept;
};

// Loads the registered PELKARY library (its LIBID, version 2.3, locale 0).
HRESULT LoadPelkaryTypeLib(ITypeLib** library) noexcept;

}  // namespace pelkary
