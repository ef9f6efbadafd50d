#include "mail_file.h"

#include "line_ends.h"
#include "mbox_format.h"

namespace mxstore {

MailFile::Kind MailFile::Classify(std::string_view data) {
  if (MboxFormat::LooksLikeMbox(data)) return Kind::kMbox;
  size_t i = 0;
  while (i < data.size() && data[i] > ' ' && data[i] < 0x7F && data[i] != ':') ++i;
  return i > 0 && i < data.size() && data[i] == ':' ? Kind::kMessage : Kind::kNotMail;
}

std::vector<std::string> MailFile::Messages(std::string_view data, Kind kind, bool keep_line_ends) {
  std::vector<std::string> messages;
  if (kind == Kind::kMbox)
    messages = MboxFormat::Split(data);
  else
    messages.emplace_back(data);
  if (!keep_line_ends)
    for (auto& m : messages) m = LineEnds::ForStore(m);
  return messages;
}

}  // namespace mxstore
