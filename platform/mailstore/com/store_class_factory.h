// StoreClassFactory: the class object of CLSID_StoreNamespace. Static; its
// references and LockServer count toward DllCanUnloadNow.
#pragma once

#include <windows.h>
#include <unknwn.h>

namespace mailstore_com {

class StoreClassFactory : public IClassFactory {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override;
  STDMETHODIMP LockServer(BOOL lock) override;
};

}  // namespace mailstore_com
