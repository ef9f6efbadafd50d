#include "mailsearch/query.h"

#include <optional>
#include <utility>

#include "mailsearch/tokenizer.h"
#include "query_dates.h"
#include "query_failure.h"
#include "query_lexer.h"
#include "unicode_data.h"

namespace mailsearch {
namespace {

using Kind = QueryNode::Kind;
using TokenKind = QueryToken::Kind;

constexpr int kMaxNesting = 64;

enum class FieldKind { kText, kId, kFolder, kSent, kReceived, kIs, kHas, kLarger, kSmaller };

struct FieldInfo {
  const char* name;
  FieldKind kind;
  Field field;
};

const FieldInfo kFields[] = {
    {"from", FieldKind::kText, Field::kFrom},        {"to", FieldKind::kText, Field::kTo},
    {"cc", FieldKind::kText, Field::kCc},            {"subject", FieldKind::kText, Field::kSubject},
    {"body", FieldKind::kText, Field::kBody},        {"filename", FieldKind::kText, Field::kFilename},
    {"id", FieldKind::kId, Field::kAny},             {"folder", FieldKind::kFolder, Field::kAny},
    {"date", FieldKind::kSent, Field::kAny},         {"received", FieldKind::kReceived, Field::kAny},
    {"is", FieldKind::kIs, Field::kAny},             {"has", FieldKind::kHas, Field::kAny},
    {"larger", FieldKind::kLarger, Field::kAny},     {"smaller", FieldKind::kSmaller, Field::kAny}};

bool SameWord(std::string_view a, std::string_view lower) {
  if (a.size() != lower.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const char c = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] + 32) : a[i];
    if (c != lower[i]) return false;
  }
  return true;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// As the store keeps Message-IDs: what is inside the angle brackets, white space dropped.
std::string MessageIdOf(std::string_view value) {
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

// "a@b" (angle brackets around it dropped), or empty when |value| is no whole address.
std::string_view AddressOf(std::string_view value) {
  if (value.size() >= 2 && value.front() == '<' && value.back() == '>') value = value.substr(1, value.size() - 2);
  const size_t at = value.find('@');
  if (at == 0 || at == std::string_view::npos || at + 1 == value.size()) return {};
  for (char c : value)
    if (IsBlank(c)) return {};
  return value;
}

bool ParseSize(std::string_view s, uint64_t* size) {
  uint64_t n = 0;
  size_t i = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    if (n > (UINT64_MAX - 9) / 10) return false;
    n = n * 10 + (s[i] - '0');
  }
  if (i == 0) return false;
  std::string_view unit = s.substr(i);
  int shift = 0;
  if (!unit.empty()) {
    const char u = unit[0] | 0x20;
    shift = u == 'k' ? 10 : u == 'm' ? 20 : u == 'g' ? 30 : -1;
    if (shift < 0 || !(unit.size() == 1 || (unit.size() == 2 && (unit[1] | 0x20) == 'b'))) return false;
  }
  if (n > (UINT64_MAX >> shift)) return false;
  *size = n << shift;
  return true;
}

class QueryParser {
 public:
  QueryParser(std::string_view query, const QueryContext& context) : lexer_(query), context_(context) {
    next_ = lexer_.Next();
  }

  QueryNode Parse() {
    std::optional<QueryNode> root = ParseOr(0);
    if (next_.kind == TokenKind::kClose) throw QueryFailure{"unexpected ')'", next_.offset};
    if (!root) throw QueryFailure{"empty query", 0};
    return std::move(*root);
  }

 private:
  QueryToken Take() {
    QueryToken token = next_;
    next_ = lexer_.Next();
    return token;
  }
  bool AtOperand() const {
    const TokenKind k = next_.kind;
    return k == TokenKind::kTerm || k == TokenKind::kOpen || k == TokenKind::kNot || k == TokenKind::kMinus ||
           k == TokenKind::kStar;
  }

  // |items| joined by |kind|, nested joins of the same kind flattened; nothing for no items.
  static std::optional<QueryNode> Join(Kind kind, std::vector<QueryNode> items) {
    if (items.empty()) return std::nullopt;
    if (items.size() == 1) return std::move(items[0]);
    QueryNode node;
    node.kind = kind;
    for (QueryNode& item : items) {
      if (item.kind != kind) {
        node.children.push_back(std::move(item));
        continue;
      }
      for (QueryNode& child : item.children) node.children.push_back(std::move(child));
    }
    return node;
  }

  std::optional<QueryNode> ParseOr(int depth) {
    if (next_.kind == TokenKind::kOr) throw QueryFailure{"nothing before OR", next_.offset};
    std::vector<QueryNode> items;
    for (;;) {
      if (std::optional<QueryNode> item = ParseAnd(depth)) items.push_back(std::move(*item));
      if (next_.kind != TokenKind::kOr) break;
      const size_t at = Take().offset;
      if (!AtOperand()) throw QueryFailure{"nothing after OR", at};
    }
    return Join(Kind::kOr, std::move(items));
  }

  std::optional<QueryNode> ParseAnd(int depth) {
    std::vector<QueryNode> items;
    bool any = false;
    while (AtOperand() || next_.kind == TokenKind::kAnd) {
      if (next_.kind == TokenKind::kAnd) {
        const size_t at = Take().offset;
        if (!any) throw QueryFailure{"nothing before AND", at};
        if (!AtOperand()) throw QueryFailure{"nothing after AND", at};
      }
      any = true;
      if (std::optional<QueryNode> item = ParseUnary(depth)) items.push_back(std::move(*item));
    }
    return Join(Kind::kAnd, std::move(items));
  }

  // NOT and '-' chains are read in a loop, pairs cancelling, so that a long one neither
  // recurses nor builds a deep tree.
  std::optional<QueryNode> ParseUnary(int depth) {
    bool negate = false;
    while (next_.kind == TokenKind::kNot || next_.kind == TokenKind::kMinus) {
      const QueryToken op = Take();
      if (!AtOperand())
        throw QueryFailure{op.kind == TokenKind::kNot ? "nothing after NOT" : "nothing after '-'", op.offset};
      negate = !negate;
    }
    std::optional<QueryNode> operand = ParsePrimary(depth);
    if (!operand || !negate) return operand;
    if (operand->kind == Kind::kNot) return std::move(operand->children[0]);
    QueryNode node;
    node.kind = Kind::kNot;
    node.children.push_back(std::move(*operand));
    return node;
  }

  std::optional<QueryNode> ParsePrimary(int depth) {
    const QueryToken token = Take();
    if (token.kind == TokenKind::kStar) {
      QueryNode node;
      node.kind = Kind::kAll;
      return node;
    }
    if (token.kind == TokenKind::kTerm) return MakeTerm(token);
    // An opening parenthesis: AtOperand() let nothing else through.
    if (depth >= kMaxNesting) throw QueryFailure{"nesting deeper than 64", token.offset};
    if (next_.kind == TokenKind::kClose) throw QueryFailure{"empty parentheses", token.offset};
    std::optional<QueryNode> inner = ParseOr(depth + 1);
    if (next_.kind != TokenKind::kClose) throw QueryFailure{"missing ')' for the '('", token.offset};
    Take();
    return inner;
  }

  // The words of |text|, folded: a term, a phrase, or nothing when it has no words.
  std::optional<QueryNode> Words(std::string_view text, Field field) {
    QueryNode node;
    node.field = field;
    Token word;
    tokenizer_.Reset(text);
    while (tokenizer_.Next(&word)) node.terms.emplace_back(word.term);
    if (node.terms.empty()) return std::nullopt;
    node.kind = node.terms.size() == 1 ? Kind::kTerm : Kind::kPhrase;
    return node;
  }

  static QueryNode Address(std::string_view address, Field field) {
    QueryNode node;
    node.kind = Kind::kAddress;
    node.field = field;
    node.text = FoldCase(address);
    return node;
  }

  std::optional<QueryNode> MakeTerm(const QueryToken& token) {
    if (token.field.empty()) {
      std::optional<QueryNode> words = Words(token.value, Field::kAny);
      const std::string_view address = AddressOf(token.value);
      if (!words || address.empty()) return words;
      // A whole address anywhere: as an address of the message, or as words of its text.
      std::vector<QueryNode> either;
      either.push_back(Address(address, Field::kAny));
      either.push_back(std::move(*words));
      return Join(Kind::kOr, std::move(either));
    }
    const FieldInfo* info = nullptr;
    for (const FieldInfo& f : kFields)
      if (SameWord(token.field, f.name)) info = &f;
    if (!info) throw QueryFailure{"unknown field " + Quoted(token.field), token.offset};
    const std::string_view value = token.value;
    const QueryFailure empty{"empty value for " + std::string(info->name) + ":", token.offset};
    const auto bad = [&](const char* what) {
      return QueryFailure{std::string(what) + " " + Quoted(value) + " for " + info->name + ":", token.value_offset};
    };
    QueryNode node;
    switch (info->kind) {
      case FieldKind::kText: {
        const std::string_view address = AddressOf(value);
        if (!address.empty() && info->field != Field::kSubject && info->field != Field::kBody &&
            info->field != Field::kFilename)
          return Address(address, info->field);
        std::optional<QueryNode> words = Words(value, info->field);
        if (!words) throw empty;
        return words;
      }
      case FieldKind::kId:
        node.kind = Kind::kMessageId;
        node.text = MessageIdOf(value);
        if (node.text.empty()) throw empty;
        return node;
      case FieldKind::kFolder:
        if (value.empty()) throw empty;
        if (value[0] == '#' && !token.quoted) {
          uint64_t id;
          if (!ParseSize(value.substr(1), &id) || id > UINT32_MAX || value.find_first_not_of("0123456789", 1) != std::string_view::npos)
            throw bad("bad folder id");
          node.kind = Kind::kFolderId;
          node.folder_id = static_cast<uint32_t>(id);
          return node;
        }
        node.kind = Kind::kFolderPath;
        node.text = std::string(value);
        return node;
      case FieldKind::kSent:
      case FieldKind::kReceived:
        if (value.empty() || value == "..") throw empty;
        node.kind = info->kind == FieldKind::kSent ? Kind::kSent : Kind::kReceived;
        ParseDateSpan(value, token.value_offset, context_, &node.from, &node.to);
        return node;
      case FieldKind::kIs:
        if (value.empty()) throw empty;
        if (SameWord(value, "unread")) node.kind = Kind::kUnread;
        else if (SameWord(value, "read")) node.kind = Kind::kRead;
        else if (SameWord(value, "flagged")) node.kind = Kind::kFlagged;
        else throw bad("unknown value");
        return node;
      case FieldKind::kHas:
        if (value.empty()) throw empty;
        if (!SameWord(value, "attachment") && !SameWord(value, "attachments")) throw bad("unknown value");
        node.kind = Kind::kHasAttachment;
        return node;
      case FieldKind::kLarger:
      case FieldKind::kSmaller:
        if (value.empty()) throw empty;
        if (!ParseSize(value, &node.size)) throw bad("bad size");
        node.kind = info->kind == FieldKind::kLarger ? Kind::kLarger : Kind::kSmaller;
        return node;
    }
    return std::nullopt;
  }

  QueryLexer lexer_;
  const QueryContext& context_;
  QueryToken next_;
  Tokenizer tokenizer_;
};

// The 1-based character position of byte |offset|: each character, and each byte that is not
// part of a valid one, counts one.
size_t PositionOf(std::string_view text, size_t offset) {
  auto p = reinterpret_cast<const unsigned char*>(text.data());
  const auto stop = p + std::min(offset, text.size());
  size_t position = 1;
  while (p < stop) {
    uint32_t cp;
    const int n = unicode::Decode(p, stop, &cp);
    p += n ? n : 1;
    ++position;
  }
  return position;
}

}  // namespace

bool ParseQuery(std::string_view utf8, const QueryContext& context, QueryNode* root, QueryError* error) {
  try {
    *root = QueryParser(utf8, context).Parse();
    return true;
  } catch (const QueryFailure& failure) {
    error->position = PositionOf(utf8, failure.offset);
    error->message = failure.message + " at position " + std::to_string(error->position);
    return false;
  }
}

}  // namespace mailsearch
