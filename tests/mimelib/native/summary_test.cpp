#include <gtest/gtest.h>

#include "mimeengine/summary.h"

using namespace mimeengine;

namespace {

TEST(Summary, ReadsDisplayFieldsFromTheTopHeaderOnly) {
  const auto s = summarize(
      "From: =?iso-8859-1?q?J=F6rg?= <j@x.de>, second@x\r\n"
      "To: \"Doe, \\\"J\\\"\" <a@b>, c@d (Carl) (Jr), Team (grp): g@h, i@j;, <>, Name Only, e@f junk <x>\r\n"
      "Subject: Re: FWD: =?utf-8?B?SGVsbG8=?=\r\n =?utf-8?Q?_W=C3=B6rld?=\r\n"
      "X-MSMail-Priority: Low\r\n"
      "Date: Thu, 1 Jan 1970 01:00:00 +0100\r\n"
      "\r\n"
      "Subject: not this one\r\n");
  EXPECT_EQ("Re: FWD: Hello W\xc3\xb6rld", s.subject);
  EXPECT_EQ("Hello W\xc3\xb6rld", s.normalized_subject);
  EXPECT_EQ("Doe, \"J\"; Carl Jr; g@h; i@j; Name Only; e@f junk", s.display_to);
  EXPECT_EQ("J\xc3\xb6rg", s.display_from);
  EXPECT_EQ(5, s.priority);
  EXPECT_TRUE(s.has_date);
  EXPECT_EQ(0, s.sent_time);
  EXPECT_EQ("bare@x", summarize("From: bare@x\r\n\r\n").display_from);
  EXPECT_EQ("", summarize("From: <>, b@x\r\n\r\n").display_from);  // the null sender is a mailbox too
  for (const char* src : {"", "\r\n\r\n", "garbage without header", "From:\r\nDate: yesterday\r\n\r\n"}) {
    const auto empty = summarize(src);
    EXPECT_EQ("", empty.subject + empty.display_from + empty.display_to) << src;
    EXPECT_EQ(3, empty.priority) << src;
    EXPECT_FALSE(empty.has_date) << src;
  }
}

TEST(Summary, NormalisesSubjectsAndReadsPriorities) {
  const char* const kSubjects[][2] = {{"re: Fw: RE : fwd:\ttopic ", "topic"}, {"Report: done", "Report: done"},
                                      {"Regarding", "Regarding"}, {"Re:", ""}, {"Fwd", "Fwd"}, {"Re Fw", "Re Fw"}};
  for (const auto& c : kSubjects) EXPECT_EQ(c[1], normalize_subject(c[0])) << c[0];
  const struct {
    const char *x_priority, *x_msmail, *importance;
    int priority;
  } kPriorities[] = {
      {"1 (Highest)", "low", "", 1}, {"2", "", "", 1},   {" 3", "high", "", 3},      {"4", "", "", 5},
      {"5", "", "", 5},              {"", "High", "low", 1}, {"", "", "low", 5},       {"", "", "Urgent", 1},
      {"", "Non-Urgent", "", 5},     {"", "normal", "high", 3}, {"x", "", "whatever", 3},
  };
  for (const auto& c : kPriorities) {
    EXPECT_EQ(c.priority, priority_from_fields(c.x_priority, c.x_msmail, c.importance)) << c.x_priority << c.x_msmail;
  }
}

TEST(Dates, ParseZonesAndObsoleteFormsAndRejectNonsense) {
  const struct {
    const char* text;
    int64_t seconds;  // -1: rejected
  } kCases[] = {
      {"Tue, 1 Jul 2003 10:52:37 +0200", 1057049557},        {"1 Jul 03 08:52 GMT", 1057049520},
      {"Tue, 01 Jul 2003 04:52:37 (comment) EDT", 1057049557}, {"1 July 103 10:52:37 -02", 1057063957},
      {"29 Feb 2000 00:00:00 -0000", 951782400},              {"1 Mar 1950 00:00 UT", -626054400},
      {"31 Dec 49 23:59:60 PST", 2524636800},                 {"not a date", -1},
      {"32 Jan 2003 10:00:00 +0000", -1},                     {"1 Jan 2003 24:00:00", -1},
      {"1 Foo 2003", -1},                                     {"1 Jan", -1},
  };
  for (const auto& c : kCases) {
    int64_t t = -1;
    EXPECT_EQ(c.seconds != -1, parse_date(c.text, &t)) << c.text;
    EXPECT_EQ(c.seconds, t) << c.text;
  }
}

}  // namespace
