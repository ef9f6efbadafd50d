#include "mime_allocator.h"

#include "comsupport/com_ptr.h"
#include "comsupport/unique_cotaskmem.h"

namespace mimelib {

STDMETHODIMP_(void*) MimeAllocator::Alloc(SIZE_T size) { return CoTaskMemAlloc(size); }
STDMETHODIMP_(void*) MimeAllocator::Realloc(void* p, SIZE_T size) { return CoTaskMemRealloc(p, size); }
STDMETHODIMP_(void) MimeAllocator::Free(void* p) { pelkary::unique_cotaskmem<char> drop(static_cast<char*>(p)); }

STDMETHODIMP_(SIZE_T) MimeAllocator::GetSize(void* p) {
  pelkary::com_ptr<IMalloc> malloc;
  if (FAILED(CoGetMalloc(1, malloc.put()))) return static_cast<SIZE_T>(-1);
  return malloc->GetSize(p);
}

STDMETHODIMP_(int) MimeAllocator::DidAlloc(void* p) {
  pelkary::com_ptr<IMalloc> malloc;
  if (FAILED(CoGetMalloc(1, malloc.put()))) return -1;
  return malloc->DidAlloc(p);
}

STDMETHODIMP_(void) MimeAllocator::HeapMinimize() {}

STDMETHODIMP MimeAllocator::FreeParamInfoArray(ULONG count, LPMIMEPARAMINFO params, boolean free_array) {
  if (!params) return count ? E_INVALIDARG : S_OK;
  for (ULONG i = 0; i < count; ++i) {
    pelkary::unique_cotaskmem<char> name(params[i].pszName), data(params[i].pszData);
    params[i].pszName = params[i].pszData = nullptr;
  }
  if (free_array) pelkary::unique_cotaskmem<MIMEPARAMINFO> drop(params);
  return S_OK;
}

STDMETHODIMP MimeAllocator::ReleaseObjects(ULONG count, IUnknown** objects, boolean free_array) {
  if (!objects) return count ? E_INVALIDARG : S_OK;
  for (ULONG i = 0; i < count; ++i) {
    auto drop = pelkary::com_ptr<IUnknown>::attach(objects[i]);
    objects[i] = nullptr;
  }
  if (free_array) pelkary::unique_cotaskmem<IUnknown*> drop(objects);
  return S_OK;
}

STDMETHODIMP MimeAllocator::FreeEnumPropertyArray(ULONG count, LPENUMPROPERTY props, boolean free_array) {
  if (!props) return count ? E_INVALIDARG : S_OK;
  for (ULONG i = 0; i < count; ++i) {
    pelkary::unique_cotaskmem<char> name(props[i].pszName);
    props[i].pszName = nullptr;
  }
  if (free_array) pelkary::unique_cotaskmem<ENUMPROPERTY> drop(props);
  return S_OK;
}

STDMETHODIMP MimeAllocator::FreeThumbprint(BLOB* blob) {
  if (!blob) return E_INVALIDARG;
  pelkary::unique_cotaskmem<BYTE> drop(blob->pBlobData);
  blob->pBlobData = nullptr;
  blob->cbSize = 0;
  return S_OK;
}

STDMETHODIMP MimeAllocator::PropVariantClear(LPPROPVARIANT value) {
  if (!value) return E_INVALIDARG;
  return ::PropVariantClear(value);
}

}  // namespace mimelib
