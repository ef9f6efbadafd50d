// The date of a mail header field ("Tue, 1 Jul 2003 10:52:37 +0200") for the scripting library,
// read by the MIME engine's one date reader (mimeengine/mail_time.h), the same that gives the
// store record its sent time, so SentDate and the record never disagree. Plain C++, no Windows.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace pelkary {

// FILETIME ticks (100 ns since 1601-01-01 UTC) of the date in `text`; nullopt when it holds no
// date that can be read, or one before 1601.
std::optional<std::uint64_t> MailDateTicks(std::wstring_view text);

}  // namespace pelkary
