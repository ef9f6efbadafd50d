#include <algorithm>
#include <cstring>

#include "html_entities.h"
#include "mailsearch/tokenizer.h"
#include "unicode_data.h"

namespace mailsearch {
namespace {

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsAlnum(char c) { return IsLetter(c) || (c >= '0' && c <= '9'); }
char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

// Tags that stay inside a line of text: a word split by one is still one word. Every other tag
// (blocks, line breaks, cells, and the ones nobody knows) gives a space.
bool IsInline(std::string_view name) {
  static const char* const kInline[] = {
      "a", "abbr", "b", "bdi", "bdo", "big", "cite", "code", "data", "del", "dfn", "em", "font",
      "i", "ins", "kbd", "label", "mark", "nobr", "q", "s", "samp", "small", "span", "strike",
      "strong", "sub", "sup", "time", "tt", "u", "var", "wbr"};
  for (const char* tag : kInline)
    if (name == tag) return true;
  return false;
}

// |at| is just past "</name" of the element's end tag, or the end of |html|.
size_t FindEndTag(std::string_view html, size_t from, std::string_view name) {
  for (size_t at = html.find("</", from); at != std::string_view::npos; at = html.find("</", at + 1)) {
    if (html.size() - at - 2 < name.size()) break;
    bool same = true;
    for (size_t i = 0; i < name.size() && same; ++i) same = Lower(html[at + 2 + i]) == name[i];
    if (same) return at + 2 + name.size();
  }
  return html.size();
}

// Past the '>' that closes the tag whose attributes start at |at| (quoted values may hold '>').
size_t SkipTag(std::string_view html, size_t at) {
  char quote = 0;
  for (; at < html.size(); ++at) {
    const char c = html[at];
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '>') {
      return at + 1;
    }
  }
  return at;
}

const HtmlEntity* FindEntity(std::string_view name) {
  const HtmlEntity* end = kHtmlEntities + kHtmlEntityCount;
  const HtmlEntity* it = std::lower_bound(kHtmlEntities, end, name, [](const HtmlEntity& e, std::string_view n) {
    return std::string_view(kHtmlEntityPool + e.name_off, e.name_len) < n;
  });
  if (it == end || std::string_view(kHtmlEntityPool + it->name_off, it->name_len) != name) return nullptr;
  return it;
}

// Decodes the reference at html[at] == '&' into |out|; returns where the text goes on, or |at|
// when it is no reference (the '&' is then text).
size_t DecodeReference(std::string_view html, size_t at, std::string* out) {
  size_t i = at + 1;
  if (i < html.size() && html[i] == '#') {
    const bool hex = i + 1 < html.size() && (html[i + 1] == 'x' || html[i + 1] == 'X');
    i += hex ? 2 : 1;
    const size_t digits = i;
    uint32_t cp = 0;
    for (; i < html.size(); ++i) {
      const char c = Lower(html[i]);
      uint32_t d;
      if (c >= '0' && c <= '9') d = c - '0';
      else if (hex && c >= 'a' && c <= 'f') d = c - 'a' + 10;
      else break;
      cp = std::min<uint32_t>(cp * (hex ? 16 : 10) + d, 0x110000);
    }
    if (i == digits) return at;
    if (i < html.size() && html[i] == ';') ++i;
    if (cp >= 0x80 && cp < 0xA0) cp = kHtmlC1[cp - 0x80];
    if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
    unicode::AppendUtf8(cp, out);
    return i;
  }
  size_t stop = i;
  while (stop < html.size() && stop - i < 32 && IsAlnum(html[stop])) ++stop;
  const std::string_view name = html.substr(i, stop - i);
  if (stop < html.size() && html[stop] == ';') {
    if (const HtmlEntity* e = FindEntity(name)) {
      out->append(kHtmlEntityPool + e->value_off, e->value_len);
      return stop + 1;
    }
  }
  // Old pages leave the ';' out of the Latin-1 names: the longest such name that starts here.
  for (size_t len = std::min<size_t>(name.size(), 8); len >= 2; --len) {
    const HtmlEntity* e = FindEntity(name.substr(0, len));
    if (e && e->legacy) {
      out->append(kHtmlEntityPool + e->value_off, e->value_len);
      return i + len;
    }
  }
  return at;
}

}  // namespace

std::string HtmlToText(std::string_view html) {
  std::string out;
  out.reserve(html.size());
  size_t at = 0;
  while (at < html.size()) {
    const size_t special = html.find_first_of("<&", at);
    if (special == std::string_view::npos) {
      out.append(html.substr(at));
      break;
    }
    out.append(html.substr(at, special - at));
    at = special;
    if (html[at] == '&') {
      const size_t next = DecodeReference(html, at, &out);
      if (next == at) out.push_back('&'), ++at;
      else at = next;
      continue;
    }
    if (html.compare(at, 4, "<!--") == 0) {
      const size_t close = html.find("-->", at + 4);
      at = close == std::string_view::npos ? html.size() : close + 3;
      continue;
    }
    const bool closing = at + 1 < html.size() && html[at + 1] == '/';
    size_t name_end = at + 1 + closing;
    if (name_end < html.size() && (html[name_end] == '!' || html[name_end] == '?') && !closing) {
      at = SkipTag(html, name_end);  // <!DOCTYPE ...>, <?xml ...?>
      continue;
    }
    while (name_end < html.size() && (IsAlnum(html[name_end]) || html[name_end] == ':' || html[name_end] == '-'))
      ++name_end;
    const size_t name_start = at + 1 + closing;
    if (name_end == name_start || !IsLetter(html[name_start])) {  // "a < b": text
      out.push_back('<');
      ++at;
      continue;
    }
    std::string name(html.substr(name_start, name_end - name_start));
    for (char& c : name) c = Lower(c);
    at = SkipTag(html, name_end);
    if (!closing && (name == "script" || name == "style") && html[at - 1] == '>' && html[at - 2] != '/')
      at = SkipTag(html, FindEndTag(html, at, name));
    if (!IsInline(name)) out.push_back(' ');
  }
  return out;
}

}  // namespace mailsearch
