#include "class_factory.h"

#include <new>

#include "com_support.h"
#include "frame/holders.h"

namespace mimelib {

ClassFactory::ClassFactory(CreateFn create) : create_(create) { ModuleAddRef(); }
ClassFactory::~ClassFactory() { ModuleRelease(); }

HRESULT ClassFactory::Create(CreateFn create, REFIID riid, void** ppv) {
  auto* f = new (std::nothrow) ClassFactory(create);
  if (!f) return E_OUTOFMEMORY;
  const auto holder = pelkary::com_ptr<ClassFactory>::attach(f);
  return f->QueryInterface(riid, ppv);
}

STDMETHODIMP ClassFactory::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
    *ppv = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) ClassFactory::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }

STDMETHODIMP_(ULONG) ClassFactory::Release() {
  const LONG n = InterlockedDecrement(&refs_);
  if (n == 0) delete this;
  return static_cast<ULONG>(n);
}

STDMETHODIMP ClassFactory::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
  return create_(outer, riid, ppv);
}

STDMETHODIMP ClassFactory::LockServer(BOOL lock) {
  if (lock) {
    ModuleAddRef();
  } else {
    ModuleRelease();
  }
  return S_OK;
}

}  // namespace mimelib
