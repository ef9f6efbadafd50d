// What a store records about a message: its display fields, read from the
// top-level header alone. Raw 8-bit header bytes read as UTF-8 when valid,
// else in the charset the top-level part declares, else as windows-1252,
// exactly as the message's properties read them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace mimeengine {

struct MessageSummary {
  std::string subject;             // UTF-8, unfolded, RFC 2047 decoded
  std::string normalized_subject;  // UTF-8, subject without leading "Re:", "Fw:", "Fwd:" (any case, repeated)
  std::string display_to;          // UTF-8, display names (else addresses) of To, joined with "; "
  std::string display_from;        // UTF-8, display names (else addresses) of From, joined with "; "
  int priority = 3;                // 1 high, 3 normal, 5 low: X-Priority, X-MSMail-Priority, Importance
  bool has_date = false;
  int64_t sent_time = 0;           // seconds since 1970-01-01 UTC, from Date: (parse_date)
};

// Reads only the top-level header of `source` (up to the first empty line). Never throws on bad input.
MessageSummary summarize(std::string_view source);

// Subject without leading reply and forward prefixes ("Re:", "Fw:", "Fwd:",
// any case, repeated, with blanks between). UTF-8 in and out.
std::string normalize_subject(std::string_view subject);

// Priority 1, 3 or 5 from the values of X-Priority, X-MSMail-Priority and
// Importance (any may be empty); the first one that is present decides.
int priority_from_fields(std::string_view x_priority, std::string_view x_msmail_priority,
                         std::string_view importance);


}  // namespace mimeengine
