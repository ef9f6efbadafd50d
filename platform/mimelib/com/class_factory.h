// The class object for one creatable class of mimelib.dll: CreateInstance
// calls the class's creation function; instances and server locks count
// towards DllCanUnloadNow.
#pragma once

#include <windows.h>
#include <objbase.h>

namespace mimelib {

class ClassFactory final : public IClassFactory {
 public:
  using CreateFn = HRESULT (*)(IUnknown* outer, REFIID riid, void** ppv);

  // Hands out a new class object for `create` through `riid`.
  static HRESULT Create(CreateFn create, REFIID riid, void** ppv);

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override;
  STDMETHODIMP LockServer(BOOL lock) override;

 private:
  explicit ClassFactory(CreateFn create);
  ~ClassFactory();

  LONG refs_ = 1;
  CreateFn create_;
};

}  // namespace mimelib
