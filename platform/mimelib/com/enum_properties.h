// IMimeEnumProperties over a snapshot of a body's property names and ids.
// Names handed out are task memory; callers free them with the allocator's
// FreeEnumPropertyArray.
#pragma once

#include <string>
#include <vector>

#include "com_support.h"

namespace mimelib {

class EnumProperties final : public IMimeEnumProperties {
 public:
  struct Entry {
    std::string ansi_name;
    DWORD id;
  };
  static HRESULT Create(std::vector<Entry> entries, IMimeEnumProperties** out);

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  STDMETHODIMP Next(ULONG fetch, LPENUMPROPERTY props, ULONG* fetched) override;
  STDMETHODIMP Skip(ULONG count) override;
  STDMETHODIMP Reset() override;
  STDMETHODIMP Clone(IMimeEnumProperties** out) override;
  STDMETHODIMP Count(ULONG* count) override;

 private:
  explicit EnumProperties(std::vector<Entry> entries);
  ~EnumProperties();

  LONG refs_ = 1;
  std::vector<Entry> entries_;
  size_t next_ = 0;
};

}  // namespace mimelib
