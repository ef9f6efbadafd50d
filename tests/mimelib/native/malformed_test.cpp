// Damaged structure keeps its text: a header that runs into the text without an empty line, and
// delimiter lines with nothing between them.
#include <gtest/gtest.h>

#include <string>

#include "mimeengine/message.h"

using namespace mimeengine;

TEST(Malformed, TextIsKeptAndTheFirstTextBodyIsReal) {
  const char* const kCases[][2] = {
      // source; the leaves' contents, then the first text/plain body's and the Subject
      {"Subject: s\r\nHello there\r\nsecond line", "[Hello there\r\nsecond line] first [Hello there\r\nsecond line] s"},
      {"Subject: s\nHello\n\nNote: not a field", "[Hello\n\nNote: not a field] first [Hello\n\nNote: not a field] s"},
      {"From someone\r\nHi", "[Hi] first [Hi] "},
      {"Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\nContent-Type: text/plain\r\nSubject: s\r\nHi\r\n--b--",
       "[Hi] first [Hi] "},
      {"Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n--b\n--b\r\n\r\nreal\r\n--b\r\n--b--", "[real] first [real] "},
      // A part of only an empty line stays a part, but a search by type passes over it (not over a typed one).
      {"Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n\r\n--b\r\n\r\nreal\r\n--b--", "[] [real] first [real] "},
      {"Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\nContent-Type: text/plain\r\n\r\n--b\r\n\r\nreal\r\n--b--",
       "[] [real] first [] "},
  };
  for (const auto& c : kCases) {
    Message m;
    m.Load(c[0]);
    std::string leaves, content;
    for (BodyHandle h = m.FindNext(kNoBody, {}, {}); h != kNoBody; h = m.FindNext(h, {}, {})) {
      if (!m.IsMultipart(h) && m.GetContent(h, &content) == Status::kOk) leaves += "[" + content + "] ";
    }
    m.GetContent(m.FindNext(kNoBody, "text", "plain"), &content);
    leaves += "first [" + content + "] ";
    if (m.GetProp(m.root(), "Subject", &content) == Status::kOk) leaves += content;
    EXPECT_EQ(c[1], leaves) << c[0];
  }
  Message edited;  // a changed header is closed by an empty line before the text
  edited.Load("Subject: s\r\nHello there\r\n");
  ASSERT_EQ(Status::kOk, edited.SetProp(edited.root(), "Subject", "t"));
  EXPECT_EQ("Subject: t\r\n\r\nHello there\r\n", edited.Serialize());
}
