#include "messages/attachment_file_name.h"

#include <array>

namespace pelkary {

namespace {

wchar_t Upper(wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c; }

bool EqualsIgnoringCase(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Upper(a[i]) != Upper(b[i])) return false;
    return true;
}

// Windows opens the device whatever follows the base name: "con.txt" and "COM1 .log" are devices.
bool IsReservedDeviceName(std::wstring_view leaf) {
    std::wstring_view base = leaf.substr(0, leaf.find(L'.'));
    while (!base.empty() && base.back() == L' ') base.remove_suffix(1);
    static constexpr std::array<std::wstring_view, 6> kPlain = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$",
                                                                 L"CONOUT$"};
    for (std::wstring_view device : kPlain)
        if (EqualsIgnoringCase(base, device)) return true;
    if (base.size() == 4 && base[3] >= L'1' && base[3] <= L'9') {
        std::wstring_view stem = base.substr(0, 3);
        if (EqualsIgnoringCase(stem, L"COM") || EqualsIgnoringCase(stem, L"LPT")) return true;
    }
    return false;
}

bool IsForbiddenCharacter(wchar_t c) {
    if (c < 0x20 || c == 0x7F) return true;
    switch (c) {
        case L':': case L'<': case L'>': case L'"': case L'|': case L'?': case L'*':
            return true;
        default:
            return false;
    }
}

}  // namespace

std::optional<std::wstring> SafeAttachmentFileName(std::wstring_view name) {
    const size_t slash = name.find_last_of(L"\\/");
    std::wstring_view leaf = slash == std::wstring_view::npos ? name : name.substr(slash + 1);
    while (!leaf.empty() && (leaf.back() == L'.' || leaf.back() == L' ')) leaf.remove_suffix(1);
    if (leaf.empty() || leaf == L"." || leaf == L"..") return std::nullopt;
    for (wchar_t c : leaf)
        if (IsForbiddenCharacter(c)) return std::nullopt;
    if (IsReservedDeviceName(leaf)) return std::nullopt;
    return std::wstring(leaf);
}

}  // namespace pelkary
