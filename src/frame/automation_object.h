// The common body of pelkary's three automation classes, on top of the shared object base
// (comsupport/reference_counted.h: one count for every interface the object serves, a module
// lock while the object lives): QueryInterface, IDispatch served from the registered type
// library, IProvideClassInfo, ISupportErrorInfo, the private IObjectImplementation through which
// pelkary reaches the object behind an interface pointer, the error boundary bound to the class,
// and the teardown at the last release.
//
// Objects are apartment-threaded: every call comes on the thread that built the object, which
// debug builds check on every method.
//
// Derived classes provide:
//   static const ClassIdentity kIdentity;  // class name, CLSID, main IID
//   IUnknown* EventSource() noexcept;      // optional: the IConnectionPointContainer, or null
//   IUnknown* InternalInterface(REFIID) noexcept;  // optional: an interface of pelkary's own
//                                          // (in no type library) that answers this IID, or null
//   void Teardown();                       // optional: releases, may throw
#pragma once

#include <windows.h>
#include <ocidl.h>

#include <cassert>
#include <utility>

#include "comsupport/com_ptr.h"
#include "comsupport/query_interface.h"
#include "comsupport/reference_counted.h"
#include "comsupport/thread_checker.h"
#include "frame/error_boundary.h"
#include "frame/module.h"
#include "frame/object_implementation.h"
#include "typelib/type_info_cache.h"

namespace pelkary {

template <typename Derived, typename Interface>
class AutomationObject
    : public ReferenceCounted<Interface, IProvideClassInfo, ISupportErrorInfo, IObjectImplementation> {
public:
    // QueryInterface answers, in this order: the main interface (and IDispatch through it), the
    // event source's IConnectionPointContainer where the class has one, IProvideClassInfo,
    // ISupportErrorInfo, IObjectImplementation and IUnknown (always the main interface's pointer:
    // one identity). A class's internal interface, when it has one for this IID, answers before
    // them.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        Interface* main = this;
        if (IUnknown* internal = static_cast<Derived*>(this)->InternalInterface(riid))
            return query_interface(riid, ppv, {{riid, internal}});
        return query_interface(riid, ppv,
                               {{__uuidof(Interface), main},
                                {IID_IDispatch, main},
                                {IID_IConnectionPointContainer, static_cast<Derived*>(this)->EventSource()},
                                {IID_IProvideClassInfo, static_cast<IProvideClassInfo*>(this)},
                                {IID_ISupportErrorInfo, static_cast<ISupportErrorInfo*>(this)},
                                {__uuidof(IObjectImplementation), static_cast<IObjectImplementation*>(this)},
                                {IID_IUnknown, main}});
    }

    // IDispatch, from the interface's description in the registered type library.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (!info) return E_POINTER;
        com_ptr<ITypeInfo>(TypeInfoCache::Get(__uuidof(Interface))).copy_to(info);
        return *info ? S_OK : E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        ITypeInfo* info = TypeInfoCache::Get(__uuidof(Interface));
        return info ? info->GetIDsOfNames(names, count, ids) : E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* excep, UINT* arg_err) override {
        ITypeInfo* info = TypeInfoCache::Get(__uuidof(Interface));
        if (!info) return E_NOTIMPL;
        return info->Invoke(static_cast<Interface*>(this), id, flags, params, result, excep, arg_err);
    }

    // IProvideClassInfo: the class's description, from the registered library that declares the
    // main interface (not cached).
    HRESULT STDMETHODCALLTYPE GetClassInfo(ITypeInfo** info) override {
        if (!info) return E_POINTER;
        *info = nullptr;
        com_ptr<ITypeLib> library;
        HRESULT hr = LoadTypeLibOf(__uuidof(Interface), library.put());
        if (FAILED(hr)) return hr;
        return library->GetTypeInfoOfGuid(*Derived::kIdentity.clsid, info);
    }

    // ISupportErrorInfo: every interface reports errors through error objects.
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID) override { return S_OK; }

    // IObjectImplementation: this object, for this module and the class's own CLSID only.
    void* STDMETHODCALLTYPE Implementation(const void* module, REFCLSID clsid) override {
        if (module != Module::Token() || !IsEqualCLSID(clsid, *Derived::kIdentity.clsid)) return nullptr;
        return static_cast<Derived*>(this);
    }

    // Defaults for the hooks described at the top.
    IUnknown* EventSource() noexcept { return nullptr; }
    IUnknown* InternalInterface(REFIID) noexcept { return nullptr; }
    void Teardown() {}

protected:
    AutomationObject() = default;

    // The one error boundary, bound to this class: see error_boundary::run.
    template <typename Work, typename... Outs>
    HRESULT Guard(const wchar_t* method, Work&& work, Outs*... outs) const {
        assert(thread_.CalledOnValidThread() && "an apartment-threaded object called from another thread");
        return error_boundary::run(Derived::kIdentity, method, std::forward<Work>(work), outs...);
    }

    // Writes `value` through `out`, for the methods that cannot fail (no guarded region).
    template <typename T, typename V>
    HRESULT Answer(T* out, V value) const noexcept {
        assert(thread_.CalledOnValidThread() && "an apartment-threaded object called from another thread");
        if (!out) return E_POINTER;
        *out = static_cast<T>(value);
        return S_OK;
    }

private:
    // The last release tears the object down inside an error boundary of its own (an exception
    // becomes the thread's error object, from "Release" on IUnknown), then deletes it, which gives
    // the module lock back.
    void Destroy() noexcept override {
        guarded(ErrorSource{nullptr, L"Release", IID_IUnknown}, [this] {
            static_cast<Derived*>(this)->Teardown();
            return S_OK;
        }, kOutOfMemoryResult);
        delete this;
    }

    ThreadChecker thread_;
};

}  // namespace pelkary
