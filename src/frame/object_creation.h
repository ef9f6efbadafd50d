// Objects that pelkary hands out are made the way a client makes them: through the COM runtime
// by class id (so the server works only once it is registered), then bound to their folder or
// message through the implementation class.
#pragma once

#include "comsupport/com_error.h"
#include "comsupport/com_ptr.h"

namespace pelkary {

// CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER.
constexpr DWORD kCreateContext = 7;

// A freshly created object: its main interface (one reference) and the implementation behind it.
template <typename Impl>
struct CreatedObject {
    com_ptr<typename Impl::MainInterface> object;
    Impl* impl = nullptr;
};

// The implementation behind one of pelkary's own interface pointers. Valid only for pointers
// that pelkary created in this apartment (never a proxy): the objects are apartment-threaded and
// created on the calling thread.
template <typename Impl>
Impl* ImplOf(typename Impl::MainInterface* object) noexcept {
    return static_cast<Impl*>(object);
}

// Creates an object of class Impl by its CLSID; throws com_error with the runtime's failure code.
template <typename Impl>
CreatedObject<Impl> CreateByClassId() {
    CreatedObject<Impl> created;
    created.object = create_or_throw<typename Impl::MainInterface>(*Impl::kIdentity.clsid, kCreateContext);
    created.impl = ImplOf<Impl>(created.object.get());
    return created;
}

// Hands an object out through an [out, retval] parameter declared with the class type (the
// library declares MXFolder** and MXMessage**, automation treats them as the default interface).
template <typename Coclass, typename Interface>
void HandOut(com_ptr<Interface> object, Coclass** out) noexcept {
    *out = reinterpret_cast<Coclass*>(object.detach());
}

}  // namespace pelkary
