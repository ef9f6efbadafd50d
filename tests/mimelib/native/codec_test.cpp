#include <gtest/gtest.h>

#include <string>

#include "mimeengine/charset.h"
#include "mimeengine/codec.h"

using namespace mimeengine;

namespace {

template <void (*Codec)(std::string_view, std::string*)>
std::string Apply(std::string_view in) {
  std::string out;
  Codec(in, &out);
  return out;
}
std::string Qp(std::string_view in, bool text = true) {
  std::string out;
  qp_encode(in, text, &out);
  return out;
}
std::string Words(std::string_view in) { return decode_header_words(in); }
std::string WordsOrLatin1(std::string_view in) { return decode_header_words(in, "iso-8859-1"); }

// Every decoder is total: damaged input gives a definite result too.
TEST(Decoding, GivesExactBytesForGoodAndDamagedInput) {
  const auto unb64 = Apply<base64_decode>;
  const auto unqp = Apply<qp_decode>;
  const struct {
    std::string (*decode)(std::string_view);
    std::string in, out;
  } kCases[] = {
      {unb64, "SGVs\r\n bG8=\r\n", "Hello"}, {unb64, "SG!Vs#bG8=", "Hello"},
      {unb64, "SGVs=bG8=", "Hel"},  // data after a pad is ignored
      {unb64, "SGV", "He"},  {unb64, "@@@@", ""},
      {unb64, "QUJDREVGR0hJSktMTU5PUFFS\r\nU1RVVldY", "ABCDEFGHIJKLMNOPQRSTUVWX"},
      {unb64, "QUJD\nREVGR0hJSktMTU5PUFFSU1RV", "ABCDEFGHIJKLMNOPQRSTU"},
      {unqp, "caf=E9 au =\r\nlait", "caf\xe9 au lait"},
      {unqp, "line one   \r\nline two\t\n", "line one\r\nline two\n"},  // trailing blanks dropped
      {unqp, "a=z4 b=4", "a=z4 b=4"},  {unqp, "lower=ab\rx", "lower\xab\rx"},
      {unqp, "so=  \nft", "soft"},  {unqp, "end=  ", "end"},
      {Words, "=?iso-8859-1?Q?Gr=FC=DFe?=", "Gr\xc3\xbc\xc3\x9f" "e"},
      {Words, "=?utf-8?q?a?= \t=?utf-8?q?b?=", "ab"},  // blanks between words vanish
      {Words, "=?utf-8?q?a_b?= c", "a b c"},  {Words, "x =?UTF-8?b?YQ==?= y", "x a y"},
      {Words, "=?utf-8*en?q?en?=", "en"},    {Words, "=?utf-8?q?open", "=?utf-8?q?open"},
      {Words, "=?utf-8?x?abc?= =?utf-8?q?a b?=", "=?utf-8?x?abc?= =?utf-8?q?a b?="},
      {WordsOrLatin1, "caf\xe9 =?utf-8?q?x?=", "caf\xc3\xa9 x"},
      {decode_rfc2231_value, "iso-8859-1'de'Gr%FC%DFe", "Gr\xc3\xbc\xc3\x9f" "e"},
      {decode_rfc2231_value, "%C3%A9t%e9 100%", "\xc3\xa9t\xef\xbf\xbd 100%"},
  };
  for (const auto& c : kCases) EXPECT_EQ(c.out, c.decode(c.in)) << "input: " << c.in;
}

TEST(Encoding, WritesExactLinesAndEscapes) {
  EXPECT_EQ("YQ==\r\nYWI=\r\n", Apply<base64_encode>("a") + Apply<base64_encode>("ab"));
  EXPECT_EQ(std::string(76, 'A') + "\r\nAA==\r\n", Apply<base64_encode>(std::string(58, '\0')));
  EXPECT_EQ("a=3Db=20\r\n=2Ex\r\n=46rom y\tz =09", Qp("a=b \r\n.x\r\nFrom y\tz \t"));
  EXPECT_EQ("a\r\nb=0D" + std::string(71, 'x') + "=\r\nxxxx", Qp("a\nb\r" + std::string(75, 'x')));
  EXPECT_EQ(std::string(74, 'x') + "=\r\n=FF", Qp(std::string(74, 'x') + "\xff"));  // escapes stay whole
  EXPECT_EQ("=00=0D=0A", Qp(std::string("\0\r\n", 3), false));
  EXPECT_EQ("=?utf-8?B?R3LDvMOfZQ==?= an alle", encode_header_words("Gr\xc3\xbc\xc3\x9f" "e an alle"));
  EXPECT_EQ("=?utf-8?B?w6kgw6k=?= x", encode_header_words("\xc3\xa9 \xc3\xa9 x"));  // one word per run
}

TEST(Encoding, RoundTripsThroughDecoding) {
  std::string all;
  for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
  for (size_t n = 0; n < 200; ++n) {
    const std::string in = all.substr(0, n) + all.substr(256 - n % 7);
    EXPECT_EQ(in, Apply<base64_decode>(Apply<base64_encode>(in))) << n;
    EXPECT_EQ(in, Apply<qp_decode>(Qp(in, false))) << n;
  }
  const std::string text = "Gr\xfc\xdf" "e = 100%\r\n" + std::string(200, 'x') + "\r\ntrailing \r\n.dot\r\nFrom me";
  EXPECT_EQ(text, Apply<qp_decode>(Qp(text)));
  for (const std::string& s : {std::string("\xe2\x82\xac \xe2\x82\xac mixed words \xc3\xa9t\xc3\xa9"),
                               std::string(120, 'a') + " \xc3\xa9" + std::string(100, 'z') + "\xc3\xa9",
                               std::string(44, 'a') + "\xc3\xa9\xc3\xa9" + std::string(200, 'z') + " \xe2\x82\xac"}) {
    const std::string enc = encode_header_words(s);
    EXPECT_TRUE(is_ascii(enc)) << enc;
    EXPECT_EQ(s, decode_header_words(enc)) << enc;
    for (size_t at = 0, end; at < enc.size(); at = end + 1) {
      end = std::min(enc.find(' ', at), enc.size());
      EXPECT_TRUE(enc.compare(at, 2, "=?") != 0 || end - at <= 75) << enc;  // encoded words stay short
    }
  }
}

TEST(Charsets, ConvertDeclaredCharsetsToUtf8) {
  const char* const kCases[][3] = {  // bytes, label, UTF-8
      {"\x80", "windows-1252", "\xe2\x82\xac"}, {"\xa4", "ISO-8859-15", "\xe2\x82\xac"},
      {"\xb3", "iso8859-2", "\xc5\x82"},        {"\xf6", "koi8-r", "\xd0\x96"},
      {"\xe9", " \"cp1252\" ", "\xc3\xa9"},     {"\xa4", "iso8859-15:1998", "\xe2\x82\xac"},
      {"\xc3\xa9", "x-made-up", "\xc3\xa9"},  // unknown labels: UTF-8 when it is UTF-8...
      {"\xe9", "x-made-up", "\xc3\xa9"},      // ...else windows-1252
      {"\x80", "us-ascii", "\xe2\x82\xac"},     {"\xc3\xa9", "us-ascii", "\xc3\xa9"},
      {"\xed\xa0\x80", "utf-8", "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"},  // a surrogate is not UTF-8
      {"\xe0\x80\xaf", "utf8", "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"},  // nor an overlong form
  };
  for (const auto& c : kCases) EXPECT_EQ(c[2], charset_to_utf8(c[0], c[1])) << c[1];
  EXPECT_EQ("windows-1251|windows-1250||", canonical_charset("windows1251") + "|" + canonical_charset("x-cp1250") +
                                                "|" + canonical_charset("x-unknown") + "|" + canonical_charset("iso-8859-99"));
}

TEST(Charsets, EncodeOnlyWhatTheCharsetCanHold) {
  const char* const kCases[][3] = {  // UTF-8, label, bytes (nullptr: cannot)
      {"caf\xc3\xa9", "iso-8859-1", "caf\xe9"}, {"\xe2\x82\xac", "windows-1252", "\x80"},
      {"\xc3\xa9", "UTF8", "\xc3\xa9"},         {"ascii", "us-ascii", "ascii"},
      {"\xe2\x82\xac", "iso-8859-1", nullptr},  {"\xc3\xa9", "us-ascii", nullptr},
      {"\xff", "utf-8", nullptr},               {"\xff", "iso-8859-1", nullptr},
      {"x", "no-such-charset", nullptr},
  };
  std::string out = "stale";
  for (const auto& c : kCases) {
    EXPECT_EQ(c[2] != nullptr, utf8_to_charset(c[0], c[1], &out)) << c[0] << " in " << c[1];
    EXPECT_EQ(c[2] ? c[2] : out, out) << c[0] << " in " << c[1];
  }
}

TEST(Charsets, Utf16RoundTripKeepsSurrogatesAndRepairsBadInput) {
  const std::string s = "a\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80";
  EXPECT_EQ(u"a\u00e9\u20ac\U0001F600", utf8_to_utf16(s));
  const std::u16string edges = u"\u007f\u0080\u07ff\u0800\uffff\U00010000\U0010FFFF";
  const std::string edges8 = "\x7f\xc2\x80\xdf\xbf\xe0\xa0\x80\xef\xbf\xbf\xf0\x90\x80\x80\xf4\x8f\xbf\xbf";
  EXPECT_EQ(edges8, utf16_to_utf8(edges));
  EXPECT_EQ(edges, utf8_to_utf16(edges8));
  EXPECT_EQ(u"\xFFFD" u"a\xFFFD\xFFFD\xFFFD", utf8_to_utf16("\xc3" "a\xf0\x9f\x98"));
  EXPECT_EQ("\xef\xbf\xbd" "a\xef\xbf\xbd", utf16_to_utf8(u"\xD800" u"a\xDC00"));
  EXPECT_TRUE(is_ascii("0123456789abcdef~"));
  EXPECT_FALSE(is_ascii("0123456789abcdef\x80"));  // past the 8-byte words
}

}  // namespace
