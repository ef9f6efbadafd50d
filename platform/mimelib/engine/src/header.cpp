#include "mimeengine/header.h"

#include <algorithm>
#include <map>

#include "ascii.h"
#include "mimeengine/charset.h"
#include "mimeengine/codec.h"

namespace mimeengine {
namespace {

bool IsFieldNameChar(char c) {
  return static_cast<unsigned char>(c) > 32 && static_cast<unsigned char>(c) < 127 && c != ':';
}

// Folds an encoded value at blanks so that lines stay near 78 characters.
void AppendFolded(std::string* out, std::string_view name, std::string_view value) {
  size_t line = name.size() + 2;
  size_t i = 0;
  while (i < value.size()) {
    size_t next = value.find(' ', i + 1);
    if (next == std::string_view::npos) next = value.size();
    const std::string_view word = value.substr(i, next - i);
    if (line + word.size() > 78 && line > name.size() + 2 && word.size() > 1 && word[0] == ' ') {
      out->append("\r\n");
      line = 0;
    }
    out->append(word);
    line += word.size();
    i = next;
  }
}

bool NeedsQuoting(std::string_view v) {
  if (v.empty()) return true;
  for (char c : v) {
    if (static_cast<unsigned char>(c) <= 32 || static_cast<unsigned char>(c) >= 127) return true;
    if (std::string_view("()<>@,;:\\\"/[]?=").find(c) != std::string_view::npos) return true;
  }
  return false;
}

// The line that starts at `pos` without its line end; *next is just past it.
std::string_view LineAt(std::string_view text, size_t pos, size_t* next) {
  const size_t eol = text.find('\n', pos);
  *next = eol == std::string_view::npos ? text.size() : eol + 1;
  size_t line_end = eol == std::string_view::npos ? text.size() : eol;
  if (line_end > pos && text[line_end - 1] == '\r') --line_end;
  return text.substr(pos, line_end - pos);
}

// True when `line` starts a field ("Name:" with blanks allowed before the
// colon); *colon is then the colon's offset.
bool FieldColon(std::string_view line, size_t* colon) {
  size_t i = 0;
  while (i < line.size() && IsFieldNameChar(line[i])) ++i;
  const size_t name_end = i;
  while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
  *colon = i;
  return name_end > 0 && i < line.size() && line[i] == ':';
}

// True when the first line from `pos` on that is not a continuation starts a
// field: the header goes on past a damaged line.
bool NextLineIsField(std::string_view text, size_t pos) {
  while (pos < text.size()) {
    size_t next = 0;
    const std::string_view line = LineAt(text, pos, &next);
    if (line.empty()) return false;
    size_t colon = 0;
    if (line[0] != ' ' && line[0] != '\t') return FieldColon(line, &colon);
    pos = next;
  }
  return false;
}

}  // namespace

size_t Header::Parse(std::string_view text, Header* out) {
  out->fields_.clear();
  out->index_.clear();
  out->changed_ = false;
  size_t pos = 0;
  bool first = true;
  HeaderField* current = nullptr;
  while (pos < text.size()) {
    size_t next = 0;
    const std::string_view line = LineAt(text, pos, &next);
    if (line.empty()) return next;
    size_t colon = 0;
    if ((line[0] == ' ' || line[0] == '\t') && current) {
      // Continuation: keep the break so that the raw value round-trips.
      current->raw_value.append("\r\n");
      current->raw_value.append(line);
    } else if (FieldColon(line, &colon)) {
      size_t name_end = 0;
      while (IsFieldNameChar(line[name_end])) ++name_end;
      out->fields_.push_back(HeaderField{std::string(line.substr(0, name_end)),
                                         std::string(line.substr(colon + 1)), false});
      out->IndexLast();
      current = &out->fields_.back();
    } else if (first && !(line.size() > 5 && line.substr(0, 5) == "From ")) {
      return 0;  // no header at all: the text is all body
    } else if (first || NextLineIsField(text, next)) {
      current = nullptr;  // an mbox "From " line, or a damaged line between fields: skipped
    } else {
      return pos;  // a header that runs into its text without an empty line: the text is body
    }
    first = false;
    pos = next;
  }
  return text.size();
}

void Header::IndexLast() {
  const size_t at = fields_.size() - 1;
  auto [slot, added] = index_.try_emplace(ascii::Lower(fields_[at].name), NameSlot{at, 0});
  (void)added;
  ++slot->second.count;
}

void Header::Reindex() {
  index_.clear();
  for (size_t i = 0; i < fields_.size(); ++i) {
    auto [slot, added] = index_.try_emplace(ascii::Lower(fields_[i].name), NameSlot{i, 0});
    (void)added;
    ++slot->second.count;
  }
}

const HeaderField* Header::Find(std::string_view name) const {
  const auto slot = index_.find(ascii::Lower(name));
  return slot == index_.end() ? nullptr : &fields_[slot->second.first];
}

std::string Header::Unfold(std::string_view raw) {
  std::string out;
  out.reserve(raw.size());
  for (size_t i = 0; i < raw.size(); ++i) {
    const char c = raw[i];
    if (c == '\r' || c == '\n') continue;
    out.push_back(c);
  }
  return std::string(ascii::Trim(out));
}

std::string Header::Get(std::string_view name, bool* found) const {
  const HeaderField* f = Find(name);
  if (found) *found = f != nullptr;
  return f ? Unfold(f->raw_value) : std::string();
}

void Header::Set(std::string_view name, std::string_view value, bool raw) {
  changed_ = true;
  std::string encoded = raw ? std::string(value) : encode_header_words(value);
  // Line breaks inside a value would start new fields; flatten them.
  for (auto& c : encoded) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  const auto slot = index_.find(ascii::Lower(name));
  if (slot == index_.end()) {
    fields_.push_back(HeaderField{std::string(name), " " + encoded, true});
    IndexLast();
    return;
  }
  HeaderField& first = fields_[slot->second.first];
  first.raw_value = " " + encoded;
  first.changed = true;
  if (slot->second.count > 1) {
    const auto later = fields_.begin() + static_cast<std::ptrdiff_t>(slot->second.first) + 1;
    fields_.erase(std::remove_if(later, fields_.end(),
                                 [&](const HeaderField& f) { return ascii::EqualsIgnoreCase(f.name, name); }),
                  fields_.end());
    Reindex();
  }
}

bool Header::Remove(std::string_view name) {
  const auto slot = index_.find(ascii::Lower(name));
  if (slot == index_.end()) return false;
  const auto first = fields_.begin() + static_cast<std::ptrdiff_t>(slot->second.first);
  fields_.erase(std::remove_if(first, fields_.end(),
                               [&](const HeaderField& f) { return ascii::EqualsIgnoreCase(f.name, name); }),
                fields_.end());
  changed_ = true;
  Reindex();
  return true;
}

std::vector<HeaderField> Header::Take(bool (*match)(std::string_view name)) {
  changed_ = true;
  std::vector<HeaderField> taken, kept;
  for (auto& f : fields_) (match(f.name) ? taken : kept).push_back(std::move(f));
  fields_ = std::move(kept);
  Reindex();
  return taken;
}

void Header::Append(HeaderField field) {
  changed_ = true;
  fields_.push_back(std::move(field));
  IndexLast();
}

void Header::Serialize(std::string* out) const {
  for (const auto& f : fields_) {
    out->append(f.name);
    out->push_back(':');
    if (f.changed) {
      AppendFolded(out, f.name, f.raw_value);
    } else {
      out->append(f.raw_value);
    }
    out->append("\r\n");
  }
  out->append("\r\n");
}

StructuredValue StructuredValue::Parse(std::string_view text, std::string_view fallback_charset) {
  StructuredValue sv;
  // Tokenise into ';'-separated items, honouring quotes and comments.
  std::vector<std::string> items(1);
  int comment = 0;
  bool in_quote = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (in_quote) {
      if (c == '\\' && i + 1 < text.size()) {
        items.back().push_back(text[++i]);
      } else if (c == '"') {
        in_quote = false;
      } else {
        items.back().push_back(c);
      }
    } else if (comment > 0) {
      if (c == '\\') {
        ++i;
      } else if (c == '(') {
        ++comment;
      } else if (c == ')') {
        --comment;
      }
    } else if (c == '"') {
      in_quote = true;
    } else if (c == '(') {
      comment = 1;
    } else if (c == ';') {
      items.emplace_back();
    } else {
      items.back().push_back(c);
    }
  }
  sv.value_ = std::string(ascii::Trim(items[0]));
  // Gather RFC 2231 sections: name*N[*]=value.
  struct Sections {
    std::map<int, std::pair<std::string, bool>> parts;
  };
  std::vector<std::pair<std::string, Sections>> extended;
  // Real mail has a handful of parameters; a bound keeps hostile headers
  // with millions of them linear.
  const size_t item_count = std::min<size_t>(items.size(), 257);
  for (size_t k = 1; k < item_count; ++k) {
    const std::string& item = items[k];
    const size_t eq = item.find('=');
    if (eq == std::string::npos) continue;
    std::string name = ascii::Lower(ascii::Trim(std::string_view(item).substr(0, eq)));
    std::string value(ascii::Trim(std::string_view(item).substr(eq + 1)));
    if (name.empty()) continue;
    const size_t star = name.find('*');
    if (star == std::string::npos) {
      if (!sv.Param(name)) {
        // Quoted values often carry encoded words (filename="=?utf-8?...").
        sv.params_.push_back(HeaderParam{name, decode_header_words(value, fallback_charset)});
      }
      continue;
    }
    std::string base = name.substr(0, star);
    std::string rest = name.substr(star + 1);
    bool encoded = false;
    int index = 0;
    if (!rest.empty() && rest.back() == '*') {
      encoded = true;
      rest.pop_back();
    }
    if (rest.empty()) {
      encoded = true;  // name*=value
    } else {
      index = 0;
      for (char c : rest) {
        if (c < '0' || c > '9' || index > 100000) {
          index = -1;
          break;
        }
        index = index * 10 + (c - '0');
      }
      if (index < 0) continue;
    }
    auto it = std::find_if(extended.begin(), extended.end(),
                           [&](const auto& e) { return e.first == base; });
    if (it == extended.end()) {
      extended.emplace_back(base, Sections{});
      it = extended.end() - 1;
    }
    it->second.parts.emplace(index, std::make_pair(value, encoded));
  }
  for (auto& entry : extended) {
    const std::string& base = entry.first;
    Sections& sections = entry.second;
    // Section 0 may carry charset'lang'; later encoded sections are
    // percent-encoded in the same charset.
    std::string charset;
    std::string bytes;
    bool first = true;
    for (auto& [index, part] : sections.parts) {
      std::string_view v = part.first;
      if (part.second) {
        if (first) {
          const size_t q1 = v.find('\'');
          const size_t q2 = q1 == std::string_view::npos ? q1 : v.find('\'', q1 + 1);
          if (q2 != std::string_view::npos) {
            charset = std::string(v.substr(0, q1));
            v = v.substr(q2 + 1);
          }
        }
        // With a declared charset the sections' bytes are joined first (a
        // character may span two sections) and converted once below.
        if (!charset.empty()) {
          ascii::AppendPercentDecoded(v, &bytes);
        } else {
          bytes += decode_rfc2231_value("''" + std::string(v));
        }
      } else {
        bytes += std::string(v);
      }
      first = false;
    }
    std::string value = charset.empty() ? bytes : charset_to_utf8(bytes, charset);
    auto existing = std::find_if(sv.params_.begin(), sv.params_.end(),
                                 [&](const HeaderParam& p) { return p.name == base; });
    if (existing != sv.params_.end()) {
      existing->value = value;  // the extended form wins over the plain one
    } else {
      sv.params_.push_back(HeaderParam{base, value});
    }
  }
  return sv;
}

const std::string* StructuredValue::Param(std::string_view name) const {
  for (const auto& p : params_) {
    if (ascii::EqualsIgnoreCase(p.name, name)) return &p.value;
  }
  return nullptr;
}

void StructuredValue::SetParam(std::string_view name, std::string_view value) {
  for (auto& p : params_) {
    if (ascii::EqualsIgnoreCase(p.name, name)) {
      p.value = std::string(value);
      return;
    }
  }
  params_.push_back(HeaderParam{ascii::Lower(name), std::string(value)});
}

bool StructuredValue::RemoveParam(std::string_view name) {
  const size_t before = params_.size();
  params_.erase(std::remove_if(params_.begin(), params_.end(),
                               [&](const HeaderParam& p) { return ascii::EqualsIgnoreCase(p.name, name); }),
                params_.end());
  return params_.size() != before;
}

std::string StructuredValue::ToString() const {
  std::string out = value_;
  for (const auto& p : params_) {
    out += "; ";
    if (!is_ascii(p.value)) {
      out += p.name + "*=utf-8''";
      for (char ch : p.value) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
            c == '.' || c == '-' || c == '_') {
          out.push_back(static_cast<char>(c));
        } else {
          out.push_back('%');
          out.push_back(ascii::kHexDigits[c >> 4]);
          out.push_back(ascii::kHexDigits[c & 15]);
        }
      }
    } else if (NeedsQuoting(p.value)) {
      out += p.name + "=\"";
      for (char c : p.value) {
        if (c == '"' || c == '\\') out.push_back('\\');
        if (c == '\r' || c == '\n') continue;
        out.push_back(c);
      }
      out += "\"";
    } else {
      out += p.name + "=" + p.value;
    }
  }
  return out;
}

}  // namespace mimeengine
