#include "store_class_factory.h"

#include "frame/holders.h"
#include "server_module.h"
#include "store_namespace.h"

namespace mailstore_com {

STDMETHODIMP StoreClassFactory::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IClassFactory) {
    *ppv = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) StoreClassFactory::AddRef() {
  ModuleAddRef();
  return 2;
}

STDMETHODIMP_(ULONG) StoreClassFactory::Release() {
  ModuleRelease();
  return 1;
}

STDMETHODIMP StoreClassFactory::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  StoreNamespace* raw = new (std::nothrow) StoreNamespace();
  if (!raw) return E_OUTOFMEMORY;
  auto object = pelkary::com_ptr<IStoreNamespace>::attach(raw);
  return object->QueryInterface(riid, ppv);
}

STDMETHODIMP StoreClassFactory::LockServer(BOOL lock) {
  if (lock)
    ModuleAddRef();
  else
    ModuleRelease();
  return S_OK;
}

}  // namespace mailstore_com
