#include "enum_properties.h"

#include <new>

#include "frame/holders.h"

namespace mimelib {

EnumProperties::EnumProperties(std::vector<Entry> entries) : entries_(std::move(entries)) { ModuleAddRef(); }
EnumProperties::~EnumProperties() { ModuleRelease(); }

HRESULT EnumProperties::Create(std::vector<Entry> entries, IMimeEnumProperties** out) {
  auto* e = new (std::nothrow) EnumProperties(std::move(entries));
  if (!e) return E_OUTOFMEMORY;
  *out = e;
  return S_OK;
}

STDMETHODIMP EnumProperties::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IMimeEnumProperties)) {
    *ppv = static_cast<IMimeEnumProperties*>(this);
    AddRef();
    return S_OK;
  }
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) EnumProperties::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }

STDMETHODIMP_(ULONG) EnumProperties::Release() {
  const LONG n = InterlockedDecrement(&refs_);
  if (n == 0) delete this;
  return static_cast<ULONG>(n);
}

STDMETHODIMP EnumProperties::Next(ULONG fetch, LPENUMPROPERTY props, ULONG* fetched) {
  if (fetched) *fetched = 0;
  if (!props) return E_POINTER;
  ULONG n = 0;
  while (n < fetch && next_ < entries_.size()) {
    char* name = CoTaskStrDup(entries_[next_].ansi_name);
    if (!name) {
      // Hand back what was filled in so far: nothing leaks, nothing half-done.
      for (ULONG i = 0; i < n; ++i) pelkary::unique_cotaskmem<char> drop(props[i].pszName);
      next_ -= n;
      return E_OUTOFMEMORY;
    }
    props[n].pszName = name;
    props[n].hRow = nullptr;
    props[n].dwPropId = entries_[next_].id;
    ++n;
    ++next_;
  }
  if (fetched) *fetched = n;
  return n == fetch ? S_OK : S_FALSE;
}

STDMETHODIMP EnumProperties::Skip(ULONG count) {
  next_ = std::min<size_t>(entries_.size(), next_ + count);
  return next_ < entries_.size() ? S_OK : S_FALSE;
}

STDMETHODIMP EnumProperties::Reset() {
  next_ = 0;
  return S_OK;
}

STDMETHODIMP EnumProperties::Clone(IMimeEnumProperties** out) {
  if (!out) return E_POINTER;
  try {
    const HRESULT hr = Create(entries_, out);
    if (SUCCEEDED(hr)) static_cast<EnumProperties*>(*out)->next_ = next_;
    return hr;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP EnumProperties::Count(ULONG* count) {
  if (!count) return E_POINTER;
  *count = static_cast<ULONG>(entries_.size());
  return S_OK;
}

}  // namespace mimelib
