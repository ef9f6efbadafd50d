// The common body of pelkary's three automation classes: one reference count shared by every
// interface the object serves, the module lock held while the count is above zero, IDispatch
// served from the registered type library, IProvideClassInfo and ISupportErrorInfo.
//
// Derived classes provide:
//   static const ClassIdentity kIdentity;          // class name, CLSID, main IID
//   IUnknown* QueryEventSource(REFIID) noexcept;   // optional: IConnectionPointContainer
//   void Teardown();                               // optional: releases, may throw
#pragma once

#include "frame/error_boundary.h"
#include "frame/module.h"
#include "typelib/type_info_cache.h"

namespace pelkary {

template <typename Derived, typename Interface>
class AutomationObject : public Interface, public IProvideClassInfo, public ISupportErrorInfo {
public:
    // IUnknown. QueryInterface answers the main interface (and IDispatch through it), the event
    // source's IConnectionPointContainer where the class has one, IProvideClassInfo,
    // ISupportErrorInfo and IUnknown (always the main interface's pointer: one identity).
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        IUnknown* found = nullptr;
        if (IsEqualIID(riid, __uuidof(Interface)) || IsEqualIID(riid, IID_IDispatch))
            found = static_cast<Interface*>(this);
        else if (IUnknown* source = static_cast<Derived*>(this)->QueryEventSource(riid))
            found = source;
        else if (IsEqualIID(riid, IID_IProvideClassInfo))
            found = static_cast<IProvideClassInfo*>(this);
        else if (IsEqualIID(riid, IID_ISupportErrorInfo))
            found = static_cast<ISupportErrorInfo*>(this);
        else if (IsEqualIID(riid, IID_IUnknown))
            found = static_cast<Interface*>(this);
        if (!found) {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        found->AddRef();
        *ppv = found;
        return S_OK;
    }

    // The first reference takes a module lock; apartment threading makes the test safe.
    ULONG STDMETHODCALLTYPE AddRef() override {
        if (ref_count_ == 0) Module::Get().Lock();
        return static_cast<ULONG>(InterlockedIncrement(&ref_count_));
    }

    // The last release tears the object down inside an error boundary of its own (an exception
    // becomes the thread's error object), then gives the module lock back.
    ULONG STDMETHODCALLTYPE Release() override {
        LONG count = InterlockedDecrement(&ref_count_);
        if (count != 0) return static_cast<ULONG>(count);
        try {
            static_cast<Derived*>(this)->Teardown();
        } catch (const std::exception&) {
            ErrorSource where;
            where.method_name = L"Release";
            where.iid = IID_IUnknown;
            translate_current_exception(where);
        }
        delete this;
        Module::Get().Unlock();
        return 0;
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

    // IProvideClassInfo: the class's description, from the registered library (not cached).
    HRESULT STDMETHODCALLTYPE GetClassInfo(ITypeInfo** info) override {
        if (!info) return E_POINTER;
        *info = nullptr;
        com_ptr<ITypeLib> library;
        HRESULT hr = LoadPelkaryTypeLib(library.put());
        if (FAILED(hr)) return hr;
        return library->GetTypeInfoOfGuid(*Derived::kIdentity.clsid, info);
    }

    // ISupportErrorInfo: every interface reports errors through error objects.
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID) override { return S_OK; }

    // Defaults for the hooks described at the top.
    IUnknown* QueryEventSource(REFIID) noexcept { return nullptr; }
    void Teardown() {}

protected:
    AutomationObject() = default;
    virtual ~AutomationObject() = default;
    AutomationObject(const AutomationObject&) = delete;
    AutomationObject& operator=(const AutomationObject&) = delete;

    // The one error boundary, bound to this class: see error_boundary::run.
    template <typename Work, typename... Outs>
    static HRESULT Guard(const wchar_t* method, Work&& work, Outs*... outs) {
        return error_boundary::run(Derived::kIdentity, method, std::forward<Work>(work), outs...);
    }

private:
    volatile LONG ref_count_ = 0;
};

}  // namespace pelkary
