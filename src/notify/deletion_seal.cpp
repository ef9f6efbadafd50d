#include "notify/deletion_seal.h"

#include <windows.h>

#include <cstring>
#include <vector>

#include "comsupport/holders.h"

namespace pelkary {

const char kDeletionSealHeader[] = "X-Pelkary-Deletion-Seal";

namespace {

constexpr wchar_t kSealsKey[] = L"Software\\Pelkary\\Deletion Seals";
constexpr ULONGLONG kDayIn100ns = 24ULL * 60 * 60 * 10000000;
constexpr size_t kSealLength = 38;  // a GUID in braces

ULONGLONG Now() noexcept {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

void DropStaleSeals(HKEY key) noexcept {
    const ULONGLONG cutoff = Now() - kDayIn100ns;
    std::vector<std::wstring> stale;
    for (DWORD i = 0;; ++i) {
        wchar_t name[64];
        DWORD name_length = ARRAYSIZE(name);
        ULONGLONG issued = 0;
        DWORD size = sizeof(issued);
        DWORD type = 0;
        LONG r = RegEnumValueW(key, i, name, &name_length, nullptr, &type, reinterpret_cast<BYTE*>(&issued), &size);
        if (r == ERROR_NO_MORE_ITEMS) break;
        if (r == ERROR_SUCCESS && (type != REG_QWORD || issued < cutoff)) stale.emplace_back(name, name_length);
    }
    for (const auto& name : stale) RegDeleteValueW(key, name.c_str());
}

}  // namespace

std::string IssueDeletionSeal() noexcept {
    GUID guid;
    wchar_t text[kSealLength + 1];
    if (FAILED(CoCreateGuid(&guid)) || StringFromGUID2(guid, text, ARRAYSIZE(text)) != kSealLength + 1) return {};
    unique_hkey key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kSealsKey, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr,
                        key.put(), nullptr) != ERROR_SUCCESS)
        return {};
    DropStaleSeals(key.get());
    const ULONGLONG issued = Now();
    if (RegSetValueExW(key.get(), text, 0, REG_QWORD, reinterpret_cast<const BYTE*>(&issued), sizeof(issued)) !=
        ERROR_SUCCESS)
        return {};
    return std::string(text, text + kSealLength);  // ASCII only
}

bool RedeemDeletionSeal(const char* seal) noexcept {
    if (!seal || std::strlen(seal) != kSealLength || seal[0] != '{') return false;
    unique_hkey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kSealsKey, 0, KEY_SET_VALUE, key.put()) != ERROR_SUCCESS) return false;
    const std::wstring name(seal, seal + kSealLength);
    // Deleting the record is the redemption: of two processes that see the same message arrive,
    // exactly one succeeds.
    return RegDeleteValueW(key.get(), name.c_str()) == ERROR_SUCCESS;
}

}  // namespace pelkary
