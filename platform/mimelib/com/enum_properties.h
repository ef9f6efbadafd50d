// IMimeEnumProperties over a snapshot of a body's property names and ids.
// Names handed out are task memory; callers free them with the allocator's
// FreeEnumPropertyArray.
#pragma once

#include <string>
#include <vector>

#include "comsupport/com_object.h"
#include "conversions.h"

namespace mimelib {

class EnumProperties final : public pelkary::ComObject<EnumProperties, IMimeEnumProperties> {
 public:
  static constexpr wchar_t kClassName[] = L"EnumProperties";
  struct Entry {
    std::string ansi_name;
    DWORD id;
  };

  EnumProperties(std::vector<Entry> entries, size_t next) : entries_(std::move(entries)), next_(next) {}

  STDMETHODIMP Next(ULONG fetch, LPENUMPROPERTY props, ULONG* fetched) override;
  STDMETHODIMP Skip(ULONG count) override;
  STDMETHODIMP Reset() override;
  STDMETHODIMP Clone(IMimeEnumProperties** out) override;
  STDMETHODIMP Count(ULONG* count) override;

 private:
  ~EnumProperties() override = default;

  std::vector<Entry> entries_;
  size_t next_;
};

}  // namespace mimelib
