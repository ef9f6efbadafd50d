#include "messages/mail_account.h"

#include <cstdio>

#include "comsupport/unique_any.h"

namespace pelkary {

namespace {

constexpr DWORD kValueBytes = 256;
constexpr REGSAM kManagerAccess = 0x20019;  // KEY_READ
constexpr REGSAM kAccountAccess = 0xF003F;  // KEY_ALL_ACCESS

// A string value of at most 256 bytes, NUL-terminated whatever the registry stored.
std::optional<std::string> ReadString(HKEY key, const char* name) {
    char buffer[kValueBytes + 1] = {};
    DWORD size = kValueBytes;
    DWORD type = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS)
        return std::nullopt;
    buffer[size < kValueBytes ? size : kValueBytes] = '\0';
    return std::string(buffer);
}

// The account manager key of the last identity, if the identities say which one that is.
unique_hkey OpenIdentityManagerKey() {
    unique_hkey identities;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Identities", 0, KEY_QUERY_VALUE, identities.put()) != ERROR_SUCCESS)
        return unique_hkey();
    std::optional<std::string> user = ReadString(identities.get(), "Last User ID");
    identities.reset();
    if (!user) return unique_hkey();
    std::string path = "Identities\\" + *user + "\\Software\\Microsoft\\Internet Account Manager";
    unique_hkey manager;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_QUERY_VALUE, manager.put()) != ERROR_SUCCESS)
        return unique_hkey();
    return manager;
}

}  // namespace

std::optional<MailAccount> MailAccount::ReadDefault() {
    unique_hkey manager = OpenIdentityManagerKey();
    if (!manager &&
        RegOpenKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\Microsoft\\Internet Account Manager", 0, kManagerAccess,
                      manager.put()) != ERROR_SUCCESS)
        return std::nullopt;
    std::optional<std::string> id = ReadString(manager.get(), "Default Mail Account");
    if (!id) return std::nullopt;
    char subkey[kValueBytes];
    snprintf(subkey, sizeof subkey, "Accounts\\%s", id->c_str());
    unique_hkey account;
    if (RegOpenKeyExA(manager.get(), subkey, 0, kAccountAccess, account.put()) != ERROR_SUCCESS)
        return std::nullopt;
    std::optional<std::string> name = ReadString(account.get(), "Account Name");
    if (!name) return std::nullopt;
    return MailAccount{std::move(*id), std::move(*name)};
}

}  // namespace pelkary
