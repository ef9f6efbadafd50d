// Every charset that mail declares, read into UTF-8 and written back, in bodies, encoded words and
// RFC 2231 parameters.
#include <gtest/gtest.h>

#include <string>

#include "mimeengine/charset.h"
#include "mimeengine/codec.h"
#include "mimeengine/header.h"

using namespace mimeengine;
using namespace std::string_literals;

namespace {

const std::string kNihon = "\xe6\x97\xa5\xe6\x9c\xac", kZhong = "\xe4\xb8\xad\xe6\x96\x87";  // 日本, 中文
const std::string kHan = "\xed\x95\x9c\xea\xb5\xad", kPri = "\xd0\x9f\xd1\x80\xd0\xb8", kBad = "\xef\xbf\xbd";

TEST(Charsets, EachLabelReadsItsBytesAndWritesThemBack) {
  const struct {
    const char* label;
    std::string bytes, utf8;
    bool back;  // utf8_to_charset gives the same bytes again
  } kRows[] = {
      {"windows-1252", "\x80", "\xe2\x82\xac", true}, {"iso8859-2", "\xb3", "\xc5\x82", false},
      {"koi8-r", "\xf6", "\xd0\x96", false}, {" \"cp1252\" ", "\xe9", "\xc3\xa9", false},
      {"iso-8859-1", "caf\xe9", "caf\xc3\xa9", true}, {"UTF8", "\xc3\xa9", "\xc3\xa9", true},
      {"us-ascii", "ascii", "ascii", true}, {"ISO-8859-15", "\xa4", "\xe2\x82\xac", false},
      {"iso8859-15:1998", "\xa4", "\xe2\x82\xac", false},
      {"utf-8", "\xed\xa0\x80", kBad + kBad + kBad, false},  // a surrogate is not UTF-8
      {"utf8", "\xe0\x80\xaf", kBad + kBad + kBad, false},  // nor an overlong form
      {"utf-7", "Hi Mom -+Jjo--!", "Hi Mom -\xe2\x98\xba-!", false}, {"unicode-1-1-utf-7", "+ZeVnLA-", kNihon, true},
      {"utf-16", "\xfe\xff\x00" "A\x00\xe9"s, "A\xc3\xa9", false}, {"utf-16", "\xff\xfe" "A\x00"s, "A", false},
      {"utf-16", "\x65\xe5\x67\x2c", kNihon, true}, {"UTF-16LE", "\xe5\x65\x2c\x67", kNihon, true},
      {"ISO_8859-15:1998", "\xa4", "\xe2\x82\xac", true}, {"cp866", "\x8f\xe0\xa8", kPri, true},
      {"x-sjis", "\xb1\x87\x40", "\xef\xbd\xb1\xe2\x91\xa0", true},  // half-width katakana, a vendor row
      {"cp932", "A\x93", "A" + kBad, false}, {"ms_kanji", "\xff" "A", kBad + "A", false},
      {"x-euc-jp", "\xc6\xfc\xcb\xdc", kNihon, true}, {"ISO-2022-JP", "\x1b$BF|K\\\x1b(B", kNihon, true},
      {"iso-2022-jp", "\x1b$BF|\nA\x1b(I1", "\xe6\x97\xa5\nA\xef\xbd\xb1", false},
      {"gb_2312-80", "\xd6\xd0\xce\xc4\x81\x40", kZhong + "\xe4\xb8\x82", true},  // GBK under its older name
      {"gb18030", "\x81\x30\x81\x30", "\xc2\x80", true}, {"big5-hkscs", "\xa4\xa4\xa4\xe5", kZhong, true},
      {"ks_c_5601-1987", "\xc7\xd1\xb1\xb9\x81\x41", kHan + "\xea\xb0\x82", true},  // with a UHC row
      // Unknown or mislabelled: UTF-8 when it is, else windows-1252 keeping every byte.
      {"x-unknown", kNihon, kNihon, false}, {"", "\xe9\x81", "\xc3\xa9\xc2\x81", false},
      {"x-made-up", "\xe9", "\xc3\xa9", false}, {"us-ascii", "\x80", "\xe2\x82\xac", false},
      {"us-ascii", "\xc3\xa9", "\xc3\xa9", false},
  };
  for (const auto& r : kRows) {
    EXPECT_EQ(r.utf8, charset_to_utf8(r.bytes, r.label)) << r.label << " " << r.bytes;
    std::string out;
    EXPECT_TRUE(!r.back || (utf8_to_charset(r.utf8, r.label, &out) && out == r.bytes)) << r.label << " " << out;
  }
  // What a charset cannot hold is refused: a character it lacks, half-width katakana in 7 bits, bad UTF-8.
  const std::string kRefused[][2] = {{"\xe2\x82\xac", "shift_jis"}, {kHan, "euc-jp"}, {"\xef\xbd\xb1", "iso-2022-jp"},
                                     {kNihon, "x-unknown"}, {"\xe2\x82\xac", "iso-8859-1"}, {"\xc3\xa9", "us-ascii"},
                                     {"\xff", "utf-8"}, {"\xff", "iso-8859-1"}, {"x", "no-such-charset"}};
  std::string out;
  for (const auto& r : kRefused) EXPECT_FALSE(utf8_to_charset(r[0], r[1], &out)) << r[0] << " in " << r[1];
  EXPECT_EQ("windows-1251|windows-1250||", canonical_charset("windows1251") + "|" + canonical_charset("x-cp1250") +
                                                "|" + canonical_charset("x-unknown") + "|" +
                                                canonical_charset("iso-8859-99"));
}

TEST(Charsets, EncodedWordsAndParametersReadEveryCharset) {
  const std::string kWords[][2] = {
      {"=?x-sjis?B?k/qWew==?=", kNihon}, {"=?ISO-2022-JP?B?GyRCRnxLXBsoQg==?=", kNihon},
      {"=?ks_c_5601-1987?B?x9GxuQ==?= x", kHan + " x"}, {"=?utf-7?Q?+ZeVnLA-?=", kNihon},
      // A character cut between two words of one charset, then a change of charset.
      {"=?shift_jis?Q?=93?= =?SHIFT_JIS?Q?=FA?=\t=?utf-8?Q?=E6=9C=AC?=", kNihon},
  };
  for (const auto& w : kWords) EXPECT_EQ(w[1], decode_header_words(w[0])) << w[0];
  const StructuredValue sv = StructuredValue::Parse(
      "attachment; filename*0*=shift_jis''%93%FA; filename*1*=%96%7B; title*=iso-2022-jp'ja'%1B%24BF%7CK%5C%1B%28B");
  EXPECT_EQ(kNihon + kNihon, *sv.Param("filename") + *sv.Param("title"));
}

}  // namespace
