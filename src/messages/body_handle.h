// Body handles cross the automation boundary as 32-bit `long` values and reach the MIME library
// as HBODY. The conversion goes through an unsigned 32-bit value so that nothing is ever
// sign-extended, and 0xFFFFFFFF (-1) maps to and from the library's root handle.
#pragma once

#include <cstdint>

#include "mime_api.h"

namespace pelkary {

constexpr std::uint32_t kRootBodyHandle = 0xFFFFFFFFu;

inline HBODY ToHBody(long handle) noexcept {
    const auto bits = static_cast<std::uint32_t>(handle);
    if (bits == kRootBodyHandle) return HBODY_ROOT;
    return reinterpret_cast<HBODY>(static_cast<ULONG_PTR>(bits));
}

inline long FromHBody(HBODY body) noexcept {
    if (body == HBODY_ROOT) return -1;
    return static_cast<long>(static_cast<std::uint32_t>(reinterpret_cast<ULONG_PTR>(body)));
}

// True for a value that can travel as a property id in a name's place: the library reads any
// "name" of 0x10000 or more as a string pointer, so nothing outside 1..0xFFFF is ever passed.
inline bool IsPassablePropertyId(long id) noexcept { return id > 0 && id <= 0xFFFF; }

// A property id passed in the place of a property name (IsPassablePropertyId must hold).
inline LPCSTR PropertyIdAsName(long id) noexcept {
    return reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(id));
}

}  // namespace pelkary
