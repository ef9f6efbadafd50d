#include "mimeengine/address.h"

#include "ascii.h"
#include "mimeengine/codec.h"

namespace mimeengine {
namespace {

std::string CollapseBlanks(std::string_view s) {
  std::string out;
  bool blank = false;
  for (char c : ascii::Trim(s)) {
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      blank = true;
      continue;
    }
    if (blank && !out.empty()) out.push_back(' ');
    blank = false;
    out.push_back(c);
  }
  return out;
}

Mailbox MakeMailbox(std::string_view phrase, std::string_view angle, std::string_view comment,
                     bool had_angle, std::string_view charset) {
  Mailbox m;
  if (had_angle) {
    m.address = CollapseBlanks(angle);
    m.display_name = decode_header_words(CollapseBlanks(phrase), charset);
  } else {
    m.address = CollapseBlanks(phrase);
    m.display_name = decode_header_words(CollapseBlanks(comment), charset);
  }
  if (m.display_name.empty() && !had_angle && m.address.find('@') == std::string::npos) {
    // A bare phrase without an address: keep it as the name.
    m.display_name = decode_header_words(m.address, charset);
  }
  return m;
}

}  // namespace

std::vector<Mailbox> ParseAddressList(std::string_view v, std::string_view fallback_charset) {
  std::vector<Mailbox> out;
  std::string phrase, angle, comment;
  bool had_angle = false, in_angle = false, in_quote = false;
  int depth = 0;
  auto flush = [&]() {
    if (!ascii::Trim(phrase).empty() || !ascii::Trim(angle).empty() || had_angle) {
      out.push_back(MakeMailbox(phrase, angle, comment, had_angle, fallback_charset));
    }
    phrase.clear();
    angle.clear();
    comment.clear();
    had_angle = false;
  };
  for (size_t i = 0; i < v.size() && out.size() < 10000; ++i) {
    const char c = v[i];
    if (in_quote) {
      if (c == '\\' && i + 1 < v.size()) {
        phrase.push_back(v[++i]);
      } else if (c == '"') {
        in_quote = false;
      } else {
        phrase.push_back(c);
      }
      continue;
    }
    if (depth > 0) {
      if (c == '\\' && i + 1 < v.size()) {
        comment.push_back(v[++i]);
      } else if (c == '(') {
        ++depth;
      } else if (c == ')') {
        --depth;
      } else {
        comment.push_back(c);
      }
      continue;
    }
    if (in_angle) {
      if (c == '>') {
        in_angle = false;
      } else {
        angle.push_back(c);
      }
      continue;
    }
    switch (c) {
      case '"':
        in_quote = true;
        break;
      case '(':
        depth = 1;
        if (!comment.empty()) comment.push_back(' ');
        break;
      case '<':
        in_angle = true;
        had_angle = true;
        break;
      case ',':
      case ';':
        flush();
        break;
      case ':':
        // "group name:" — drop the group's name, keep its members.
        if (!had_angle) {
          phrase.clear();
          comment.clear();
        } else {
          phrase.push_back(c);
        }
        break;
      default:
        if (had_angle) break;  // text after <addr> is noise
        phrase.push_back(c);
    }
  }
  flush();
  return out;
}

std::string DisplayNames(std::string_view unfolded, std::string_view fallback_charset) {
  std::string out;
  for (const auto& m : ParseAddressList(unfolded, fallback_charset)) {
    const std::string& name = m.display_name.empty() ? m.address : m.display_name;
    if (name.empty()) continue;
    if (!out.empty()) out += "; ";
    out += name;
  }
  return out;
}

}  // namespace mimeengine
