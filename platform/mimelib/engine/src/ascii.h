// Small ASCII helpers shared by the engine's sources (private header).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace mimeengine {
namespace ascii {

inline constexpr char kHexDigits[] = "0123456789ABCDEF";

inline char ToLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

inline bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

inline std::string Lower(std::string_view s) {
  std::string out(s);
  for (auto& c : out) c = ToLower(c);
  return out;
}

inline bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (ToLower(a[i]) != ToLower(b[i])) return false;
  }
  return true;
}

inline bool StartsWithIgnoreCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && EqualsIgnoreCase(s.substr(0, prefix.size()), prefix);
}

inline std::string_view Trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && IsSpace(s[b])) ++b;
  while (e > b && IsSpace(s[e - 1])) --e;
  return s.substr(b, e - b);
}

// The value of a hexadecimal digit (either case), or -1.
inline int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Appends `text` with each "%XX" escape replaced by the byte it names; a '%'
// without two hex digits after it stays as it is.
inline void AppendPercentDecoded(std::string_view text, std::string* out) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
      out->push_back(static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2])));
      i += 2;
    } else {
      out->push_back(text[i]);
    }
  }
}

// A row of a fixed table that maps one lower-case name to another.
struct NamePair {
  const char* name;
  const char* value;
};

// The value of the row whose name is `name` (exact match), or nullptr.
template <size_t N>
const char* ValueOf(const NamePair (&table)[N], std::string_view name) {
  for (const auto& row : table) {
    if (name == row.name) return row.value;
  }
  return nullptr;
}

// The name of the first row whose value is `value` (exact match), or nullptr.
template <size_t N>
const char* NameOf(const NamePair (&table)[N], std::string_view value) {
  for (const auto& row : table) {
    if (value == row.value) return row.name;
  }
  return nullptr;
}

}  // namespace ascii
}  // namespace mimeengine
