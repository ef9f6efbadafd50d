#include "messages/mail_account.h"

#include <cctype>
#include <cstdio>

#include "comsupport/text.h"
#include "comsupport/unique_any.h"

namespace pelkary {

namespace {

constexpr DWORD kValueBytes = 256;
constexpr REGSAM kReadAccess = KEY_READ;

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

std::optional<MailAccount> MailAccount::ReadDefault(std::wstring& failure) {
    unique_hkey manager = OpenIdentityManagerKey();
    if (!manager &&
        RegOpenKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\Microsoft\\Internet Account Manager", 0, kReadAccess,
                      manager.put()) != ERROR_SUCCESS)
        manager.reset();
    std::optional<std::string> id;
    if (manager) id = ReadString(manager.get(), "Default Mail Account");
    if (!id) {
        failure = L"The current user has no default mail account (no \"Default Mail Account\" value).";
        return std::nullopt;
    }
    char subkey[kValueBytes];
    snprintf(subkey, sizeof subkey, "Accounts\\%s", id->c_str());
    unique_hkey account;
    std::optional<std::string> name;
    if (RegOpenKeyExA(manager.get(), subkey, 0, kReadAccess, account.put()) == ERROR_SUCCESS)
        name = ReadString(account.get(), "Account Name");
    if (!name) {
        failure = L"The key of the default mail account (" + ansi_to_wide(subkey) +
                  L") cannot be read or has no \"Account Name\".";
        return std::nullopt;
    }
    std::optional<std::string> address = ReadString(account.get(), "SMTP Email Address");
    return MailAccount{std::move(*id), std::move(*name), address ? std::move(*address) : std::string()};
}

std::string MailAccount::Domain() const {
    // Only what a message id's right-hand side may carry: an address like "ann@[host name]>"
    // gives "hostname".
    auto host_characters = [](const std::string& text) {
        std::string kept;
        for (char c : text)
            if (isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-') kept += c;
        return kept;
    };
    const size_t at = address.rfind('@');
    std::string domain = at == std::string::npos ? std::string() : host_characters(address.substr(at + 1));
    if (domain.empty()) {
        char machine[MAX_COMPUTERNAME_LENGTH + 1] = {};
        DWORD size = sizeof machine;
        if (GetComputerNameA(machine, &size)) domain = host_characters(std::string(machine, size));
    }
    return domain.empty() ? "localhost" : domain;
}

}  // namespace pelkary
