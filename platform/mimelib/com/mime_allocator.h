// The allocator object (CLSID_IMimeAllocator): IMimeAllocator and IMalloc
// over COM task memory, and the release helpers for what the library hands
// out (enumeration entries, parameter arrays, property values). Nothing here
// can throw.
#pragma once

#include "comsupport/com_object.h"
#include "conversions.h"

namespace mimelib {

class MimeAllocator final : public pelkary::ComObject<MimeAllocator, IMimeAllocator, IMalloc> {
 public:
  static constexpr wchar_t kClassName[] = L"MimeAllocator";

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
  ~MimeAllocator() override = default;
};

}  // namespace mimelib
