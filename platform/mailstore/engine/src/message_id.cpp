#include "message_id.h"

namespace mailstore {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool SameFieldName(std::string_view line, std::string_view name) {
  if (line.size() <= name.size() || line[name.size()] != ':') return false;
  for (size_t i = 0; i < name.size(); ++i) {
    char c = line[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    if (c != name[i]) return false;
  }
  return true;
}

}  // namespace

std::string NormalizeMessageId(std::string_view value) {
  const size_t open = value.find('<');
  if (open != std::string_view::npos) {
    const size_t close = value.find('>', open + 1);
    if (close != std::string_view::npos) value = value.substr(open + 1, close - open - 1);
  }
  std::string id;
  for (char c : value)
    if (!IsBlank(c)) id.push_back(c);
  return id;
}

std::string MessageIdOf(std::string_view source) {
  size_t at = 0;
  while (at < source.size()) {
    size_t end = source.find('\n', at);
    if (end == std::string_view::npos) end = source.size();
    std::string_view line = source.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) break;  // the end of the header
    at = end + 1;
    if (!SameFieldName(line, "message-id")) continue;
    std::string value(line.substr(11));
    // Folded onto the lines that follow: each starts with white space.
    while (at < source.size() && (source[at] == ' ' || source[at] == '\t')) {
      end = source.find('\n', at);
      if (end == std::string_view::npos) end = source.size();
      value.append(source.substr(at, end - at));
      at = end + 1;
    }
    return NormalizeMessageId(value);
  }
  return std::string();
}

}  // namespace mailstore
