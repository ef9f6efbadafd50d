#include "query_lexer.h"

#include "query_failure.h"

namespace mailsearch {
namespace {

// Bytes of the blank that starts at |at|, or 0: ASCII white space, no-break space, ideographic space.
size_t BlankLength(std::string_view s, size_t at) {
  const char c = s[at];
  if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v') return 1;
  if (s.compare(at, 2, "\xC2\xA0") == 0) return 2;
  if (s.compare(at, 3, "\xE3\x80\x80") == 0) return 3;
  return 0;
}

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

}  // namespace

size_t QueryLexer::SkipBlanks(size_t at) const {
  while (at < query_.size()) {
    const size_t n = BlankLength(query_, at);
    if (n == 0) break;
    at += n;
  }
  return at;
}

bool QueryLexer::IsDelimiter(size_t at) const {
  if (at >= query_.size()) return true;
  const char c = query_[at];
  return c == '(' || c == ')' || c == '"' || BlankLength(query_, at) != 0;
}

size_t QueryLexer::QuotedEnd(size_t open) const {
  const size_t close = query_.find('"', open + 1);
  if (close == std::string_view::npos) throw QueryFailure{"unclosed quote", open};
  return close;
}

QueryToken QueryLexer::Next() {
  at_ = SkipBlanks(at_);
  QueryToken token;
  token.offset = at_;
  if (at_ >= query_.size()) return token;
  const char c = query_[at_];
  if (c == '(' || c == ')') {
    token.kind = c == '(' ? QueryToken::Kind::kOpen : QueryToken::Kind::kClose;
    ++at_;
    return token;
  }
  token.kind = QueryToken::Kind::kTerm;
  if (c == '"') {
    const size_t close = QuotedEnd(at_);
    token.value = query_.substr(at_ + 1, close - at_ - 1);
    token.value_offset = at_ + 1;
    token.quoted = true;
    at_ = close + 1;
    return token;
  }
  // '-' negates what follows it at once: a word, a quote or a parenthesis.
  if (c == '-' && at_ + 1 < query_.size() && query_[at_ + 1] != ')' && BlankLength(query_, at_ + 1) == 0) {
    token.kind = QueryToken::Kind::kMinus;
    ++at_;
    return token;
  }
  size_t end = at_;
  while (!IsDelimiter(end)) ++end;
  const std::string_view word = query_.substr(at_, end - at_);
  size_t name_end = 0;
  while (name_end < word.size() && IsLetter(word[name_end])) ++name_end;
  if (name_end > 0 && name_end < word.size() && word[name_end] == ':') {
    token.field = word.substr(0, name_end);
    token.value_offset = at_ + name_end + 1;
    if (name_end + 1 == word.size() && end < query_.size() && query_[end] == '"') {
      const size_t close = QuotedEnd(end);
      token.value = query_.substr(end + 1, close - end - 1);
      token.value_offset = end + 1;
      token.quoted = true;
      end = close + 1;
    } else {
      token.value = word.substr(name_end + 1);
    }
  } else if (word == "OR") {
    token.kind = QueryToken::Kind::kOr;
  } else if (word == "AND") {
    token.kind = QueryToken::Kind::kAnd;
  } else if (word == "NOT") {
    token.kind = QueryToken::Kind::kNot;
  } else if (word == "*") {
    token.kind = QueryToken::Kind::kStar;
  } else {
    token.value = word;
    token.value_offset = at_;
  }
  at_ = end;
  return token;
}

}  // namespace mailsearch
