#include "scripting/change_cursor.h"

#include <cwctype>
#include <limits>

namespace pelkary {

std::wstring FormatChangeCursor(std::wstring_view history, unsigned long long sequence) {
    return std::wstring(history) + L":" + std::to_wstring(sequence);
}

std::optional<unsigned long long> ParseChangeCursor(std::wstring_view cursor, std::wstring_view history) {
    const size_t colon = cursor.rfind(L':');
    if (colon == std::wstring_view::npos || colon != history.size() || colon + 1 == cursor.size()) return std::nullopt;
    for (size_t i = 0; i < colon; ++i)
        if (std::towupper(cursor[i]) != std::towupper(history[i])) return std::nullopt;
    unsigned long long sequence = 0;
    constexpr unsigned long long kMax = std::numeric_limits<unsigned long long>::max();
    for (wchar_t c : cursor.substr(colon + 1)) {
        if (c < L'0' || c > L'9') return std::nullopt;
        const unsigned digit = static_cast<unsigned>(c - L'0');
        if (sequence > (kMax - digit) / 10) return std::nullopt;
        sequence = sequence * 10 + digit;
    }
    return sequence;
}

}  // namespace pelkary
