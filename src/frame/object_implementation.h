// IObjectImplementation: the private interface through which pelkary reaches the C++ object behind
// one of its own interface pointers. The module makes its objects through the COM runtime by class
// id, so what comes back need not be its own: the class id may be registered to another server
// now, or the runtime may hand out a proxy. Only an object of this very module answers this
// interface for its own class, so nothing is ever cast blindly. It is in no type library and is
// never marshalled (a proxy does not answer it).
#pragma once

#include <windows.h>
#include <objbase.h>

namespace pelkary {

struct IObjectImplementation : public IUnknown {
    // The object behind this interface when it is of class `clsid` and was made by the module whose
    // token is `module` (Module::Token()); null otherwise. Adds no reference; valid while the
    // caller holds one on the object.
    virtual void* STDMETHODCALLTYPE Implementation(const void* module, REFCLSID clsid) = 0;
};

}  // namespace pelkary

__CRT_UUID_DECL(pelkary::IObjectImplementation, 0x828f3c5a, 0x2612, 0x4702, 0x9b, 0x10, 0xd9, 0x22, 0xe9, 0xb7, 0xac,
                0x5e)
