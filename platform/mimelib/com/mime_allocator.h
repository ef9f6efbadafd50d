// The allocator object (CLSID_IMimeAllocator): IMimeAllocator and IMalloc
// over COM task memory, and the release helpers for what the library hands
// out (enumeration entries, parameter arrays, property values).
#pragma once

#include "com_support.h"

namespace mimelib {

class MimeAllocator final : public IMimeAllocator {
 public:
  static HRESULT Create(IUnknown* outer, REFIID riid, void** ppv);

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  STDMETHODIMP_(void*) Alloc(SIZE_T size) override;
  STDMETHODIMP_(void*) Realloc(void* p, SIZE_T size) override;
  STDMETHODIMP_(void) Free(void* p) override;
  STDMETHODIMP_(SIZE_T) GetSize(void* p) override;
  STDMETHODIMP_(int) DidAlloc(void* p) override;
  STDMETHODIMP_(void) HeapMinimize() override;

  STDMETHODIMP FreeParamInfoArray(ULONG count, LPMIMEPARAMINFO params, boolean free_array) override;
  STDMETHODIMP FreeAddressList(void*) override { return E_NOTIMPL; }
  STDMETHODIMP FreeAddressProps(void*) override { return E_NOTIMPL; }
  STDMETHODIMP ReleaseObjects(ULONG count, IUnknown** objects, boolean free_array) override;
  STDMETHODIMP FreeEnumHeaderRowArray(ULONG, void*, boolean) override { return E_NOTIMPL; }
  STDMETHODIMP FreeEnumPropertyArray(ULONG count, LPENUMPROPERTY props, boolean free_array) override;
  STDMETHODIMP FreeThumbprint(BLOB* blob) override;
  STDMETHODIMP PropVariantClear(LPPROPVARIANT value) override;

 private:
  MimeAllocator();
  ~MimeAllocator();
  LONG refs_ = 1;
};

}  // namespace mimelib
