#include "scripting/mail_date.h"

#include <string>

#include "mimeengine/mail_time.h"

namespace pelkary {

std::optional<std::uint64_t> MailDateTicks(std::wstring_view text) {
    // A date is ASCII; anything else in the field cannot be part of one and reads as a blank.
    std::string ascii;
    ascii.reserve(text.size());
    for (wchar_t c : text) ascii.push_back(c < 0x80 ? static_cast<char>(c) : ' ');
    std::int64_t seconds = 0;
    std::uint64_t ticks = 0;
    if (!mimeengine::parse_date(ascii, &seconds) || !mimeengine::filetime_ticks_from_unix(seconds, &ticks))
        return std::nullopt;
    return ticks;
}

}  // namespace pelkary
