// Dates as a script holds them.
#pragma once

#include <windows.h>
#include <oleauto.h>

namespace pelkary {

// `utc` as a Date in local time (VT_DATE), or Null (VT_NULL) when it is 0 (unknown) or cannot be
// shown. Overwrites `out` without clearing it. Never throws.
void WriteDate(const FILETIME& utc, VARIANT* out) noexcept;

}  // namespace pelkary
