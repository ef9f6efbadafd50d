#include "mime_allocator.h"

#include <new>

#include "frame/holders.h"

namespace mimelib {

MimeAllocator::MimeAllocator() { ModuleAddRef(); }
MimeAllocator::~MimeAllocator() { ModuleRelease(); }

HRESULT MimeAllocator::Create(IUnknown* outer, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  auto* a = new (std::nothrow) MimeAllocator();
  if (!a) return E_OUTOFMEMORY;
  const auto holder = pelkary::com_ptr<MimeAllocator>::attach(a);
  return a->QueryInterface(riid, ppv);
}

STDMETHODIMP MimeAllocator::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IMalloc) || IsEqualIID(riid, IID_IMimeAllocator)) {
    *ppv = static_cast<IMimeAllocator*>(this);
    AddRef();
    return S_OK;
  }
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) MimeAllocator::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }

STDMETHODIMP_(ULONG) MimeAllocator::Release() {
  const LONG n = InterlockedDecrement(&refs_);
  if (n == 0) delete this;
  return static_cast<ULONG>(n);
}

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
