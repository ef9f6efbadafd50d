// Mail dates and the platform's time stamps: the one reader of a Date field
// ("Tue, 1 Jul 2003 10:52:37 +0200") that the store record and the scripting
// library share, and the one conversion between Unix seconds and FILETIME
// ticks (100 ns since 1601-01-01 UTC). Pure functions; thread-safe.
#pragma once

#include <cstdint>
#include <string_view>

namespace mimeengine {

constexpr uint64_t kFiletimeTicksPerSecond = 10000000ull;
// Seconds from 1601-01-01 to 1970-01-01.
constexpr int64_t kFiletimeEpochOffsetSeconds = 11644473600ll;
constexpr uint64_t kUnixEpochFiletimeTicks = kFiletimeEpochOffsetSeconds * kFiletimeTicksPerSecond;

// FILETIME ticks of a Unix time; false (and *ticks untouched) before 1601 or
// past what 64 bits of ticks hold.
bool filetime_ticks_from_unix(int64_t seconds, uint64_t* ticks);

// Whole Unix seconds of FILETIME ticks (rounded towards the past).
int64_t unix_from_filetime_ticks(uint64_t ticks);

// Parses an RFC 5322 date into seconds since 1970-01-01 UTC. Accepted beside
// the standard form: a missing weekday, seconds or time of day (midnight),
// two- and three-digit years, comments, zone names (UT, GMT, UTC, EST ...
// PDT; any other name or a military letter reads as UTC) and zones of two
// digits ("-02"). False, with *seconds untouched, when no date can be read:
// no day, month or year, a field out of range (31 Apr, 29 Feb 2003, 24:00),
// or text after the zone other than comments.
bool parse_date(std::string_view text, int64_t* seconds);

}  // namespace mimeengine
