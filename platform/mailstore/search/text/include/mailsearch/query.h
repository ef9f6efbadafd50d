// The search query language: parsed into a tree that the index evaluates.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mailsearch {

enum class Field : uint8_t { kAny, kSubject, kFrom, kTo /* To and Cc */, kCc, kBody, kFilename };

// A word becomes kTerm, or kPhrase when it holds several words ("it's", "a.b", a CJK run). A
// from:/to:/cc: value that is a whole address ("a@b.c", angle brackets optional) becomes kAddress
// of that field; such a value with no field becomes kOr of kAddress with field kAny (any of From,
// To, Cc) and the kTerm/kPhrase of its words (for the text). Words that have no letter or digit
// are dropped; a query left with nothing is refused. Nested kAnd/kOr of the same kind are
// flattened and NOT NOT cancels, so the tree is never deeper than about three times the
// parentheses' nesting (at most 64).
struct QueryNode {
  enum class Kind { kAll /* '*' */, kAnd, kOr, kNot, kTerm, kPhrase, kAddress,
                    kMessageId, kFolderPath, kFolderId, kSent, kReceived,
                    kUnread, kRead, kFlagged, kHasAttachment, kLarger, kSmaller };
  Kind kind = Kind::kAll;
  Field field = Field::kAny;          // kTerm, kPhrase, kAddress
  std::vector<std::string> terms;     // kTerm: one folded term; kPhrase: the folded terms in order
  std::string text;                   // kAddress: folded whole address "a@b.c"; kMessageId: what is
                                      //   inside <>, white space dropped, case kept (as the store keeps
                                      //   Message-IDs); kFolderPath: UTF-8 path as written
  uint32_t folder_id = 0;             // kFolderId (folder:#ID; a quoted "#ID" is a path)
  uint64_t from = 0, to = UINT64_MAX; // kSent/kReceived: FILETIME ticks (UTC), half-open [from, to)
  uint64_t size = 0;                  // kLarger (> size) / kSmaller (< size), bytes
  std::vector<QueryNode> children;    // kAnd, kOr (2+), kNot (1)
};

struct QueryError { std::string message; size_t position = 0; };  // position: 1-based, in characters

struct QueryContext { uint64_t now = 0; /* FILETIME ticks UTC */ int32_t utc_offset_minutes = 0; };

// Parses |utf8| into |root|. False with |error| set (message naming the problem and its 1-based
// character position) for a malformed query; |root| is then unspecified. Never throws for bad
// input, never recurses without a bound: parentheses nested deeper than 64 are refused.
// Thread-safe (no shared state).
bool ParseQuery(std::string_view utf8, const QueryContext& context, QueryNode* root, QueryError* error);

}  // namespace mailsearch
