// A folder path as a script writes it, in the store tool's syntax: "#7" is the folder with id 7;
// anything else is names from the top separated by "/" ("Archive/2024"), where "\/" stands for
// "/", "\\" for "\" and "\#" for "#" inside a name, and any other "\" separates names like "/".
// The text is UTF-16, so no byte of a character is ever taken for a separator. Plain C++17.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pelkary {

struct ParsedFolderPath {
    bool is_id = false;        // "#" and 1 to 10 digits that fit 32 bits: `id` names the folder
    bool bare_number = false;  // one name of digits alone that fits 32 bits (in `id`): the tool
                               // takes it for an id when no top-level folder has that name
    uint32_t id = 0;
    std::vector<std::wstring> names;  // from the top; empty for an id and for the top itself
};

// Reads `text`; an empty path (or "/") names the top. Never throws but for memory.
ParsedFolderPath ParseFolderPath(std::wstring_view text);

}  // namespace pelkary
