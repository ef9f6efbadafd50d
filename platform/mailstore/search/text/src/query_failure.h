// How the query parser's pieces report a malformed query: thrown, and turned into a QueryError
// (with the byte offset made a character position) by ParseQuery alone.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace mailsearch {

struct QueryFailure {
  std::string message;  // what is wrong; ParseQuery appends " at position N"
  size_t offset;        // byte offset in the query
};

// |text| quoted for a message, cut short when long (at a character boundary).
inline std::string Quoted(std::string_view text) {
  constexpr size_t kMax = 40;
  if (text.size() <= kMax) return "'" + std::string(text) + "'";
  size_t cut = kMax;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return "'" + std::string(text.substr(0, cut)) + "...'";
}

}  // namespace mailsearch
