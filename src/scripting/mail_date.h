// The date of a mail header field ("Tue, 1 Jul 2003 10:52:37 +0200"), read as the Internet
// message format writes it, with the obsolete forms that old mail still carries: a missing
// weekday or seconds, two- and three-digit years, zone names (UT, GMT, EST ... PDT, military
// letters), comments in parentheses and folding white space. Plain C++, no Windows.
#pragma once

#include <optional>
#include <string_view>

namespace pelkary {

// Seconds since 1970-01-01 00:00 UTC; nullopt when `text` holds no date that can be read (a
// field, a month name or a time out of range, or anything but a comment after the zone).
std::optional<long long> ParseMailDate(std::wstring_view text);

}  // namespace pelkary
