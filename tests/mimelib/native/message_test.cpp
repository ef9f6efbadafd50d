#include <gtest/gtest.h>

#include <array>
#include <tuple>
#include <utility>
#include <string>
#include <vector>

#include "mimeengine/message.h"
#include "mimeengine/property_registry.h"
#include "mimeengine/summary.h"

using namespace mimeengine;

namespace {

// The tree in pre-order: depth, subtype and decoded content of leaves.
std::string Describe(const Message& m) {
  std::string out, content;
  for (BodyHandle h = m.FindNext(kNoBody, {}, {}); h != kNoBody; h = m.FindNext(h, {}, {})) {
    int depth = 0;
    for (BodyHandle p = h, q; m.GetBody(Location::kParent, p, &q) == Status::kOk; p = q) ++depth;
    const bool leaf = !m.IsMultipart(h) && m.CountBodies(h, false) == 0;
    out += std::string(static_cast<size_t>(depth) * 2, ' ') + m.SubType(h) +
           (leaf && m.GetContent(h, &content) == Status::kOk ? " [" + content + "]\n" : "\n");
  }
  return out;
}

BodyHandle Nth(const Message& m, int n) {
  BodyHandle h = kNoBody;
  for (int i = 0; i <= n; ++i) h = m.FindNext(h, {}, {});
  return h;
}

// "" for kOk, else "!" and what went wrong.
std::string Outcome(Status s) {
  static const char* const kNames[] = {"", "!not found", "!invalid handle", "!invalid", "!read-only", "!too deep"};
  return kNames[static_cast<int>(s)];
}

// A property's value, or its Outcome (followed by whatever GetProp left in the value).
std::string Prop(const Message& m, BodyHandle h, std::string_view name) {
  std::string v = "stale";
  const Status s = m.GetProp(h, name, &v);
  return s == Status::kOk ? v : Outcome(s) + v;
}

const char* const kSamples[] = {
    // Nested multiparts with a preamble, an epilogue and two encodings.
    "From: a@b\r\nSubject: s\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"o\"\r\n\r\n"
    "preamble\r\n--o\r\nContent-Type: multipart/alternative; boundary=\"i\"\r\n\r\n--i\r\n"
    "Content-Type: text/plain; charset=iso-8859-1\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"
    "caf=E9=\r\n au lait\r\n--i\r\nContent-Type: text/html\r\n\r\n<b>x</b>\r\n--i--\r\n--o\r\n"
    "Content-Type: image/gif; name=x.gif\r\nContent-Transfer-Encoding: base64\r\n\r\nR0lGODlhAQABAAAAACw=\r\n"
    "--o--\r\nepilogue\r\n",
    // Bare LF line ends, a delimiter with trailing blanks, a longer boundary and no closing one.
    "Subject: lf\nContent-Type: multipart/mixed; boundary=zz\n\n--zz \n\nfirst\n--zzz\n--zz\nContent-Type: "
    "text/html\n\n<i>2</i>\n",
    // A digest whose parts default to message/rfc822, and a message/rfc822 attachment.
    "Content-Type: multipart/digest; boundary=d\r\n\r\n--d\r\n\r\nSubject: one\r\n\r\nbody one\r\n--d\r\n"
    "Content-Type: message/rfc822\r\n\r\nSubject: two\r\nContent-Type: text/plain\r\n\r\nbody two\r\n--d--\r\n",
    // Boundaries that are prefixes of each other.
    "Content-Type: multipart/mixed; boundary=ab\r\n\r\n--ab\r\nContent-Type: multipart/mixed; boundary=abc\r\n\r\n"
    "--abc\r\n\r\ninner\r\n--abc--\r\n--ab\r\n\r\nouter\r\n--ab--\r\n",
    // No header at all, and 8-bit header bytes.
    "just a body\r\nwith two lines\r\n",
    "Subject: caf\xe9\r\nFrom: J\xf6rg <j@x>\r\n\r\n8-bit \xff body\r\n",
};

TEST(RoundTrip, UnchangedBytesStayAndChangesParseBackToTheSameTree) {
  for (const char* s : kSamples) {
    SCOPED_TRACE(s);
    Message m, again;
    m.Load(s);
    EXPECT_EQ(std::make_pair(false, std::string(s)), std::make_pair(m.IsDirty(), m.Serialize()));
    // Change a leaf, a header, and the structure.
    BodyHandle leaf = kNoBody, att = kNoBody;
    for (BodyHandle h = m.FindNext(kNoBody, "text", {}); h != kNoBody; h = m.FindNext(h, "text", {})) leaf = h;
    m.SetText(leaf, "Gr\xc3\xbc\xc3\x9f" "e\r\n\xe2\x82\xac 5\r\n", {}, {});
    ASSERT_EQ(Status::kOk, m.SetProp(m.root(), "X-Changed", "yes \xc3\xa9"));
    ASSERT_EQ(Status::kOk, m.AttachFile("photo.jpg", std::string("\xff\xd8\xff\0\x01", 5), &att));
    const std::string before = Describe(m), serialized = m.Serialize();
    m.Commit();
    EXPECT_EQ(std::make_tuple(serialized, false, before), std::make_tuple(m.source(), m.IsDirty(), Describe(m)));
    again.Load(serialized);
    EXPECT_EQ(std::make_tuple(before, std::string("yes \xc3\xa9"), serialized),
              std::make_tuple(Describe(again), Prop(again, again.root(), "X-Changed"), again.Serialize()));
  }
  Message m, again;  // text that holds a delimiter line gets its multiparts new boundaries
  m.Load(kSamples[3]);
  ASSERT_EQ(Status::kOk, m.SetText(m.FindNext(kNoBody, "text", {}), "--ab\r\n--abc--\r\n", {}, {}));
  again.Load(m.Serialize());
  EXPECT_EQ("mixed\n  mixed\n    plain [--ab\r\n--abc--\r\n]\n  plain [outer]\n", Describe(again));
  m.Load(kSamples[0]);  // only the top header declares MIME, also when a part's header is rewritten
  ASSERT_EQ(Status::kOk, m.SetProp(m.FindNext(kNoBody, "text", "html"), "X-A", "1"));
  EXPECT_EQ(m.Serialize().find("MIME-Version"), m.Serialize().rfind("MIME-Version")) << m.Serialize();
  m.Load(kSamples[0]);  // bodies nothing changed keep their bytes
  ASSERT_EQ(Status::kOk, m.SetContent(m.FindNext(kNoBody, "text", "html"), "<p>new</p>", {}, {}));
  EXPECT_NE(std::string::npos, m.Serialize().find("preamble\r\n--o\r\nContent-Type: multipart/alternative; boundary="
                                                  "\"i\"\r\n\r\n--i\r\nContent-Type: text/plain; charset=iso-8859-1"));
  EXPECT_NE(std::string::npos, m.Serialize().find("text/html\r\n\r\n<p>new</p>\r\n--i--\r\n\r\n--o\r\n"
                                                  "Content-Type: image/gif; name=x.gif\r\nContent-Transfer-Encoding: "
                                                  "base64\r\n\r\nR0lGODlhAQABAAAAACw=\r\n--o--\r\nepilogue\r\n"));
}

TEST(RoundTrip, ChangedContentGetsAFittingTransferEncoding) {
  const struct {
    const char* type;
    std::string content;
    const char* encoding;
  } kCases[] = {
      {"text/plain", "ascii\r\nlines", "!not found"}, {"text/plain", "caf\xc3\xa9 au lait\r\n", "quoted-printable"},
      {"text/plain", "\x80", "base64"},               {"text/plain", "bare\nLF \xc3\xa9", "base64"},
      {"text/plain", "bare\rCR", "base64"},          {"text/plain", std::string("nul\0", 4), "quoted-printable"},
      {"text/plain", "ascii with\nbare LF\n", "base64"},  // a file attached from Unix
      {"text/plain", std::string(998, 'x'), "!not found"}, {"text/plain", std::string(999, 'x'), "quoted-printable"},
      {"image/png", "ascii", "base64"},  {"message/rfc822", "S: \xc3\xa9\n\nx", "8bit"},
      {"message/rfc822", "S: x\n\nx", "!not found"},
  };
  for (const auto& c : kCases) {
    Message built, again;
    std::string back;
    built.SetProp(built.root(), "Content-Type", c.type);
    built.SetContent(built.root(), c.content, {}, {});
    again.Load(built.Serialize());
    again.GetContent(again.root(), &back);
    EXPECT_EQ(std::make_pair(std::string(c.encoding), c.content),
              std::make_pair(Prop(again, again.root(), "Content-Transfer-Encoding"), back));
  }
}

TEST(Parsing, ToleratesRealWorldDamage) {
  const char* const kCases[][2] = {
      {kSamples[1], "mixed\n  plain [first\n--zzz]\n  html [<i>2</i>\n]\n"},
      {kSamples[2], "digest\n  rfc822\n    plain [body one]\n  rfc822\n    plain [body two]\n"},
      {kSamples[3], "mixed\n  mixed\n    plain [inner]\n  plain [outer]\n"},
      // An attached message in base64 is decoded and parsed as a sub-tree.
      {"Content-Type: message/rfc822\r\nContent-Transfer-Encoding: base64\r\n\r\nU3ViamVjdDogaW5uZXINCg0KaGk=\r\n",
       "rfc822\n  plain [hi]\n"},
      // A multipart without a boundary and an unknown message type stay leaves; a broken type is the default.
      {"Content-Type: multipart/mixed\r\n\r\n--x\r\nbody\r\n", "mixed [--x\r\nbody\r\n]\n"},
      {"Content-Type: multipart/mixed; boundary=x\r\n\r\nno parts\r\n", "mixed\n"},
      {"Content-Type: message/partial\r\n\r\nSubject: x\r\n\r\ny", "partial [Subject: x\r\n\r\ny]\n"},
      {"Content-Type: /html\r\n\r\nx", "plain [x]\n"},
      // Header damage: an mbox "From " line, stray lines, no header at all, no body at all.
      {"From a Tue Jul  1\r\nContent-Type: text/html\r\n\r\nb", "html [b]\n"},
      {"A: 1\r\nno colon\r\n more\r\nContent-Type : text/html\r\n\r\nb", "html [b]\n"},
      {":no field\r\nA: 1\r\n\r\nb", "plain [:no field\r\nA: 1\r\n\r\nb]\n"},
      {"Content-Type: text/html\nX: 1\n\tfolded", "html []\n"},
      // A header that runs into its text without an empty line keeps the text as body.
      {"Subject: s\r\nHello there\r\nsecond line", "plain [Hello there\r\nsecond line]\n"},
      {"Subject: s\nHello\n\nNote: not a field", "plain [Hello\n\nNote: not a field]\n"},
      {"From someone\r\nHi", "plain [Hi]\n"},
      {"Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\nContent-Type: text/plain\r\nSubject: s\r\nHi\r\n--b--",
       "mixed\n  plain [Hi]\n"},
      // Delimiter lines with nothing between them make no part; a part of only an empty line does.
      {"Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n--b\n--b\r\n\r\nreal\r\n--b\r\n--b--",
       "mixed\n  plain [real]\n"},
      {"Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n\r\n--b\r\n\r\nreal\r\n--b--",
       "mixed\n  plain []\n  plain [real]\n"},
  };
  for (const auto& c : kCases) {
    Message m;
    m.Load(c[0]);
    EXPECT_EQ(c[1], Describe(m)) << c[0];
  }
  // A search by type passes over a part of only an empty line, but not over a typed one.
  for (const auto& [type, first] : {std::pair{"", "real"}, std::pair{"Content-Type: text/plain\r\n", ""}}) {
    Message m;
    m.Load(std::string("Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n") + type +
           "\r\n--b\r\n\r\nreal\r\n--b--");
    std::string content = "stale";
    m.GetContent(m.FindNext(kNoBody, "text", "plain"), &content);
    EXPECT_EQ(first, content) << type;
  }
  Message lone;  // but a multipart's only part, blank as it is, is its (empty) text
  lone.Load("Content-Type: multipart/mixed; boundary=B\r\n\r\n--B\r\n\r\n\r\n--B--\r\n");
  EXPECT_EQ(Nth(lone, 1), lone.FindNext(kNoBody, "text", "plain"));
  Message edited;  // a changed header is closed by an empty line before the text
  edited.Load("Subject: s\r\nHello there\r\n");
  ASSERT_EQ(Status::kOk, edited.SetProp(edited.root(), "Subject", "t"));
  EXPECT_EQ("Subject: t\r\n\r\nHello there\r\n", edited.Serialize());
}

TEST(Text, IsReadInItsCharsetAndStoredInOneThatHoldsIt) {
  Message m;
  m.Load("Content-Type: text/plain; charset=iso-8859-2\r\n\r\n\xb3\xf3\x64\xbc");
  std::string text, bytes;
  EXPECT_EQ(Status::kOk, m.GetText(m.root(), &text));
  EXPECT_EQ("\xc5\x82\xc3\xb3" "d\xc5\xba", text);
  ASSERT_EQ(Status::kOk, m.SetText(m.root(), "\xc5\x82\xc3\xb3" "d", {}, {}));
  m.GetContent(m.root(), &bytes);
  EXPECT_EQ("\xb3\xf3" "d", bytes);
  ASSERT_EQ(Status::kOk, m.SetText(m.root(), "\xe2\x82\xac", {}, {}));
  EXPECT_EQ("utf-8", Prop(m, m.root(), "par:content-type:charset"));
  ASSERT_EQ(Status::kOk, m.SetContent(m.root(), "\xe9", "image", "png"));  // other bodies: bytes as they are
  EXPECT_EQ("!not found", Prop(m, m.root(), "par:content-type:charset"));
  EXPECT_EQ(Status::kOk, m.GetText(m.root(), &text));
  EXPECT_EQ("\xe9", text);
  EXPECT_EQ(Status::kInvalidArg, m.SetContent(m.root(), "", "Multipart", "mixed"));
}

// A tree of five bodies: 0 mixed (Subject: keep), 1 alternative, 2 "one", 3 "two", 4 "three".
const char kTree[] =
    "Subject: keep\r\nContent-Type: multipart/mixed; boundary=a\r\n\r\n--a\r\nContent-Type: multipart/alternative;"
    " boundary=b\r\n\r\n--b\r\n\r\none\r\n--b\r\n\r\ntwo\r\n--b--\r\n--a\r\n\r\nthree\r\n--a--\r\n";

TEST(Tree, InsertsAndDeletesReshapeIt) {
  const struct {
    int at;
    bool insert;
    int how;  // a Location to insert at, or DeleteBody flags
    const char *outcome, *tree;
  } kCases[] = {
      {1, false, kDeletePromoteChildren, "", "mixed\n  plain [one]\n  plain [two]\n  plain [three]\n"},
      {1, false, kDeleteChildrenOnly, "", "mixed\n  alternative\n  plain [three]\n"},
      {1, false, 0, "", "mixed\n  plain [three]\n"},
      {0, false, kDeletePromoteChildren, "!invalid", ""},  // the root has two children
      {0, false, 3, "!invalid", ""},
      {0, false, 0, "", "plain []\n"},  // the root empties
      {2, true, static_cast<int>(Location::kNext), "", "mixed\n  alternative\n    plain [one]\n    plain []\n"
                                                       "    plain [two]\n  plain [three]\n"},
      {4, true, static_cast<int>(Location::kFirst), "", "mixed\n  alternative\n    plain [one]\n    plain [two]\n"
                                                        "  mixed\n    plain []\n    plain [three]\n"},
      {0, true, static_cast<int>(Location::kPrevious), "!invalid", ""},
      {0, true, static_cast<int>(Location::kRoot), "!invalid", ""},
  };
  Message m, twin;
  m.Load(kTree);
  twin.Load(kTree);
  for (int i = 0; i < 5; ++i) EXPECT_FALSE(twin.IsValid(Nth(m, i))) << "another message's handle names nothing";
  BodyHandle old_root = kNoBody;
  for (const auto& c : kCases) {
    m.Load(kTree);
    EXPECT_FALSE(m.IsValid(old_root) || m.IsContentType(old_root, {}, {}));  // handles are never reused
    old_root = m.root();
    const BodyHandle gone = Nth(m, 2);
    BodyHandle added = kNoBody;
    EXPECT_EQ(c.outcome, Outcome(c.insert ? m.InsertBody(static_cast<Location>(c.how), Nth(m, c.at), &added)
                                          : m.DeleteBody(Nth(m, c.at), static_cast<uint32_t>(c.how))));
    if (!*c.tree) continue;
    EXPECT_EQ(c.tree, Describe(m)) << c.at << c.insert << c.how;
    EXPECT_EQ(Describe(m).find("one") != std::string::npos, m.IsValid(gone));
    EXPECT_EQ("keep", Prop(m, m.root(), "Subject"));
  }
}

TEST(Tree, TheOnlyChildTakesTheRootsPlaceAndAnEmptyMessageBecomesMultipart) {
  Message m, empty;
  m.Load("Subject: s\r\nContent-Type: multipart/mixed; boundary=a\r\n\r\n--a\r\nContent-Type: text/html; charset=utf-8"
         "\r\n\r\n<p>x</p>\r\n--a--\r\n");
  ASSERT_EQ(Status::kOk, m.DeleteBody(m.root(), kDeletePromoteChildren));
  EXPECT_EQ("html [<p>x</p>]\n", Describe(m));
  EXPECT_EQ("s utf-8", Prop(m, m.root(), "Subject") + " " + Prop(m, m.root(), "par:content-type:charset"));
  BodyHandle added = kNoBody;
  ASSERT_EQ(Status::kOk, empty.InsertBody(Location::kRoot, kNoBody, &added));
  ASSERT_EQ(Status::kOk, empty.InsertBody(Location::kLast, added, &added));
  EXPECT_EQ("mixed\n  plain []\n", Describe(empty));
  EXPECT_EQ("1.0", Prop(empty, empty.root(), "MIME-Version"));
}

TEST(Attachments, AreRecognisedNamedAndAdded) {
  Message m;
  m.Load("Content-Type: multipart/mixed; boundary=q\r\n\r\n--q\r\nContent-Disposition: attachment\r\n\r\n--q\r\n"
         "Content-Type: text/plain; name=a.txt\r\n\r\n--q\r\nContent-Disposition: inline; filename=b\r\n\r\n--q\r\n"
         "Content-Type: image/png\r\nContent-Disposition: inline\r\n\r\n--q\r\nContent-Disposition: inline\r\n\r\n"
         "--q\r\nContent-Type: image/png\r\n\r\n--q\r\n\r\n--q\r\nContent-Type: message/rfc822\r\n\r\n"
         "Subject: Re: a/b?\r\n\r\nx\r\n--q\r\nContent-Type: application/pdf\r\n\r\n--q--\r\n");
  // Display names; '+' marks an attachment.
  const char* const kNames[] = {"attachment.dat", "+attachment.txt", "+a.txt", "+b", "+attachment.png", "attachment.txt",
                                "+attachment.png", "attachment.txt", "+a_b_.eml", "attachment.txt", "+attachment.pdf"};
  for (int i = 0; i < 11; ++i) {
    EXPECT_EQ(kNames[i][0] == '+', m.IsAttachment(Nth(m, i))) << i;
    EXPECT_EQ(kNames[i] + (kNames[i][0] == '+'), m.DisplayName(Nth(m, i))) << i;
  }
  EXPECT_EQ((std::vector<BodyHandle>{Nth(m, 1), Nth(m, 2), Nth(m, 3), Nth(m, 4), Nth(m, 6), Nth(m, 8), Nth(m, 10)}),
            m.GetAttachments());  // an attached message counts once
  ASSERT_EQ(Status::kOk, m.SetDisplayName(Nth(m, 2), "shown"));
  EXPECT_EQ("shown", m.DisplayName(Nth(m, 2)));
  m.Load("Subject: s\r\nContent-Type: multipart/alternative; boundary=q\r\n\r\n--q\r\n\r\ntext\r\n--q--\r\n");
  BodyHandle a = kNoBody, b = kNoBody;
  ASSERT_EQ(Status::kOk, m.AttachFile("report.PDF", "%PDF", &a));
  ASSERT_EQ(Status::kOk, m.AttachFile("noext", "x", &b));
  EXPECT_EQ("mixed\n  alternative\n    plain [text]\n  pdf [%PDF]\n  octet-stream [x]\n", Describe(m));
  EXPECT_NE(std::string::npos, m.Serialize().find("Content-Type: application/pdf; name=report.PDF\r\n"
                                                   "Content-Disposition: attachment; filename=report.PDF\r\n"));
  EXPECT_EQ((std::vector<BodyHandle>{a, b}), m.GetAttachments());
}

TEST(Attachments, UuencodedPartsDecodeAndTakeTheBeginLinesName) {
  Message m;
  m.Load("Content-Type: multipart/mixed; boundary=q\r\n\r\n--q\r\nContent-Type: image/png\r\n"
         "Content-Transfer-Encoding: x-uuencode\r\n\r\nbegin 600 picture.png\r\n#86)C\r\n`\r\nend\r\n--q\r\n"
         "Content-Type: text/plain; name=given.txt\r\nContent-Transfer-Encoding: X-UUE\r\n\r\nbegin 644 other\r\n"
         "#86)C\r\n--q\r\nContent-Transfer-Encoding: uuencode\r\n\r\nbegin 644 notes.txt\r\n#86)C\r\n--q--\r\n");
  for (int i = 1; i <= 3; ++i) {
    std::string content;
    m.GetContent(Nth(m, i), &content);
    EXPECT_EQ("abc", content) << i;
    EXPECT_TRUE(m.IsAttachment(Nth(m, i))) << i;
  }
  EXPECT_EQ("picture.png given.txt notes.txt", m.DisplayName(Nth(m, 1)) + " " + Prop(m, Nth(m, 2), "att:filename") +
                                                   " " + Prop(m, Nth(m, 3), "par:content-disposition:filename"));
  ASSERT_EQ(Status::kOk, m.SetContent(Nth(m, 1), "new", {}, {}));  // changed content is written anew
  Message again;
  again.Load(m.Serialize());
  std::string content;
  again.GetContent(Nth(again, 1), &content);
  EXPECT_EQ("new base64", content + " " + Prop(again, Nth(again, 1), "Content-Transfer-Encoding"));
}

TEST(Attachments, FileNamesShowNoControlCharacters) {
  // Bytes the declared charset cannot read, and controls it names, become U+FFFD.
  const char* const kNames[][2] = {{"filename*=iso-8859-1''a%85b%01.txt", "a\xef\xbf\xbd" "b\xef\xbf\xbd.txt"},
                                   {"filename*=us-ascii''%81x", "\xef\xbf\xbdx"},
                                   {"filename=\"tab\tname\"", "tab\xef\xbf\xbdname"},
                                   {"filename*=utf-8''%C3%A9", "\xc3\xa9"}};
  for (const auto& [param, name] : kNames) {
    Message m;
    m.Load(std::string("Content-Type: application/pdf\r\nContent-Disposition: attachment; ") + param + "\r\n\r\nx");
    EXPECT_EQ(std::string(name) + " " + name, Prop(m, m.root(), "par:content-disposition:filename") + " " +
                                                  m.DisplayName(m.root())) << param;
  }
}

TEST(Properties, RawHeaderBytesReadAlikeInTheSummaryAndTheProperties) {
  // UTF-8 when valid, else the part's declared charset, else windows-1252.
  const char* const kCases[][3] = {
      {"Subject: Gr\xc3\xbc\xc3\x9f" "e\r\nFrom: J\xc3\xb6rg <j@x>\r\nContent-Type: text/plain; charset=iso-8859-1\r\n",
       "Gr\xc3\xbc\xc3\x9f" "e", "J\xc3\xb6rg"},
      {"Subject: \xb3\xf3" "d\xbc\r\nFrom: \xb3\xf3" "d\xbc <l@x>\r\nContent-Type: text/plain; charset=iso-8859-2\r\n",
       "\xc5\x82\xc3\xb3" "d\xc5\xba", "\xc5\x82\xc3\xb3" "d\xc5\xba"},
      {"Subject: caf\xe9 \x80\r\nFrom: caf\xe9 <c@x>\r\nContent-Type: multipart/mixed; boundary=b\r\n",
       "caf\xc3\xa9 \xe2\x82\xac", "caf\xc3\xa9"},
  };
  for (const auto& [header, subject, from] : kCases) {
    const std::string source = std::string(header) + "\r\nbody\r\n";
    Message m;
    m.Load(source);
    const MessageSummary summary = summarize(source);
    EXPECT_EQ(std::string(subject) + "|" + subject + "|" + from,
              summary.subject + "|" + Prop(m, m.root(), "Subject") + "|" + summary.display_from)
        << header;
    EXPECT_EQ(from, Prop(m, m.root(), "From").substr(0, std::string(from).size())) << header;
  }
}

// Steps on the root of one message, in order: '?' reads a property (its value or the Outcome),
// '=' sets one and '-' deletes one (the Outcome); each gives the result in its last column.
::testing::AssertionResult Steps(Message& m, const std::vector<std::array<const char*, 4>>& steps) {
  std::string failures;
  for (const auto& s : steps) {
    const BodyHandle r = m.root();
    const std::string result =
        *s[0] == '?' ? Prop(m, r, s[1]) : Outcome(*s[0] == '=' ? m.SetProp(r, s[1], s[2]) : m.DeleteProp(r, s[1]));
    if (result != s[3]) failures += std::string(s[0]) + " " + s[1] + ": \"" + result + "\", not \"" + s[3] + "\"\n";
  }
  if (failures.empty()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << failures;
}

TEST(Properties, FollowTheRulesOfFieldsParametersAndAttributes) {
  Message m;
  m.Load("Subject: Fwd: =?utf-8?q?caf=C3=A9?=\r\nContent-Type: text/plain; charset=\"iso-8859-2\"; format=flowed\r\n"
         "X-Priority: 5\r\nX-Latin: \xb3\r\nContent-Disposition: inline; filename*=utf-8''a%20b.txt\r\n"
         "X-Mail-Account-Name: Work\r\nReceived: a\r\nreceived: b\r\n\r\nbody");
  EXPECT_TRUE(Steps(m, {{"?", "subject", "", "Fwd: caf\xc3\xa9"},  {"?", "Content-Type", "", "text/plain"},
          {"?", "content-disposition", "", "inline"}, {"?", "X-Latin", "", "\xc5\x82"},  // in the body's charset
          {"?", "Received", "", "a"},  {"?", "X-Missing", "", "!not found"}, {"?", "Bad Name", "", "!invalid"},
          {"?", "X:Y", "", "!invalid"}, {"?", "", "", "!invalid"}, {"?", "par:content-type:format", "", "flowed"},
          {"?", "PAR:Content-Type:CHARSET", "", "iso-8859-2"}, {"?", "par:content-disposition:filename", "", "a b.txt"},
          {"?", "par:content-type:name", "", "!not found"}, {"?", "par:content-type", "", "!invalid"},
          {"?", "par:x-none:p", "", "!not found"},  {"?", "att:filename", "", "a b.txt"},
          {"?", "att:generated-filename", "", "a b.txt"}, {"?", "att:normalized-subject", "", "caf\xc3\xa9"},
          {"?", "att:priority", "", "5"},  {"?", "att:pri-content-type", "", "text"},
          {"?", "Att:Sub-Content-Type", "", "plain"}, {"?", "att:athena-account-name", "", "Work"},
          {"?", "att:athena-account-id", "", "!not found"}, {"?", "att:other", "", "!not found"},
          {"=", "att:normalized-subject", "x", "!read-only"}, {"=", "att:filename", "f", "!read-only"},
          {"=", "att:sub-content-type", "x/y", "!invalid"}, {"=", "Content-Type", "multipart/mixed", "!invalid"},
          {"=", "Content-Type", "text/", "!invalid"},  {"=", "par:bad name:p", "v", "!invalid"},
          {"=", "par:content-type:", "v", "!invalid"}, {"=", "Bad Name", "v", "!invalid"},
          {"=", "Subject", "Fwd: caf\xc3\xa9", ""}}));  // writing the value a field has changes nothing
  EXPECT_FALSE(m.IsDirty());
  EXPECT_EQ("!invalid", Prop(m, m.root(), std::string(999, 'x')));
  EXPECT_EQ("!not found", Prop(m, m.root(), std::string(998, 'x')));
  EXPECT_TRUE(Steps(m, {{"=", "att:sub-content-type", " HTML ", ""}, {"?", "Content-Type", "", "text/html"},
          {"=", "att:pri-content-type", "image", ""}, {"?", "par:content-type:format", "", "flowed"},
          {"=", "Content-Type", "text/html; charset=utf-8", ""}, {"?", "par:content-type:format", "", "!not found"},
          {"=", "par:content-type:Charset", "koi8-r", ""}, {"?", "par:content-type:charset", "", "koi8-r"},
          {"-", "Content-Disposition", "", ""}, {"=", "par:content-disposition:filename", "x.txt", ""},
          {"?", "Content-Disposition", "", "attachment"}, {"=", "att:Custom", "1", ""}, {"=", "att:CUSTOM", "2", ""},
          {"?", "att:custom", "", "2"}, {"=", "att:athena-account-id", "acc", ""}, {"?", "X-Mail-Account-Id", "", "acc"},
          {"-", "att:Custom", "", ""}, {"-", "att:custom", "", "!not found"}, {"-", "att:athena-account-name", "", ""},
          {"-", "par:content-type:charset", "", ""}, {"-", "par:content-type:charset", "", "!not found"},
          {"-", "par:x-none:p", "", "!not found"}, {"-", "par:nocolon", "", "!invalid"}, {"-", "Bad Name", "", "!invalid"},
          {"=", "att:kept", "v", ""}, {"-", "Content-Type", "", ""}, {"?", "Content-Type", "", "text/plain"},
          {"-", "X-Missing", "", "!not found"}}));
  EXPECT_EQ((std::vector<std::string>{"Subject", "X-Priority", "X-Latin", "Received", "content-disposition",
                                      "X-Mail-Account-Id", "att:kept"}),
            m.PropertyNames(m.root()));
  m.Load("Content-Type: application/pdf; name=n.pdf\r\n\r\n");
  EXPECT_TRUE(Steps(m, {{"?", "att:filename", "", "n.pdf"}, {"?", "att:normalized-subject", "", "!not found"},
          {"?", "att:priority", "", "3"}}));
  m.Load(kSamples[0]);  // a multipart keeps its type and boundary
  EXPECT_TRUE(Steps(m, {{"-", "Content-Type", "", "!invalid"}, {"-", "par:content-type:boundary", "", "!invalid"},
          {"?", "att:filename", "", "!not found"},
          {"=", "Content-Type", "text/plain", "!invalid"}, {"=", "Content-Type", "multipart/related", ""},
          {"?", "par:content-type:boundary", "", "o"}}));
  Message fresh;  // an empty body may become multipart, with a boundary of its own
  ASSERT_EQ(Status::kOk, fresh.SetProp(fresh.root(), "Content-Type", "multipart/alternative"));
  EXPECT_TRUE(fresh.IsMultipart(fresh.root()));
  EXPECT_EQ(27u, Prop(fresh, fresh.root(), "par:content-type:boundary").size());
}

TEST(Properties, EveryNameHasAnIdAndWritingBackAValueChangesNothing) {
  Message m;
  const std::string src = "Received: from a\r\nReceived: from b\r\nSubject: s\r\nX_NUVAK_DELETED: True\r\n\r\nbody";
  m.Load(src);
  auto& registry = PropertyRegistry::Instance();
  for (const auto& name : m.PropertyNames(m.root())) {
    EXPECT_EQ(name, registry.NameOf(registry.IdOf(name)));
    ASSERT_EQ(Status::kOk, m.SetProp(m.root(), name, Prop(m, m.root(), name)));
  }
  EXPECT_EQ(src, m.Serialize());
}

// Hostile and broken input: every case must finish with a usable tree and must not blow up
// memory. Timing is not asserted; a regression shows up as a hang under ctest's timeout.

// Reads everything of every body, changes the tree and parses the result again: the untouched
// message gives back its source, and the changed one parses back to as many bodies.
void Exercise(const std::string& src) {
  Message m, again;
  m.Load(src);
  EXPECT_TRUE(src == m.Serialize()) << "an untouched message gives back its source";
  std::string out;
  for (BodyHandle h = m.FindNext(kNoBody, {}, {}); h != kNoBody; h = m.FindNext(h, {}, {})) {
    m.GetText(h, &out);
    m.GetProp(h, "par:content-type:name", &out);
    m.DisplayName(h);
  }
  BodyHandle added = kNoBody;
  m.InsertBody(Location::kLast, m.root(), &added);
  again.Load(m.Serialize());
  EXPECT_EQ(m.CountBodies(m.root(), true), again.CountBodies(again.root(), true));
  summarize(src);
}

TEST(Hostile, DeepNestingStaysBoundedInDepth) {
  std::string multiparts, messages;
  for (int i = 0; i < 10000; ++i) {
    multiparts += "Content-Type: multipart/mixed; boundary=b" + std::to_string(i) + "\r\n\r\n--b" + std::to_string(i) + "\r\n";
    messages += "Content-Type: message/rfc822\r\n\r\n";
  }
  for (const std::string& src : {multiparts + "\r\ndeepest\r\n", messages}) {
    Message m;
    m.Load(src);
    EXPECT_EQ(static_cast<size_t>(kMaxDepth) + 1, m.CountBodies(m.root(), true));
    EXPECT_EQ(src, m.Serialize());
    BodyHandle at98 = m.root(), next = kNoBody;  // a chain: the nth body in pre-order is n deep
    for (int depth = 0; depth < kMaxDepth - 2; ++depth) at98 = m.FindNext(at98, {}, {});
    EXPECT_EQ(Status::kTooDeep, m.InsertBody(Location::kLast, m.FindNext(at98, {}, {}), &next));
    EXPECT_NE(Status::kTooDeep, m.InsertBody(Location::kLast, at98, &next));
    Exercise(src);
  }
}

TEST(Hostile, HundredThousandPartsStayLinearAndLinked) {
  std::string src = "Content-Type: multipart/mixed; boundary=p\r\n\r\n";
  for (int i = 0; i < 100000; ++i) src += "--p\r\n\r\n" + std::to_string(i) + "\r\n";
  src += "--p--\r\n";
  Message m;
  m.Load(src);
  EXPECT_EQ(100001u, m.CountBodies(m.root(), true));
  EXPECT_EQ(src, m.Serialize());
  BodyHandle h = kNoBody, next = kNoBody, mid = kNoBody;
  size_t siblings = 1, bodies = 0;  // sibling steps and the pre-order walk stay linear
  for (h = m.FindNext(kNoBody, {}, {}); h != kNoBody; h = m.FindNext(h, {}, {})) ++bodies;
  for (m.GetBody(Location::kFirst, m.root(), &h); m.GetBody(Location::kNext, h, &next) == Status::kOk; h = next) {
    if (++siblings == 50001) mid = next;
  }
  std::string last, after_mid;
  m.GetContent(h, &last);
  // Deleting from the middle keeps the neighbours linked.
  ASSERT_EQ(Status::kOk, m.GetBody(Location::kPrevious, mid, &h));
  ASSERT_EQ(Status::kOk, m.DeleteBody(mid, 0));
  ASSERT_EQ(Status::kOk, m.GetBody(Location::kNext, h, &next));
  m.GetContent(next, &after_mid);
  EXPECT_EQ("100001 100000 99999 50001",
            std::to_string(bodies) + " " + std::to_string(siblings) + " " + last + " " + after_mid);
}

TEST(Hostile, HugeHeadersBrokenEncodingsNulBytesAndPrefixBoundaries) {
  std::string params = "Content-Type: text/plain", words = "Subject: ", folded = "Subject: x", fields;
  std::string prefixes = "Content-Type: multipart/mixed; boundary=a\r\n\r\n";
  for (int i = 0; i < 200000; ++i) {
    params += "; p" + std::to_string(i) + "*" + std::to_string(i % 7) + "=v";
    words += "=?utf-8?q?";
    folded += "\r\n y";
    if (i % 2) fields += "X-F" + std::to_string(i) + ": v\r\n";
    if (i < 1000) prefixes += "--a" + std::string(static_cast<size_t>(i % 5), 'a') + "\r\n";
  }
  for (const std::string& head : {"Subject: " + std::string(4 << 20, 'a'), params, words, folded})
    Exercise(head + "\r\n\r\nbody");
  for (const std::string& src : {std::string("Content-Transfer-Encoding: base64\r\n\r\n!!!!====AAA=\x01\x02"),
                                 std::string("Content-Transfer-Encoding: quoted-printable\r\n\r\n=\r=Z=\n=="),
                                 std::string("Subject: a\0b\r\nContent-Type: text/plain\0\r\n\r\n\0\0\0", 46),
                                 std::string("Subject: =?utf-8?B?=?=?\r\n\r\n"), prefixes,
                                 "Content-Type: multipart/mixed; boundary=-\r\n\r\n" + std::string(1 << 20, '-')})
    Exercise(src);
  Message many;
  many.Load(fields + "\r\nbody");
  EXPECT_EQ(100000u, many.PropertyNames(many.root()).size());
}

}  // namespace
