// The search query language: parsed into a tree that the index evaluates.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mailsearch {

enum class Field : uint8_t { kAny, kSubject, kFrom, kTo /* To and Cc */, kCc, kBody, kFilename };

struct QueryNode {
  enum class Kind { kAll /* '*' */, kAnd, kOr, kNot, kTerm, kPhrase, kAddress,
                    kMessageId, kFolderPath, kFolderId, kSent, kReceived,
                    kUnread, kRead, kFlagged, kHasAttachment, kLarger, kSmaller };
  Kind kind = Kind::kAll;
  Field field = Field::kAny;          // kTerm, kPhrase, kAddress
  std::vector<std::string> terms;     // kTerm: one folded term; kPhrase: the folded terms in order
  std::string text;                   // kAddress: folded whole address "a@b.c"; kMessageId: without <>
                                      //   and white space, case kept; kFolderPath: UTF-8 path as written
  uint32_t folder_id = 0;             // kFolderId
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
