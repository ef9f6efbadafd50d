// libFuzzer target: the input as a query, as text to tokenize, as HTML and as text to fold.
// Any crash, sanitizer report, hang or broken promise below is a bug.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "mailsearch/query.h"
#include "mailsearch/tokenizer.h"

using namespace mailsearch;

namespace {

void Check(bool ok) {
  if (!ok) abort();
}

bool ValidUtf8(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    const unsigned char b = static_cast<unsigned char>(s[i]);
    const size_t n = b < 0x80 ? 1 : b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC2 ? 2 : 0;
    if (n == 0 || i + n > s.size()) return false;
    for (size_t k = 1; k < n; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += n;
  }
  return true;
}

// The tree keeps the shape the evaluator relies on; an explicit stack, as the tree may be wide.
void CheckTree(const QueryNode& root) {
  std::vector<const QueryNode*> todo{&root};
  while (!todo.empty()) {
    const QueryNode* n = todo.back();
    todo.pop_back();
    switch (n->kind) {
      case QueryNode::Kind::kAnd:
      case QueryNode::Kind::kOr: Check(n->children.size() >= 2); break;
      case QueryNode::Kind::kNot: Check(n->children.size() == 1); break;
      case QueryNode::Kind::kTerm: Check(n->terms.size() == 1); break;
      case QueryNode::Kind::kPhrase: Check(n->terms.size() >= 2); break;
      case QueryNode::Kind::kAddress:
      case QueryNode::Kind::kMessageId:
      case QueryNode::Kind::kFolderPath: Check(!n->text.empty()); break;
      default: Check(n->children.empty()); break;
    }
    for (const std::string& term : n->terms) Check(!term.empty() && ValidUtf8(term));
    for (const QueryNode& child : n->children) {
      Check(child.kind != n->kind);  // nested ANDs, ORs and NOTs are folded away
      todo.push_back(&child);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  QueryNode root;
  QueryError error;
  const QueryContext context{133000000000000000ull, static_cast<int32_t>(size % 1500) - 750};
  if (ParseQuery(input, context, &root, &error)) {
    CheckTree(root);
  } else {
    Check(error.position >= 1 && error.position <= size + 1);
    const std::string tail = " at position " + std::to_string(error.position);
    Check(error.message.size() > tail.size() &&
          error.message.compare(error.message.size() - tail.size(), tail.size(), tail) == 0);
  }

  Tokenizer tokenizer;
  tokenizer.Reset(input, 7);
  Token token;
  uint32_t expected = 7;
  while (tokenizer.Next(&token)) {
    Check(token.position == expected++);
    Check(!token.term.empty() && ValidUtf8(token.term));
    Check(FoldCase(token.term) == token.term);  // folding is stable
  }
  Check(tokenizer.next_position() == expected);
  const std::string text = HtmlToText(input);
  Check(text.size() <= size * 4 + 1);
  FoldCase(text);
  return 0;
}
