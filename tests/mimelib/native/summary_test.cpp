#include <gtest/gtest.h>

#include "mimeengine/address.h"
#include "mimeengine/summary.h"

using namespace mimeengine;

namespace {

TEST(Summary, ReadsDisplayFieldsFromTheTopHeaderOnly) {
  const auto s = summarize(
      "From: =?iso-8859-1?q?J=F6rg?= <j@x.de>\r\n"
      "To: \"Doe, John\" <a@b>, c@d (Carl), e@f, Team: g@h, i@j;\r\n"
      "Subject: Re: FWD: =?utf-8?B?SGVsbG8=?=\r\n =?utf-8?Q?_W=C3=B6rld?=\r\n"
      "X-MSMail-Priority: Low\r\n"
      "Date: Thu, 1 Jan 1970 01:00:00 +0100\r\n"
      "\r\n"
      "Subject: not this one\r\n");
  EXPECT_EQ("Re: FWD: Hello W\xc3\xb6rld", s.subject);
  EXPECT_EQ("Hello W\xc3\xb6rld", s.normalized_subject);
  EXPECT_EQ("Doe, John; Carl; e@f; g@h; i@j", s.display_to);
  EXPECT_EQ("J\xc3\xb6rg", s.display_from);
  EXPECT_EQ(5, s.priority);
  EXPECT_TRUE(s.has_date);
  EXPECT_EQ(0, s.sent_time);
}

TEST(Summary, EmptyAndGarbageInputGiveDefaults) {
  for (const char* src : {"", "\r\n\r\n", "garbage without header", "From:\r\nDate: yesterday\r\n\r\n"}) {
    const auto s = summarize(src);
    EXPECT_EQ("", s.subject);
    EXPECT_EQ(3, s.priority);
    EXPECT_FALSE(s.has_date);
  }
}

TEST(Summary, NormalisesReplyAndForwardPrefixes) {
  EXPECT_EQ("topic", normalize_subject("re: Fw: RE : fwd:topic"));
  EXPECT_EQ("Report: done", normalize_subject("Report: done"));
  EXPECT_EQ("Regarding", normalize_subject("Regarding"));
  EXPECT_EQ("", normalize_subject("Re:"));
}

TEST(Summary, PriorityFromAnyOfItsFields) {
  EXPECT_EQ(1, priority_from_fields("1 (Highest)", "", ""));
  EXPECT_EQ(1, priority_from_fields("2", "", ""));
  EXPECT_EQ(5, priority_from_fields("4", "", ""));
  EXPECT_EQ(1, priority_from_fields("", "High", ""));
  EXPECT_EQ(5, priority_from_fields("", "", "low"));
  EXPECT_EQ(3, priority_from_fields("x", "", "whatever"));
}

TEST(Dates, ParseZonesObsoleteFormsAndRejectNonsense) {
  int64_t t = 0;
  ASSERT_TRUE(parse_date("Tue, 1 Jul 2003 10:52:37 +0200", &t));
  EXPECT_EQ(1057049557, t);
  ASSERT_TRUE(parse_date("1 Jul 03 08:52 GMT", &t));
  EXPECT_EQ(1057049520, t);
  ASSERT_TRUE(parse_date("Tue, 01 Jul 2003 04:52:37 EDT (comment)", &t));
  EXPECT_EQ(1057049557, t);
  ASSERT_TRUE(parse_date("29 Feb 2000 00:00:00 -0000", &t));
  EXPECT_EQ(951782400, t);
  EXPECT_FALSE(parse_date("not a date", &t));
  EXPECT_FALSE(parse_date("32 Jan 2003 10:00:00 +0000", &t));
  EXPECT_FALSE(parse_date("1 Foo 2003", &t));
}

TEST(Addresses, GroupsCommentsAndQuotedNames) {
  const auto list = ParseAddressList("\"Smith, Ann\" <ann@x>, (Bob) bob@y, undisclosed-recipients:;");
  ASSERT_EQ(2u, list.size());
  EXPECT_EQ("Smith, Ann", list[0].display_name);
  EXPECT_EQ("ann@x", list[0].address);
  EXPECT_EQ("Bob", list[1].display_name);
  EXPECT_EQ("bob@y", list[1].address);
}

}  // namespace
