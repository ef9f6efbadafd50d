// Objects that pelkary hands out are made the way a client makes them: through the COM runtime
// by class id (so the server works only once it is registered), then bound to their folder or
// message through the implementation class, which is reached through the private interface
// IObjectImplementation, never by a cast: what the runtime hands back need not be pelkary's own.
#pragma once

#include "comsupport/com_error.h"
#include "comsupport/com_ptr.h"
#include "frame/class_map.h"
#include "frame/module.h"
#include "frame/object_implementation.h"

namespace pelkary {

// Where the runtime may find the class, as a client's creation asks (7).
constexpr DWORD kCreateContext = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER;
static_assert(kCreateContext == 7, "the creation context of pelkary's own objects");

// A freshly created object: its main interface (one reference) and the implementation behind it.
template <typename Impl>
struct CreatedObject {
    com_ptr<typename Impl::MainInterface> object;
    Impl* impl = nullptr;
};

// Throws com_error(E_NOINTERFACE) whose error object says that the object made or handed in as
// class `cls` is not one of this module's own.
[[noreturn]] void ThrowForeignObject(const ClassIdentity& cls);

// The implementation behind `object` when it is an object of class Impl made by this module in
// this process (valid while the caller holds a reference on it). Anything else - an object of
// another server registered under the class id, a proxy, another copy of the module - throws as
// ThrowForeignObject does.
template <typename Impl>
Impl* ImplOf(IUnknown* object) {
    com_ptr<IObjectImplementation> access;
    if (object) object->QueryInterface(__uuidof(IObjectImplementation), access.put_void());
    void* impl = access ? access->Implementation(Module::Token(), *Impl::kIdentity.clsid) : nullptr;
    if (!impl) ThrowForeignObject(Impl::kIdentity);
    return static_cast<Impl*>(impl);
}

// Creates an object of class Impl by its CLSID through the COM runtime; throws com_error with the
// runtime's failure code, or as ImplOf does when the object is not pelkary's own.
template <typename Impl>
CreatedObject<Impl> CreateByClassId() {
    CreatedObject<Impl> created;
    created.object = create_or_throw<typename Impl::MainInterface>(*Impl::kIdentity.clsid, kCreateContext);
    created.impl = ImplOf<Impl>(created.object.get());
    return created;
}

// Builds an object of class Impl inside the module with the class map's builder, without the COM
// runtime: for objects pelkary makes for its own use where the class-id rule does not apply (the
// scripting library's collections). Throws what the builder throws, and com_error(E_NOINTERFACE)
// for a class the map cannot build.
template <typename Impl>
CreatedObject<Impl> BuildInModule() {
    const ClassInfo* info = ClassMap::FindCreatable(*Impl::kIdentity.clsid);
    if (!info || !info->factory.builder()) throw com_error(E_NOINTERFACE);
    com_ptr<IUnknown> built(info->factory.builder()());
    CreatedObject<Impl> created;
    created.object = query_or_throw<typename Impl::MainInterface>(built.get());
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
