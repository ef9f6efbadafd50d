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

// |text| in quotes for a message: cut short when long, bytes that are not UTF-8 made U+FFFD.
std::string Quoted(std::string_view text);

}  // namespace mailsearch
