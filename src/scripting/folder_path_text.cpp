#include "scripting/folder_path_text.h"

namespace pelkary {

namespace {

// The number that `digits` (1 to 10 decimal digits) spell when it fits 32 bits.
bool ReadNumber(std::wstring_view digits, uint32_t* number) {
    if (digits.empty() || digits.size() > 10 || digits.find_first_not_of(L"0123456789") != std::wstring_view::npos)
        return false;
    uint64_t value = 0;
    for (wchar_t c : digits) value = value * 10 + static_cast<uint64_t>(c - L'0');
    if (value > UINT32_MAX) return false;
    *number = static_cast<uint32_t>(value);
    return true;
}

}  // namespace

ParsedFolderPath ParseFolderPath(std::wstring_view text) {
    ParsedFolderPath path;
    if (text.size() > 1 && text[0] == L'#' && ReadNumber(text.substr(1), &path.id)) {
        path.is_id = true;
        return path;
    }
    std::wstring name;
    auto end_name = [&] {
        if (!name.empty()) path.names.push_back(std::move(name));
        name.clear();
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (c == L'\\' && i + 1 < text.size() && (text[i + 1] == L'/' || text[i + 1] == L'\\' || text[i + 1] == L'#'))
            name.push_back(text[++i]);
        else if (c == L'/' || c == L'\\')
            end_name();
        else
            name.push_back(c);
    }
    end_name();
    path.bare_number = path.names.size() == 1 && ReadNumber(path.names[0], &path.id);
    return path;
}

}  // namespace pelkary
