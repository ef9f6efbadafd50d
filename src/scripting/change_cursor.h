// The text of a change cursor: the store's history id and a sequence number in that history,
// "{GUID}:12345". Opaque to scripts, who keep it and hand it back. Plain C++, no Windows.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace pelkary {

// `history` (the braced GUID text of the store's history), a colon and `sequence` in decimal.
std::wstring FormatChangeCursor(std::wstring_view history, unsigned long long sequence);

// The sequence number of `cursor` when it names a point of the history `history` (compared
// without regard to the case of the GUID's hexadecimal digits); nullopt when it is of another
// history or not a cursor at all (empty, no colon, no digits, trailing text, overflow).
std::optional<unsigned long long> ParseChangeCursor(std::wstring_view cursor, std::wstring_view history);

}  // namespace pelkary
