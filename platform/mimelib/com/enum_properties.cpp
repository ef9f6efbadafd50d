#include "enum_properties.h"

#include "comsupport/unique_cotaskmem.h"

namespace mimelib {

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
  *out = nullptr;
  return Guard(L"Clone", [&]() -> HRESULT {
    *out = Make(entries_, next_).detach();
    return S_OK;
  });
}

STDMETHODIMP EnumProperties::Count(ULONG* count) {
  if (!count) return E_POINTER;
  *count = static_cast<ULONG>(entries_.size());
  return S_OK;
}

}  // namespace mimelib
