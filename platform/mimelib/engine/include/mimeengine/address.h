// Address lists of From, To, Cc and friends, read for display.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace mimeengine {

struct Mailbox {
  std::string display_name;  // UTF-8, RFC 2047 decoded, unquoted; may be empty
  std::string address;       // the bare address (local@domain) as written; may be empty
};

// Splits an unfolded address-list value into mailboxes. Groups contribute
// their members; quoted strings, comments and angle brackets are honoured;
// a comment after a bare address ("a@b (Name)") serves as display name.
// Never fails; garbage yields mailboxes with whatever text was there.
// Raw 8-bit bytes read as decode_header_words reads them with `fallback_charset`.
std::vector<Mailbox> ParseAddressList(std::string_view unfolded, std::string_view fallback_charset = {});

// "Display name, else address" of each mailbox, joined with "; ".
std::string DisplayNames(std::string_view unfolded, std::string_view fallback_charset = {});

}  // namespace mimeengine
