#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <utility>

#include "mailsearch/query.h"

namespace mailsearch {
namespace {

constexpr uint64_t kTicksPerSecond = 10000000;
constexpr uint64_t kUnixEpoch = 11644473600;  // seconds from 1601-01-01 to 1970-01-01

// 2024-03-15 12:00 UTC, in a zone one hour ahead of UTC.
const QueryContext kContext{(1710504000 + kUnixEpoch) * kTicksPerSecond, 60};

std::string Time(uint64_t ticks) {
  const time_t t = static_cast<time_t>(ticks / kTicksPerSecond - kUnixEpoch);
  tm parts;
  gmtime_r(&t, &parts);
  char text[32];
  strftime(text, sizeof text, "%Y-%m-%dT%H:%M", &parts);
  return text;
}

std::string Print(const QueryNode& n) {
  static const char* const kFields[] = {"", "subject:", "from:", "to:", "cc:", "body:", "filename:"};
  const std::string field = kFields[static_cast<int>(n.field)];
  std::string out;
  switch (n.kind) {
    case QueryNode::Kind::kAll: return "*";
    case QueryNode::Kind::kAnd:
    case QueryNode::Kind::kOr:
    case QueryNode::Kind::kNot:
      out = n.kind == QueryNode::Kind::kAnd ? "(and" : n.kind == QueryNode::Kind::kOr ? "(or" : "(not";
      for (const QueryNode& child : n.children) out += " " + Print(child);
      return out + ")";
    case QueryNode::Kind::kTerm: return field + n.terms.at(0);
    case QueryNode::Kind::kPhrase:
      for (const std::string& term : n.terms) out += (out.empty() ? "" : " ") + term;
      return field + "\"" + out + "\"";
    case QueryNode::Kind::kAddress: return field + "<" + n.text + ">";
    case QueryNode::Kind::kMessageId: return "id:<" + n.text + ">";
    case QueryNode::Kind::kFolderPath: return "folder:\"" + n.text + "\"";
    case QueryNode::Kind::kFolderId: return "folder:#" + std::to_string(n.folder_id);
    case QueryNode::Kind::kSent:
    case QueryNode::Kind::kReceived:
      return std::string(n.kind == QueryNode::Kind::kSent ? "date:[" : "received:[") + (n.from ? Time(n.from) : "") +
             "," + (n.to != UINT64_MAX ? Time(n.to) : "") + ")";
    case QueryNode::Kind::kUnread: return "is:unread";
    case QueryNode::Kind::kRead: return "is:read";
    case QueryNode::Kind::kFlagged: return "is:flagged";
    case QueryNode::Kind::kHasAttachment: return "has:attachment";
    case QueryNode::Kind::kLarger: return "larger:" + std::to_string(n.size);
    case QueryNode::Kind::kSmaller: return "smaller:" + std::to_string(n.size);
  }
  return "?";
}

std::string Parse(std::string_view query) {
  QueryNode root;
  QueryError error;
  if (!ParseQuery(query, kContext, &root, &error)) {
    EXPECT_NE(error.message.find(" at position " + std::to_string(error.position)), std::string::npos);
    return "error: " + error.message;
  }
  return Print(root);
}

TEST(Query, Parses) {
  const std::pair<const char*, const char*> kCases[] = {
      {"hello World", "(and hello world)"},
      {"a OR b c OR d", "(or a (and b c) d)"},
      {"NOT a b -c -\"d e\"", "(and (not a) b (not c) (not \"d e\"))"},
      {"(a OR b) AND c", "(and (or a b) c)"},
      {"(a b) ((c d)) (e OR (f OR g))", "(and a b c d (or e f g))"},
      {"a or b \"OR\" not", "(and a or b or not)"},
      {"NOT -a NOT NOT NOT b", "(and a (not b))"},
      {"-(a OR b) *", "(and (not (or a b)) *)"},
      {"a !!! - (!!!) \"\" OR b", "(or a b)"},
      {"it's \xE6\x9D\xB1\xE4\xBA\xAC\xE9\x83\xBD", "(and \"it s\" \"\xE6\x9D\xB1\xE4\xBA\xAC \xE4\xBA\xAC\xE9\x83\xBD\")"},
      {"\xFF" "abc\xED\xA0\x80" "def", "\"abc def\""},
      {"FROM:Smith to:\"John Smith\" cc:a.b subject:Re:Hi body:x filename:report.PDF",
       "(and from:smith to:\"john smith\" cc:\"a b\" subject:\"re hi\" body:x filename:\"report pdf\")"},
      {"from:Smith@Example.org cc:<a@b> subject:a@b", "(and from:<smith@example.org> cc:<a@b> subject:\"a b\")"},
      {"Smith@Example.org", "(or <smith@example.org> \"smith example org\")"},
      {"id:<AbC@x.Y> id:\"< a b@c >\"", "(and id:<AbC@x.Y> id:<ab@c>)"},
      {"folder:Inbox/Work folder:#12 folder:\"#12\"", "(and folder:\"Inbox/Work\" folder:#12 folder:\"#12\")"},
      {"is:unread is:READ is:flagged has:attachment", "(and is:unread is:read is:flagged has:attachment)"},
      {"larger:10k smaller:2M larger:100 smaller:1gb", "(and larger:10240 smaller:2097152 larger:100 smaller:1073741824)"},
      // Whole local days, one hour ahead of UTC; the end is the start of the day after.
      {"date:2024-01-01..2024-02-01", "date:[2023-12-31T23:00,2024-02-01T23:00)"},
      {"received:2024-02", "received:[2024-01-31T23:00,2024-02-29T23:00)"},
      {"date:2024-01.. date:..2023", "(and date:[2023-12-31T23:00,) date:[,2023-12-31T23:00))"},
      {"date:today date:yesterday", "(and date:[2024-03-14T23:00,2024-03-15T23:00) date:[2024-03-13T23:00,2024-03-14T23:00))"},
      {"date:7d date:2w date:\"1y..3m\"", "(and date:[2024-03-08T12:00,) date:[2024-03-01T12:00,) date:[2023-03-15T12:00,2023-12-15T12:00))"},
  };
  for (const auto& [query, want] : kCases) EXPECT_EQ(Parse(query), want) << query;
}

TEST(Query, RefusesMalformed) {
  const std::pair<const char*, const char*> kCases[] = {
      {"hello \"abc", "unclosed quote at position 7"},
      {"\xC3\xA9t\xC3\xA9 from:\"x", "unclosed quote at position 10"},  // positions count characters
      {"\xFF\xFE \"", "unclosed quote at position 4"},
      {"a foo:bar", "unknown field 'foo' at position 3"},
      {"date:2024-13-01", "bad date '2024-13-01' at position 6"},
      {"date:\"2023-02-29..\"", "bad date '2023-02-29' at position 7"},
      {"date:2024-01-01..24-02-01", "bad date '24-02-01' at position 18"},
      {"received:7x", "bad date '7x' at position 10"},
      {"a (b (c)", "missing ')' for the '(' at position 3"},
      {"a) b", "unexpected ')' at position 2"},
      {"a ()", "empty parentheses at position 3"},
      {"OR a", "nothing before OR at position 1"},
      {"a OR OR b", "nothing after OR at position 3"},
      {"(a OR) b", "nothing after OR at position 4"},
      {"AND a", "nothing before AND at position 1"},
      {"a AND", "nothing after AND at position 3"},
      {"a NOT", "nothing after NOT at position 3"},
      {"-OR a", "nothing after '-' at position 1"},
      {"", "empty query at position 1"},
      {" !!! -- \"...\" ", "empty query at position 1"},
      {"a subject:!!!", "empty value for subject: at position 3"},
      {"id:<>", "empty value for id: at position 1"},
      {"date:..", "empty value for date: at position 1"},
      {"is:old", "unknown value 'old' for is: at position 4"},
      {"has:flag", "unknown value 'flag' for has: at position 5"},
      {"larger:10x", "bad size '10x' for larger: at position 8"},
      {"smaller:99999999999999999999", "bad size '99999999999999999999' for smaller: at position 9"},
      {"folder:#4294967296", "bad folder id '#4294967296' for folder: at position 8"},
  };
  for (const auto& [query, want] : kCases) EXPECT_EQ(Parse(query), std::string("error: ") + want) << query;
}

TEST(Query, EveryFieldRefusesAnEmptyValue) {
  for (const char* field : {"from", "to", "cc", "subject", "body", "filename", "id", "folder", "date",
                            "received", "is", "has", "larger", "smaller"}) {
    const std::string want = std::string("error: empty value for ") + field + ": at position 3";
    EXPECT_EQ(Parse(std::string("a ") + field + ":"), want);
    EXPECT_EQ(Parse(std::string("a ") + field + ":\"\" b"), want);
  }
}

TEST(Query, HostileInputs) {
  std::string words, nots, ors;
  for (int i = 0; i < 100000; ++i) {
    words += "w" + std::to_string(i % 1000) + " ";
    nots += "NOT ";
    ors += "a OR ";
  }
  QueryNode root;
  QueryError error;
  ASSERT_TRUE(ParseQuery(words, kContext, &root, &error));
  EXPECT_EQ(root.children.size(), 100000u);
  EXPECT_EQ(Parse(nots + "x"), "x");
  EXPECT_EQ(Parse(ors), "error: nothing after OR at position 499998");
  const std::string deep = std::string(64, '(') + "x" + std::string(64, ')');
  EXPECT_EQ(Parse(deep), "x");
  EXPECT_EQ(Parse(std::string(10000, '(') + "x" + std::string(10000, ')')),
            "error: nesting deeper than 64 at position 65");
}

}  // namespace
}  // namespace mailsearch
