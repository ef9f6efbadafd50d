// Splits a query into its tokens: parentheses, the upper-case keywords, '-', '*', and terms
// (a word, a "quoted phrase", or a field with its value, quoted or not).
#pragma once

#include <cstddef>
#include <string_view>

namespace mailsearch {

struct QueryToken {
  enum class Kind { kEnd, kTerm, kOpen, kClose, kOr, kAnd, kNot, kMinus, kStar };
  Kind kind = Kind::kEnd;
  size_t offset = 0;             // byte offset of the token's first character
  std::string_view field;        // kTerm: the field name as written, without ':'; empty: none
  std::string_view value;        // kTerm: the text, without quotes
  size_t value_offset = 0;       // kTerm: byte offset of the value (inside its quotes)
  bool quoted = false;           // kTerm: the value was in quotes
};

class QueryLexer {
 public:
  // |query| must outlive the lexer and its tokens.
  explicit QueryLexer(std::string_view query) : query_(query) {}
  // The next token (kEnd at the end, again and again). Throws QueryFailure for an unclosed quote.
  QueryToken Next();

 private:
  size_t SkipBlanks(size_t at) const;
  bool IsDelimiter(size_t at) const;  // a blank, a parenthesis, a quote or the end
  size_t QuotedEnd(size_t open) const;

  std::string_view query_;
  size_t at_ = 0;
};

}  // namespace mailsearch
