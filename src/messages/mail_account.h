// MailAccount: the current user's default mail account as the registry records it (its id and its
// display name), which Send stamps on the messages it places in the Outbox.
#pragma once

#include <optional>
#include <string>

namespace pelkary {

struct MailAccount {
    std::string id;    // the value of "Default Mail Account" (ANSI)
    std::string name;  // the account's "Account Name" (ANSI)

    // Reads the default account of the current user: the account manager key of the last
    // identity (HKCU\Identities, "Last User ID"), else HKCU\SOFTWARE\Microsoft\Internet Account
    // Manager; there "Default Mail Account" names the subkey "Accounts\<id>" that holds "Account
    // Name". Values are read into 256-byte buffers. nullopt when any step fails. Every key opened
    // is closed on every path. Never throws except std::bad_alloc.
    static std::optional<MailAccount> ReadDefault();
};

}  // namespace pelkary
