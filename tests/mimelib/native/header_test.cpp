#include <gtest/gtest.h>

#include "mimeengine/header.h"

using namespace mimeengine;

namespace {

TEST(HeaderSerialize, KeepsUntouchedFieldsAndWritesChangedOnes) {
  Header h;
  Header::Parse("Received: from x\r\n\tby y\r\nSubject: old\r\nX-Old: 1\r\nx-old: 2\r\n\r\n", &h);
  h.Set("Subject", "Gr\xc3\xbc\xc3\x9f" "e");
  h.Set("x-OLD", "3");  // replaces the first field of the name and drops the others
  h.Set("X-New", "one two three four five six seven eight nine ten eleven twelve thirteen fourteen");
  h.Set("X-Inject", "a\r\nBcc: victim@example.com", true);  // a value never starts a new field
  EXPECT_FALSE(h.Remove("X-Gone"));
  EXPECT_TRUE(h.Remove("X-OLD"));
  std::string out;
  h.Serialize(&out);
  EXPECT_EQ("Received: from x\r\n\tby y\r\nSubject: =?utf-8?B?R3LDvMOfZQ==?=\r\n"
            "X-New: one two three four five six seven eight nine ten eleven twelve\r\n thirteen fourteen\r\n"
            "X-Inject: a  Bcc: victim@example.com\r\n\r\n",
            out);
}

TEST(StructuredValues, ParseQuotesCommentsAndRfc2231) {
  const auto ct = StructuredValue::Parse(
      "text/plain (a (nested) comment); charset=\"iso-8859-1\"; name*0*=utf-8''%C3%A9t; name*1=\"e.txt\"; "
      "format=flowed; format=fixed; noequals; x*1=b; x*0=a; y=plain; y*=''%41");
  EXPECT_EQ("text/plain", ct.value());
  ASSERT_NE(nullptr, ct.Param("CHARSET"));
  EXPECT_EQ("iso-8859-1", *ct.Param("charset"));
  EXPECT_EQ("\xc3\xa9te.txt", *ct.Param("name"));
  EXPECT_EQ("flowed", *ct.Param("format"));  // the first of repeated parameters counts
  EXPECT_EQ("ab", *ct.Param("x"));           // sections in numeric order
  EXPECT_EQ("A", *ct.Param("y"));            // the extended form wins
  EXPECT_EQ(nullptr, ct.Param("noequals"));
  const auto cd = StructuredValue::Parse("attachment; filename*0*=iso-8859-1'de'Gr%FC; filename*1*=%DFe.txt; "
                                         "x=\"a;\\\"b\"");
  EXPECT_EQ("Gr\xc3\xbc\xc3\x9f" "e.txt", *cd.Param("filename"));  // one charset for all sections
  EXPECT_EQ("a;\"b", *cd.Param("x"));
  EXPECT_EQ("r\xc3\xa9sum\xc3\xa9.pdf",
            *StructuredValue::Parse("a; filename=\"=?utf-8?q?r=C3=A9sum=C3=A9.pdf?=\"").Param("filename"));
}

TEST(StructuredValues, WriteValuesThatParseBack) {
  StructuredValue v;
  v.set_value("attachment");
  v.SetParam("filename", "a b.txt");
  v.SetParam("Name", "\xc3\xa9 x.txt");
  v.SetParam("q", "\"x\\");
  v.SetParam("SIZE", "12");
  v.SetParam("size", "13");
  v.SetParam("gone", "x");
  EXPECT_TRUE(v.RemoveParam("GONE"));
  EXPECT_FALSE(v.RemoveParam("gone"));
  EXPECT_EQ("attachment; filename=\"a b.txt\"; name*=utf-8''%C3%A9%20x.txt; q=\"\\\"x\\\\\"; size=13", v.ToString());
  const auto back = StructuredValue::Parse(v.ToString());
  EXPECT_EQ("\xc3\xa9 x.txt", *back.Param("name"));
  EXPECT_EQ("\"x\\", *back.Param("q"));
}

}  // namespace
