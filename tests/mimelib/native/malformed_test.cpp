// Damaged structure keeps its text: a header block that runs into the text
// without an empty line, and delimiter lines with nothing between them.
#include <gtest/gtest.h>

#include <string>

#include "mimeengine/message.h"

using namespace mimeengine;

namespace {

// The leaves in pre-order as "subtype [content]", and the first text/plain body's content.
std::string Leaves(const Message& m) {
  std::string out, content;
  for (BodyHandle h = m.FindNext(kNoBody, {}, {}); h != kNoBody; h = m.FindNext(h, {}, {})) {
    if (m.IsMultipart(h)) continue;
    m.GetContent(h, &content);
    out += m.SubType(h) + " [" + content + "] ";
  }
  const BodyHandle first = m.FindNext(kNoBody, "text", "plain");
  if (first != kNoBody && m.GetContent(first, &content) == Status::kOk) out += "first [" + content + "]";
  return out;
}

TEST(Malformed, TextIsKeptAndTheFirstTextBodyIsReal) {
  const char* const kCases[][3] = {
      // source, leaves, Subject
      {"Subject: s\r\nHello there\r\nsecond line", "plain [Hello there\r\nsecond line] first [Hello there\r\nsecond line]",
       "s"},
      {"Subject: s\nHello\n\nNote: not a field", "plain [Hello\n\nNote: not a field] first [Hello\n\nNote: not a field]",
       "s"},
      {"From someone\r\nHi", "plain [Hi] first [Hi]", "!"},
      {"Content-Type: multipart/mixed; boundary=b\r\nSubject: s\r\n\r\n--b\r\nContent-Type: text/plain\r\nHello\r\n"
       "--b--\r\n",
       "plain [Hello] first [Hello]", "s"},
      {"Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n--b\r\nContent-Type: text/plain\r\n\r\nreal\r\n--b--",
       "plain [real] first [real]", "!"},
      {"Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\n--b\n--b\r\n\r\nreal\r\n--b\r\n--b--",
       "plain [real] first [real]", "!"},
      // A part of only an empty line stays a part, but a search by type passes over it.
      {"Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n\r\n--b\r\n\r\nreal\r\n--b--",
       "plain [] plain [real] first [real]", "!"},
      {"Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\nContent-Type: text/plain\r\n\r\n--b\r\n\r\nreal\r\n--b--",
       "plain [] plain [real] first []", "!"},
  };
  for (const auto& c : kCases) {
    Message m;
    m.Load(c[0]);
    EXPECT_EQ(c[1], Leaves(m)) << c[0];
    std::string subject;
    EXPECT_EQ(c[2], m.GetProp(m.root(), "Subject", &subject) == Status::kOk ? subject : "!") << c[0];
  }
}

TEST(Malformed, AnEditedHeaderIsClosedAndTheTextFollowsIt) {
  Message m, again;
  m.Load("Subject: s\r\nHello there\r\n");
  ASSERT_EQ(Status::kOk, m.SetProp(m.root(), "Subject", "t"));
  EXPECT_EQ("Subject: t\r\n\r\nHello there\r\n", m.Serialize());
  m.Load("Subject: s\r\nHello there\r\n");
  EXPECT_EQ("Subject: s\r\nHello there\r\n", m.Serialize());
}

}  // namespace
