#include "comsupport/class_factory.h"

#include <cwchar>
#include <string>

#include "comsupport/error_boundary.h"
#include "comsupport/module_lock.h"
#include "comsupport/query_interface.h"

namespace pelkary {

HRESULT ClassFactory::QueryInterface(REFIID riid, void** ppv) {
    return query_interface(riid, ppv, {{IID_IClassFactory, this}, {IID_IUnknown, this}});
}

ULONG ClassFactory::AddRef() {
    ModuleLock::Lock();
    return 2;
}

ULONG ClassFactory::Release() {
    ModuleLock::Unlock();
    return 1;
}

HRESULT ClassFactory::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
    if (outer) return CLASS_E_NOAGGREGATION;
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    IUnknown* object = nullptr;
    try {
        object = build_();
    } catch (...) {
        return BuildFailed(riid);
    }
    object->AddRef();
    HRESULT hr = object->QueryInterface(riid, ppv);
    object->Release();
    return hr;
}

HRESULT ClassFactory::BuildFailed(REFIID riid) const noexcept {
    wchar_t iid[40];
    swprintf(iid, 40, L"{%08lx-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}", static_cast<unsigned long>(riid.Data1),
             riid.Data2, riid.Data3, riid.Data4[0], riid.Data4[1], riid.Data4[2], riid.Data4[3], riid.Data4[4],
             riid.Data4[5], riid.Data4[6], riid.Data4[7]);
    try {
        const std::wstring source = std::wstring(L"ClassFactory.CreateInstance(") + iid + L")";
        return set_error_object(build_failure_, nullptr, source.c_str(), IID_IUnknown, nullptr, 0);
    } catch (...) {
        return build_failure_;  // no memory left even for the error object
    }
}

HRESULT ClassFactory::LockServer(BOOL lock) {
    if (lock)
        ModuleLock::Lock();
    else
        ModuleLock::Unlock();
    return S_OK;
}

HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** ppv, std::initializer_list<ClassEntry> classes) noexcept {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    for (const ClassEntry& entry : classes)
        if (IsEqualCLSID(clsid, *entry.clsid)) return entry.factory->QueryInterface(riid, ppv);
    return CLASS_E_CLASSNOTAVAILABLE;
}

}  // namespace pelkary
