#include "frame/class_factory.h"

#include <string>

#include "frame/error_boundary.h"
#include "frame/module.h"

namespace pelkary {

HRESULT ClassFactory::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (IsEqualIID(riid, IID_IClassFactory) || IsEqualIID(riid, IID_IUnknown)) {
        *ppv = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

ULONG ClassFactory::AddRef() {
    Module::Get().Lock();
    return 2;
}

ULONG ClassFactory::Release() {
    Module::Get().Unlock();
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
        // Spelled the way the source names the interface asked for, in lower-case hexadecimal.
        wchar_t iid[40];
        swprintf(iid, 40, L"{%08lx-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}",
                 static_cast<unsigned long>(riid.Data1), riid.Data2, riid.Data3, riid.Data4[0], riid.Data4[1],
                 riid.Data4[2], riid.Data4[3], riid.Data4[4], riid.Data4[5], riid.Data4[6], riid.Data4[7]);
        std::wstring source = std::wstring(L"ClassFactory.CreateInstance(") + iid + L")";
        return set_error_object(E_FAIL, nullptr, source.c_str(), IID_IUnknown, nullptr, 0);
    }
    object->AddRef();
    HRESULT hr = object->QueryInterface(riid, ppv);
    object->Release();
    return hr;
}

HRESULT ClassFactory::LockServer(BOOL lock) {
    if (lock)
        Module::Get().Lock();
    else
        Module::Get().Unlock();
    return S_OK;
}

}  // namespace pelkary
