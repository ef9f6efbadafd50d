#include <gtest/gtest.h>

#include <string>

#include "mimeengine/charset.h"
#include "mimeengine/codec.h"

using namespace mimeengine;

namespace {

std::string B64(std::string_view in) {
  std::string out;
  base64_encode(in, &out);
  return out;
}
std::string UnB64(std::string_view in) {
  std::string out;
  base64_decode(in, &out);
  return out;
}
std::string UnQp(std::string_view in) {
  std::string out;
  qp_decode(in, &out);
  return out;
}

TEST(Base64, RoundTripsEveryLengthAndByte) {
  std::string all;
  for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
  for (size_t n = 0; n < 200; ++n) {
    const std::string in = all.substr(0, n) + all.substr(256 - n % 7);
    const std::string enc = B64(in);
    EXPECT_EQ(in, UnB64(enc)) << n;
    for (size_t p = 0; p < enc.size(); p += 78) {
      EXPECT_LE(enc.find("\r\n", p) - p, 76u);  // lines of at most 76 characters
    }
  }
}

TEST(Base64, SkipsGarbageAndStopsAtPadding) {
  EXPECT_EQ("Hello", UnB64("SGVs\r\n bG8=\r\n"));
  EXPECT_EQ("Hello", UnB64("SG!Vs#bG8="));
  EXPECT_EQ("Hel", UnB64("SGVs=bG8="));  // data after a pad is ignored
  EXPECT_EQ("He", UnB64("SGV"));         // dangling partial group
  EXPECT_EQ("", UnB64("@@@@"));
}

TEST(QuotedPrintable, DecodesSoftBreaksEscapesAndTolerates) {
  EXPECT_EQ("caf\xe9 au lait", UnQp("caf=E9 au =\r\nlait"));
  EXPECT_EQ("line one\r\nline two", UnQp("line one   \r\nline two"));  // trailing blanks dropped
  EXPECT_EQ("a=zz b", UnQp("a=zz b"));                                 // bad escape kept
  EXPECT_EQ("lower\xab", UnQp("lower=ab"));
  EXPECT_EQ("soft", UnQp("so=  \nft"));
  EXPECT_EQ("end", UnQp("end="));  // a final "=" is a soft break before the end
}

TEST(QuotedPrintable, EncodingRoundTripsAndKeepsLinesShort) {
  const std::string text = "Gr\xfc\xdf" "e = 100%\r\n" + std::string(200, 'x') + "\r\ntrailing space \r\n.dot\r\nFrom me";
  std::string enc;
  qp_encode(text, true, &enc);
  EXPECT_EQ(text, UnQp(enc));
  size_t start = 0;
  while (start < enc.size()) {
    size_t end = enc.find("\r\n", start);
    if (end == std::string::npos) end = enc.size();
    EXPECT_LE(end - start, 76u);
    start = end + 2;
  }
  std::string binary("\0\r\n\xff=\n", 6), benc;
  qp_encode(binary, false, &benc);
  EXPECT_EQ(binary, UnQp(benc));
}

TEST(HeaderWords, DecodesEncodedWordsPerRfc2047) {
  EXPECT_EQ("Gr\xc3\xbc\xc3\x9f" "e", decode_header_words("=?iso-8859-1?Q?Gr=FC=DFe?="));
  EXPECT_EQ("ab", decode_header_words("=?utf-8?q?a?= =?utf-8?q?b?="));  // blanks between words vanish
  EXPECT_EQ("a b", decode_header_words("=?utf-8?q?a_b?="));
  EXPECT_EQ("x a y", decode_header_words("x =?utf-8?B?YQ==?= y"));
  EXPECT_EQ("=?utf-8?q?open", decode_header_words("=?utf-8?q?open"));  // unterminated stays
  EXPECT_EQ("en", decode_header_words("=?utf-8*en?q?en?="));           // language suffix
  // 8-bit bytes outside words: UTF-8 when valid, else the fallback charset.
  EXPECT_EQ("caf\xc3\xa9", decode_header_words("caf\xc3\xa9"));
  EXPECT_EQ("caf\xc3\xa9", decode_header_words("caf\xe9", "iso-8859-1"));
}

TEST(HeaderWords, EncodingRoundTripsThroughDecoding) {
  for (std::string s : {std::string("plain ascii"), std::string("Gr\xc3\xbc\xc3\x9f" "e an alle"),
                        std::string("\xe2\x82\xac \xe2\x82\xac mixed words \xc3\xa9t\xc3\xa9"),
                        std::string(120, 'a') + " \xc3\xa9" + std::string(60, '\xc3') }) {
    if (!is_valid_utf8(s)) s = "\xc3\xa9" + std::string(200, 'z') + "\xc3\xa9";
    const std::string enc = encode_header_words(s);
    EXPECT_TRUE(is_ascii(enc));
    EXPECT_EQ(s, decode_header_words(enc)) << enc;
  }
}

TEST(Charsets, ConvertDeclaredCharsetsToUtf8) {
  EXPECT_EQ("\xe2\x82\xac", charset_to_utf8("\x80", "windows-1252"));
  EXPECT_EQ("\xe2\x82\xac", charset_to_utf8("\xa4", "ISO-8859-15"));
  EXPECT_EQ("\xc5\x82", charset_to_utf8("\xb3", "iso-8859-2"));    // l with stroke
  EXPECT_EQ("\xd0\x96", charset_to_utf8("\xf6", "koi8-r"));        // Cyrillic Zhe
  EXPECT_EQ("\xc3\xa9", charset_to_utf8("\xe9", "latin1"));
  EXPECT_EQ("\xc3\xa9", charset_to_utf8("\xe9", "\"cp1252\""));
  // Unknown labels: UTF-8 when it is UTF-8, else windows-1252.
  EXPECT_EQ("\xc3\xa9", charset_to_utf8("\xc3\xa9", "x-made-up"));
  EXPECT_EQ("\xc3\xa9", charset_to_utf8("\xe9", "x-made-up"));
  EXPECT_EQ("\xef\xbf\xbd", charset_to_utf8("\xff", "utf-8"));
}

TEST(Charsets, EncodeOnlyWhatTheCharsetCanHold) {
  std::string out;
  EXPECT_TRUE(utf8_to_charset("caf\xc3\xa9", "iso-8859-1", &out));
  EXPECT_EQ("caf\xe9", out);
  EXPECT_FALSE(utf8_to_charset("\xe2\x82\xac", "iso-8859-1", &out));
  EXPECT_TRUE(utf8_to_charset("\xe2\x82\xac", "windows-1252", &out));
  EXPECT_EQ("\x80", out);
  EXPECT_FALSE(utf8_to_charset("x", "no-such-charset", &out));
}

TEST(Charsets, Utf16RoundTripKeepsSurrogatesAndRepairsBadInput) {
  const std::string s = "a\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80";
  const std::u16string w = utf8_to_utf16(s);
  EXPECT_EQ(5u, w.size());
  EXPECT_EQ(s, utf16_to_utf8(w));
  EXPECT_EQ(u"\xFFFD" u"a", utf8_to_utf16("\xc3" "a"));
  EXPECT_EQ("\xef\xbf\xbd", utf16_to_utf8(std::u16string(1, u'\xD800')));
}

}  // namespace
