#include <gtest/gtest.h>

#include "mimeengine/header.h"

using namespace mimeengine;

namespace {

TEST(HeaderParse, UnfoldsAndFindsTheBodyWithEitherLineEnd) {
  Header h;
  const std::string crlf = "Subject: one\r\n two\r\nX-A:b\r\n\r\nbody";
  EXPECT_EQ(crlf.size() - 4, Header::Parse(crlf, &h));
  EXPECT_EQ("one two", h.Get("subject"));
  EXPECT_EQ("b", h.Get("X-A"));
  const std::string lf = "Subject: one\n\ttwo\n\nbody";
  EXPECT_EQ(lf.size() - 4, Header::Parse(lf, &h));
  EXPECT_EQ("one\ttwo", h.Get("Subject"));
}

TEST(HeaderParse, ToleratesStrayLinesMissingHeadersAndNoBody) {
  Header h;
  EXPECT_EQ(0u, Header::Parse("just text\r\nmore\r\n", &h));
  EXPECT_TRUE(h.empty());
  const std::string mbox = "From someone Tue Jul  1\r\nSubject: s\r\n\r\nb";
  EXPECT_EQ(mbox.size() - 1, Header::Parse(mbox, &h));
  EXPECT_EQ("s", h.Get("Subject"));
  EXPECT_EQ(std::string("A: 1\r\nB: 2").size(), Header::Parse("A: 1\r\nB: 2", &h));
  EXPECT_EQ("2", h.Get("B"));
  Header::Parse("A: 1\r\nno colon here\r\nB : 2\r\n\r\n", &h);
  EXPECT_EQ(2u, h.fields().size());
  EXPECT_EQ("2", h.Get("B"));
}

TEST(HeaderSerialize, KeepsUntouchedFieldsAndEncodesChangedOnes) {
  Header h;
  Header::Parse("Received: from x\r\n\tby y\r\nSubject: old\r\n\r\n", &h);
  h.Set("Subject", "Gr\xc3\xbc\xc3\x9f" "e");
  h.Set("X-New", "value");
  std::string out;
  h.Serialize(&out);
  EXPECT_EQ(0u, out.find("Received: from x\r\n\tby y\r\n"));
  EXPECT_NE(std::string::npos, out.find("Subject: =?utf-8?B?"));
  EXPECT_NE(std::string::npos, out.find("X-New: value\r\n\r\n"));
  h.Set("X-Inject", "a\r\nBcc: victim@example.com");
  out.clear();
  h.Serialize(&out);
  EXPECT_EQ(std::string::npos, out.find("\r\nBcc:"));  // a value never starts a new field
}

TEST(StructuredValues, ParsesQuotesCommentsAndRfc2231) {
  const auto ct = StructuredValue::Parse(
      "text/plain (comment); charset=\"iso-8859-1\"; name*0*=utf-8''%C3%A9t; name*1=\"e.txt\"; format=flowed");
  EXPECT_EQ("text/plain", ct.value());
  ASSERT_NE(nullptr, ct.Param("CHARSET"));
  EXPECT_EQ("iso-8859-1", *ct.Param("charset"));
  ASSERT_NE(nullptr, ct.Param("name"));
  EXPECT_EQ("\xc3\xa9te.txt", *ct.Param("name"));
  const auto cd = StructuredValue::Parse("attachment; filename*=iso-8859-1'de'Gr%FC%DFe.txt; x=\"a;b\"");
  EXPECT_EQ("Gr\xc3\xbc\xc3\x9f" "e.txt", *cd.Param("filename"));
  EXPECT_EQ("a;b", *cd.Param("x"));
  EXPECT_EQ("r\xc3\xa9sum\xc3\xa9.pdf",
            *StructuredValue::Parse("a; filename=\"=?utf-8?q?r=C3=A9sum=C3=A9.pdf?=\"").Param("filename"));
}

TEST(StructuredValues, WritesValuesThatParseBack) {
  StructuredValue v;
  v.set_value("attachment");
  v.SetParam("filename", "my file \"1\".txt");
  v.SetParam("name", "\xc3\xa9t\xc3\xa9.txt");
  v.SetParam("size", "12");
  const auto back = StructuredValue::Parse(v.ToString());
  EXPECT_EQ("my file \"1\".txt", *back.Param("filename"));
  EXPECT_EQ("\xc3\xa9t\xc3\xa9.txt", *back.Param("name"));
  EXPECT_EQ("12", *back.Param("size"));
}

}  // namespace
