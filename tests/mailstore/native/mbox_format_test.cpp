// Reading mbox files as other programs write them, the edge cases of line ends, mail kinds and
// folder paths; the commands over them run in mxstore_test.sh, writing an mbox is checked by
// importing it with the store tool (mailstore_com_tests).
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "folder_path.h"
#include "line_ends.h"
#include "mail_file.h"
#include "mbox_format.h"

using mxstore::FolderPath;
using mxstore::LineEnds;
using mxstore::MailFile;
using mxstore::MboxFormat;
using Messages = std::vector<std::string>;

TEST(MboxFormat, SplitsUnquotesAndDropsSeparators) {
  EXPECT_EQ((Messages{"Subject: one\n\nbody\nFrom here\n>From there\nFrom: a header-like line\n",
                      "Subject: two\r\n\r\ncrlf body\r\n", "Subject: three\n", ""}),  // "From " always separates
            MboxFormat::Split("From a@b Mon Jan  1 00:00:00 2024\n"
                              "Subject: one\n\nbody\n>From here\n>>From there\nFrom: a header-like line\n\n"
                              "From b@c Mon Jan  1 00:00:00 2024\r\nSubject: two\r\n\r\ncrlf body\r\n\r\n"
                              "From c@d Mon Jan  1 00:00:00 2024\nSubject: three\n\nFrom an unquoted line\n"));
  EXPECT_FALSE(MboxFormat::LooksLikeMbox("Subject: x\n\nFrom y\n"));
}

TEST(MailImport, LfMboxIsStoredCrlf) {
  const std::string mbox =
      "From a@b Mon Jan  1 00:00:00 2024\n"
      "Subject: one\n\nbody\n>From quoted\n>>From twice\n\n"
      "From a@b Mon Jan  1 00:00:00 2024\n"
      "Subject: two\n\n\nends with blank lines\n\n\n";
  ASSERT_EQ(MailFile::Kind::kMbox, MailFile::Classify(mbox));
  const auto stored = MailFile::Messages(mbox, MailFile::Kind::kMbox, false);
  EXPECT_EQ((std::vector<std::string>{"Subject: one\r\n\r\nbody\r\nFrom quoted\r\n>From twice\r\n",
                                      "Subject: two\r\n\r\n\r\nends with blank lines\r\n\r\n"}),
            stored);
  EXPECT_EQ("a\r\nb\r\n\rc", LineEnds::ToCrlf("a\nb\r\n\rc"));
  EXPECT_EQ("a\nb\n\rc\r", LineEnds::ToLf("a\r\nb\n\rc\r"));
}

TEST(MailImport, OnlyMboxesAndHeaderFieldsCountAsMail) {
  const std::vector<std::pair<std::string, MailFile::Kind>> cases = {
      {"From a@b Mon Jan  1 00:00:00 2024\n", MailFile::Kind::kMbox}, {"From: a@b\r\n", MailFile::Kind::kMessage},
      {"X-Tag:no space", MailFile::Kind::kMessage},  {"", MailFile::Kind::kNotMail},
      {"just some notes\nSubject: later\n", MailFile::Kind::kNotMail}, {"Two words: x\n", MailFile::Kind::kNotMail},
      {": no name\n", MailFile::Kind::kNotMail},    {"\nSubject: after a blank line\n", MailFile::Kind::kNotMail},
      {"Subject", MailFile::Kind::kNotMail},
  };
  for (const auto& [data, kind] : cases) EXPECT_EQ(kind, MailFile::Classify(data)) << data;
}

TEST(FolderPathText, NamesEscapesAndIds) {
  struct Case {
    const char* text;
    std::vector<std::string> names;
    bool id, bare_number;
  };
  const Case cases[] = {
      {"Archive/2024", {"Archive", "2024"}, false, false}, {"/A\\B//C/", {"A", "B", "C"}, false, false},
      {"a\\/b/c\\\\d/\\#7", {"a/b", "c\\d", "#7"}, false, false}, {"2024", {"2024"}, false, true},
      {"#7", {}, true, false}, {"#4294967296", {"#4294967296"}, false, false}, {"#7x", {"#7x"}, false, false},
      {"/", {}, false, false},
  };
  for (const auto& c : cases) {
    FolderPath p = FolderPath::Parse(c.text);
    EXPECT_EQ(std::make_tuple(c.names, c.id, c.bare_number), std::make_tuple(p.names(), p.is_id(), p.is_bare_number()))
        << c.text;
  }
  EXPECT_EQ(7u, FolderPath::Parse("#7").id());
  for (const char* name : {"a/b", "c\\d", "#7", "x#/\\"})
    EXPECT_EQ(std::vector<std::string>{name}, FolderPath::Parse(FolderPath::Escape(name)).names()) << name;
}
