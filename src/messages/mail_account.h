// MailAccount: the current user's default mail account as the registry records it (its id, its
// display name and its e-mail address), which Send stamps on the messages it places in the Outbox.
#pragma once

#include <optional>
#include <string>

namespace pelkary {

struct MailAccount {
    std::string id;       // the value of "Default Mail Account" (ANSI)
    std::string name;     // the account's "Account Name" (ANSI)
    std::string address;  // the account's "SMTP Email Address" (ANSI); empty when it has none

    // Reads the default account of the current user: the account manager key of the last
    // identity (HKCU\Identities, "Last User ID"), else HKCU\SOFTWARE\Microsoft\Internet Account
    // Manager; there "Default Mail Account" names the subkey "Accounts\<id>" that holds "Account
    // Name" and, optionally, "SMTP Email Address". Every key is opened for reading only, values
    // are read into 256-byte buffers, and every key opened is closed on every path. nullopt when
    // a required step fails, with `failure` set to a sentence that says which (for the error
    // object of Send). Never throws except std::bad_alloc.
    static std::optional<MailAccount> ReadDefault(std::wstring& failure);

    // The domain of `address` (after its last "@", only the characters a message id may carry),
    // else the machine's name, else "localhost". Never empty.
    std::string Domain() const;
};

}  // namespace pelkary
