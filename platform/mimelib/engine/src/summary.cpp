#include "mimeengine/summary.h"

#include "ascii.h"
#include "mimeengine/address.h"
#include "mimeengine/codec.h"
#include "mimeengine/header.h"
#include "mimeengine/mail_time.h"

namespace mimeengine {

std::string normalize_subject(std::string_view subject) {
  std::string_view s = ascii::Trim(subject);
  for (;;) {
    size_t n = 0;
    if (ascii::StartsWithIgnoreCase(s, "re")) n = 2;
    else if (ascii::StartsWithIgnoreCase(s, "fwd")) n = 3;
    else if (ascii::StartsWithIgnoreCase(s, "fw")) n = 2;
    else break;
    size_t k = n;
    while (k < s.size() && (s[k] == ' ' || s[k] == '\t')) ++k;
    if (k >= s.size() || s[k] != ':') break;
    s = ascii::Trim(s.substr(k + 1));
  }
  return std::string(s);
}

int priority_from_fields(std::string_view x_priority, std::string_view x_msmail_priority,
                         std::string_view importance) {
  const std::string_view xp = ascii::Trim(x_priority);
  if (!xp.empty() && xp[0] >= '1' && xp[0] <= '5') {
    const int v = xp[0] - '0';
    return v <= 2 ? 1 : v == 3 ? 3 : 5;
  }
  for (std::string_view word : {ascii::Trim(x_msmail_priority), ascii::Trim(importance)}) {
    if (ascii::StartsWithIgnoreCase(word, "high") || ascii::StartsWithIgnoreCase(word, "urgent")) return 1;
    if (ascii::StartsWithIgnoreCase(word, "low") || ascii::StartsWithIgnoreCase(word, "non-urgent")) return 5;
    if (ascii::StartsWithIgnoreCase(word, "normal")) return 3;
  }
  return 3;
}

MessageSummary summarize(std::string_view source) {
  MessageSummary out;
  Header header;
  Header::Parse(source, &header);
  const StructuredValue type = StructuredValue::Parse(header.Get("Content-Type"));
  const std::string* declared = type.Param("charset");
  const std::string_view charset = declared ? std::string_view(*declared) : std::string_view();
  out.subject = decode_header_words(header.Get("Subject"), charset);
  out.normalized_subject = normalize_subject(out.subject);
  out.display_to = DisplayNames(header.Get("To"), charset);
  out.display_from = DisplayNames(header.Get("From"), charset);
  out.priority = priority_from_fields(header.Get("X-Priority"), header.Get("X-MSMail-Priority"),
                                      header.Get("Importance"));
  bool found = false;
  const std::string date = header.Get("Date", &found);
  if (found) out.has_date = parse_date(date, &out.sent_time);
  return out;
}

}  // namespace mimeengine
