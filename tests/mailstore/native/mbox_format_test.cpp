// Reading mbox files as other programs write them; writing them is checked by importing with the
// store tool (mailstore_com_tests).
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "mbox_format.h"

using mxstore::MboxFormat;
using Messages = std::vector<std::string>;

TEST(MboxFormat, SplitsUnquotesAndDropsSeparators) {
  EXPECT_EQ((Messages{"Subject: one\n\nbody\nFrom here\n>From there\nFrom: a header-like line\n",
                      "Subject: two\r\n\r\ncrlf body\r\n", "Subject: three\n", ""}),  // "From " always separates
            MboxFormat::Split("From a@b Mon Jan  1 00:00:00 2024\n"
                              "Subject: one\n\nbody\n>From here\n>>From there\nFrom: a header-like line\n\n"
                              "From b@c Mon Jan  1 00:00:00 2024\r\nSubject: two\r\n\r\ncrlf body\r\n\r\n"
                              "From c@d Mon Jan  1 00:00:00 2024\nSubject: three\n\nFrom an unquoted line\n"));
  EXPECT_EQ(Messages{}, MboxFormat::Split(""));
  EXPECT_EQ(Messages{}, MboxFormat::Split("no separator at all\n"));
  EXPECT_FALSE(MboxFormat::LooksLikeMbox("Subject: x\n\nFrom y\n"));
}
