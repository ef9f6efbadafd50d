#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "mbox_format.h"

using mxstore::MboxFormat;

TEST(MboxFormat, SplitsUnquotesAndDropsSeparators) {
  std::string mbox =
      "From a@b Mon Jan  1 00:00:00 2024\n"
      "Subject: one\n\nbody\n>From here\n>>From there\nFrom: a header-like line\n\n"
      "From b@c Mon Jan  1 00:00:00 2024\r\n"
      "Subject: two\r\n\r\ncrlf body\r\n\r\n"
      "From c@d Mon Jan  1 00:00:00 2024\n"
      "Subject: three\n\nFrom an unquoted line\n";
  auto messages = MboxFormat::Split(mbox);
  ASSERT_EQ(4u, messages.size());
  EXPECT_EQ("Subject: one\n\nbody\nFrom here\n>From there\nFrom: a header-like line\n", messages[0]);
  EXPECT_EQ("Subject: two\r\n\r\ncrlf body\r\n", messages[1]);
  // "From " at the start of a line always separates: writers quote it.
  EXPECT_EQ("Subject: three\n", messages[2]);
  EXPECT_EQ("", messages[3]);
}

TEST(MboxFormat, WriteThenSplitGivesTheSameBytes) {
  std::vector<std::string> messages = {
      "Subject: a\r\n\r\nFrom the start of a line\r\n>From quoted already\r\n",
      "Subject: b\n\nno final newline",
      "Subject: c\n\n\n\ntrailing blank lines\n\n",
  };
  std::string mbox;
  for (const auto& m : messages) MboxFormat::Append(m, "x@y", "Mon Jan  1 00:00:00 2024", &mbox);
  EXPECT_TRUE(MboxFormat::LooksLikeMbox(mbox));
  auto back = MboxFormat::Split(mbox);
  ASSERT_EQ(3u, back.size());
  EXPECT_EQ(messages[0], back[0]);
  EXPECT_EQ(messages[1] + "\n", back[1]);  // an entry always ends with a line end
  EXPECT_EQ(messages[2], back[2]);
}

TEST(MboxFormat, NotAnMbox) {
  EXPECT_FALSE(MboxFormat::LooksLikeMbox("Subject: x\n\nFrom y\n"));
  EXPECT_TRUE(MboxFormat::Split("").empty());
  EXPECT_TRUE(MboxFormat::Split("no separator at all\n").empty());
}
