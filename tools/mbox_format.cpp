#include "mbox_format.h"

namespace mxstore {
namespace {

// ">*From " at the start of a line.
bool IsQuotedFrom(std::string_view line) {
  size_t i = 0;
  while (i < line.size() && line[i] == '>') ++i;
  return line.substr(i, 5) == "From ";
}

}  // namespace

bool MboxFormat::LooksLikeMbox(std::string_view data) { return data.substr(0, 5) == "From "; }

std::vector<std::string> MboxFormat::Split(std::string_view data) {
  std::vector<std::string> messages;
  std::string current;
  bool in_message = false;
  size_t pos = 0;
  auto finish = [&]() {
    if (!in_message) return;
    // Drop the blank line that separates entries.
    if (current.size() >= 2 && current.compare(current.size() - 2, 2, "\n\n") == 0)
      current.pop_back();
    else if (current.size() >= 4 && current.compare(current.size() - 4, 4, "\r\n\r\n") == 0)
      current.resize(current.size() - 2);
    messages.push_back(std::move(current));
    current.clear();
  };
  while (pos < data.size()) {
    size_t end = data.find('\n', pos);
    size_t next = end == std::string_view::npos ? data.size() : end + 1;
    std::string_view line = data.substr(pos, next - pos);
    if (line.substr(0, 5) == "From ") {
      finish();
      in_message = true;
    } else if (in_message) {
      if (line[0] == '>' && IsQuotedFrom(line))
        current.append(line.substr(1));
      else
        current.append(line);
    }
    pos = next;
  }
  finish();
  return messages;
}

void MboxFormat::Append(std::string_view message, std::string_view sender, std::string_view date,
                        std::string* out, std::string_view line_end) {
  out->append("From ");
  out->append(sender.empty() ? std::string_view("MAILER-DAEMON") : sender);
  out->push_back(' ');
  out->append(date);
  out->append(line_end);
  size_t pos = 0;
  while (pos < message.size()) {
    size_t end = message.find('\n', pos);
    size_t next = end == std::string_view::npos ? message.size() : end + 1;
    std::string_view line = message.substr(pos, next - pos);
    if (IsQuotedFrom(line)) out->push_back('>');
    out->append(line);
    pos = next;
  }
  if (message.empty() || message.back() != '\n') out->append(line_end);
  out->append(line_end);
}

}  // namespace mxstore
