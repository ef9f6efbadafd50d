// The text-level rules below the message tree: transfer codecs, every charset that mail declares
// (in bodies, encoded words and RFC 2231 parameters), header fields and their lookups, structured
// values, and the summary a store keeps of a message (display fields, dates).
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "mimeengine/charset.h"
#include "mimeengine/codec.h"
#include "mimeengine/header.h"
#include "mimeengine/mail_time.h"
#include "mimeengine/summary.h"

using namespace mimeengine;
using namespace std::string_literals;

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
std::string Uu(std::string_view in) {
  std::string out, name = "stale";
  uu_decode(in, &out, &name);
  return out + "|" + name;
}

// Every decoder is total: damaged input gives a definite result too.
TEST(Decoding, GivesExactBytesForGoodAndDamagedInput) {
  const auto unb64 = Apply<base64_decode>;
  const auto unqp = Apply<qp_decode>;
  const struct {
    std::string (*decode)(std::string_view);
    std::string in, out;
  } kCases[] = {
      {unb64, "SGVs\r\n bG8=\r\n", "Hello"}, {unb64, "SG!Vs#bG8=", "Hello"}, {unb64, "SGV", "He"}, {unb64, "@@@@", ""},
      {unb64, "SGVs=bG8=", "Hel"},  // data after a pad is ignored
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
      {decode_rfc2231_value, "iso-8859-1'de'Gr%FC%DFe", "Gr\xc3\xbc\xc3\x9f" "e"},
      {decode_rfc2231_value, "%C3%A9t%e9 100%", "\xc3\xa9t\xef\xbf\xbd 100%"},
      // uuencode: lines before "begin" skipped, a short or damaged line keeps its whole groups and
      // the lines after it still count, and without "end" or "begin" the lines decode all the same.
      {Uu, "text\r\nbegin 644 my file.png\r\n#86)C\r\n`\r\nend\r\n#86)C\r\n", "abc|my file.png"},
      {Uu, "begin 600 x\n&86)C86)C\n#86)a\n$86)C\n", "abcabcababc|x"},
      {Uu, "#86)C\n", "abc|"},
  };
  for (const auto& c : kCases) EXPECT_EQ(c.out, c.decode(c.in)) << "input: " << c.in;
  EXPECT_EQ("caf\xc3\xa9 x", decode_header_words("caf\xe9 =?utf-8?q?x?=", "iso-8859-1"));
}

TEST(Encoding, WritesExactLinesAndEscapes) {
  EXPECT_EQ("YQ==\r\nYWI=\r\n", Apply<base64_encode>("a") + Apply<base64_encode>("ab"));
  EXPECT_EQ(std::string(76, 'A') + "\r\nAA==\r\n", Apply<base64_encode>(std::string(58, '\0')));
  EXPECT_EQ("!~a=3Db=20\r\n=2Ex\r\n=46rom y\tz =09", Qp("!~a=b \r\n.x\r\nFrom y\tz \t"));
  EXPECT_EQ("a\r\nb=0D" + std::string(71, 'x') + "=\r\nxxxx", Qp("a\nb\r" + std::string(75, 'x')));
  EXPECT_EQ(std::string(74, 'x') + "=\r\n=FF", Qp(std::string(74, 'x') + "\xff"));  // escapes stay whole
  EXPECT_EQ("=00=0D=0A", Qp(std::string("\0\r\n", 3), false));
  EXPECT_EQ("=?utf-8?B?R3LDvMOfZQ==?= an alle", encode_header_words("Gr\xc3\xbc\xc3\x9f" "e an alle"));
  EXPECT_EQ("=?utf-8?B?w6kgw6k=?= x", encode_header_words("\xc3\xa9 \xc3\xa9 x"));  // one word per run
}

TEST(Encoding, RoundTripsThroughDecoding) {
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

TEST(Charsets, Utf16RoundTripKeepsSurrogatesAndRepairsBadInput) {
  const std::string s = "a\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80";
  EXPECT_EQ(u"a\u00e9\u20ac\U0001F600", utf8_to_utf16(s));
  const std::u16string edges = u"\u007f\u0080\u07ff\u0800\uffff\U00010000\U0010FFFF";
  const std::string edges8 = "\x7f\xc2\x80\xdf\xbf\xe0\xa0\x80\xef\xbf\xbf\xf0\x90\x80\x80\xf4\x8f\xbf\xbf";
  EXPECT_EQ(edges8, utf16_to_utf8(edges));
  EXPECT_EQ(edges, utf8_to_utf16(edges8));
  EXPECT_EQ(u"\xFFFD" u"a\xFFFD\xFFFD\xFFFD", utf8_to_utf16("\xc3" "a\xf0\x9f\x98"));
  EXPECT_EQ("\xef\xbf\xbd" "a\xef\xbf\xbd", utf16_to_utf8(u"\xD800" u"a\xDC00"));
  EXPECT_EQ(std::make_pair(true, false), std::make_pair(is_ascii("0123456789abcdef~"),
                                                      is_ascii("0123456789abcdef\x80")));  // past the 8-byte words
}

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
      "format=flowed; format=fixed; noequals; x*1=b; x*0=a; y=plain; y*=''%41; z=\"a;\\\"b\"");
  std::vector<std::string> params;
  for (const char* name : {"CHARSET", "name", "format", "x", "y", "z", "noequals"})
    params.push_back(ct.Param(name) ? *ct.Param(name) : "<none>");
  // The first of repeated parameters counts, sections join in numeric order, the extended form wins.
  EXPECT_EQ((std::vector<std::string>{"iso-8859-1", "\xc3\xa9te.txt", "flowed", "ab", "A", "a;\"b", "<none>"}), params);
  EXPECT_EQ("text/plain", ct.value());
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

TEST(Summary, ReadsDisplayFieldsFromTheTopHeaderOnly) {
  const auto s = summarize(
      "From: =?iso-8859-1?q?J=F6rg?= <j@x.de>, second@x\r\n"
      "To: \"Doe, \\\"J\\\"\" <a@b>, c@d (Carl) (Jr), Team (grp): g@h, i@j;, <>, Name Only, e@f junk <x>\r\n"
      "Subject: Re: FWD: =?utf-8?B?SGVsbG8=?=\r\n =?utf-8?Q?_W=C3=B6rld?=\r\n"
      "X-MSMail-Priority: Low\r\n"
      "Date: Thu, 1 Jan 1970 01:00:00 +0100\r\n"
      "\r\n"
      "Subject: not this one\r\n");
  const auto fields = [](const MessageSummary& s) {
    return std::make_tuple(s.subject, s.normalized_subject, s.display_to, s.display_from, s.priority, s.has_date,
                           s.sent_time);
  };
  EXPECT_EQ(std::make_tuple(std::string("Re: FWD: Hello W\xc3\xb6rld"), std::string("Hello W\xc3\xb6rld"),
                            std::string("Doe, \"J\"; Carl Jr; g@h; i@j; Name Only; e@f junk"),
                            std::string("J\xc3\xb6rg; second@x"), 5, true, int64_t{0}),
            fields(s));
  EXPECT_EQ("bare@x", summarize("From: bare@x\r\n\r\n").display_from);
  EXPECT_EQ("b@x", summarize("From: <>, b@x\r\n\r\n").display_from);  // the null sender shows nothing
  for (const char* src : {"", "\r\n\r\n", "garbage without header", "From:\r\nDate: yesterday\r\n\r\n"})
    EXPECT_EQ(fields(MessageSummary()), fields(summarize(src))) << src;
}

TEST(Summary, NormalisesSubjectsAndReadsPriorities) {
  const char* const kSubjects[][2] = {{"re: Fw: RE : fwd:\ttopic ", "topic"}, {"Report: done", "Report: done"},
                                      {"Regarding", "Regarding"}, {"Re:", ""}, {"Fwd", "Fwd"}, {"Re Fw", "Re Fw"}};
  for (const auto& c : kSubjects) EXPECT_EQ(c[1], normalize_subject(c[0])) << c[0];
  const struct {
    const char *x_priority, *x_msmail, *importance;
    int priority;
  } kPriorities[] = {
      {"1 (Highest)", "low", "", 1}, {"2", "", "", 1},   {" 3", "high", "", 3},      {"4", "", "", 5},
      {"5", "", "", 5},              {"", "High", "low", 1}, {"", "", "low", 5},       {"", "", "Urgent", 1},
      {"", "Non-Urgent", "", 5},     {"", "normal", "high", 3}, {"x", "", "whatever", 3},
  };
  for (const auto& c : kPriorities)
    EXPECT_EQ(c.priority, priority_from_fields(c.x_priority, c.x_msmail, c.importance)) << c.x_priority << c.x_msmail;
}

TEST(Dates, ParseZonesAndObsoleteFormsAndRejectNonsense) {
  const struct {
    const char* text;
    int64_t seconds;  // -1: rejected
  } kCases[] = {
      {"Tue, 1 Jul 2003 10:52:37 +0200", 1057049557},        {"1 Jul 03 08:52 GMT", 1057049520},
      {"Tue, 01 Jul 2003 04:52:37 (comment) EDT", 1057049557}, {"1 July 103 10:52:37 -02", 1057063957},
      {"29 Feb 2000 00:00:00 -0000", 951782400},              {"1 Mar 1950 00:00 UT", -626054400},
      {"31 Dec 49 23:59:60 PST", 2524636800},                 {"not a date", -1},
      {"Tue, 1 Jul 2003", 1057017600},                        {"1 Jul 2003 10:52:37 +02:00", 1057049557},
      {"1 Jul 2003 10:52:37 +0200 (CEST) ", 1057049557},                        {"29 Feb 2003 10:00", -1},
      {"31 Apr 2003 10:00 +0000", -1},                        {"1 Jan 2003 10:00 +0000 x", -1},
      {"32 Jan 2003 10:00:00 +0000", -1},                     {"1 Jan 2003 24:00:00", -1},
      {"1 Foo 2003", -1},                                     {"1 Jan", -1},
  };
  for (const auto& c : kCases) {
    int64_t t = -1;
    EXPECT_EQ(c.seconds != -1, parse_date(c.text, &t)) << c.text;
    EXPECT_EQ(c.seconds, t) << c.text;
  }
}

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
  // A character cut between two words of one charset, then a change of charset.
  EXPECT_EQ(kNihon + " x", decode_header_words("=?shift_jis?Q?=93?= =?SHIFT_JIS?Q?=FA?=\t=?utf-8?Q?=E6=9C=AC?= x"));
  const StructuredValue sv = StructuredValue::Parse(
      "attachment; filename*0*=shift_jis''%93%FA; filename*1*=%96%7B; title*=iso-2022-jp'ja'%1B%24BF%7CK%5C%1B%28B");
  EXPECT_EQ(kNihon + kNihon, *sv.Param("filename") + *sv.Param("title"));
}

// Each field's name and what a lookup of that name in the other case finds (the first field of
// the name wins, whatever its case), then whether each of `gone` is still found.
std::string Lookups(const Header& h, std::string_view gone = "") {
  std::string out;
  for (const auto& f : h.fields()) {
    std::string other = f.name;
    for (char& c : other) c = static_cast<char>(c ^ 0x20);
    out += f.name + "=" + h.Get(other) + " ";
  }
  for (char g : gone) out += h.Find(std::string(1, g)) ? "+" : "-";
  return out;
}

bool StartsWithC(std::string_view name) { return !name.empty() && (name[0] == 'C' || name[0] == 'c'); }

// A change never leaves a lookup pointing at a field that moved or went away.
TEST(HeaderLookup, FirstOfANameWinsAcrossEveryChange) {
  Header h;
  Header::Parse("A: 1\r\nB: 2\r\na: 3\r\nC: 4\r\nb: 5\r\n\r\n", &h);
  EXPECT_EQ("A=1 B=2 a=1 C=4 b=2 ", Lookups(h));
  h.Set("a", "x");  // drops the later "a", moving C and b forward
  EXPECT_EQ("A=x B=2 C=4 b=2 ", Lookups(h));
  h.Set("C", "5");  // the only one of its name: changed where it stands
  EXPECT_EQ("A=x B=2 C=5 b=2 ", Lookups(h));
  EXPECT_TRUE(h.Remove("b"));
  EXPECT_FALSE(h.Remove("B"));
  EXPECT_EQ("A=x C=5 -", Lookups(h, "B"));
  h.Set("b", "new");
  h.Set("B", "newer");  // found again in its new place, not appended twice
  EXPECT_EQ("A=x C=5 b=newer ", Lookups(h));
  const auto taken = h.Take(StartsWithC);
  ASSERT_EQ(1u, taken.size());
  EXPECT_EQ("A=x b=newer -", Lookups(h, "c"));
  h.Append(taken[0]);
  h.Append(HeaderField{"c", " 6", true});
  EXPECT_EQ("A=x b=newer C=5 c=5 ", Lookups(h));
  bool found = true;
  EXPECT_EQ("", h.Get("D", &found));
  EXPECT_FALSE(found);
  Header::Parse("Z: 1\r\n\r\n", &h);  // a new parse forgets the old fields
  EXPECT_EQ("Z=1 -", Lookups(h, "A"));
}

}  // namespace
