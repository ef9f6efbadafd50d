#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mimeengine/message.h"
#include "mimeengine/property_registry.h"

using namespace mimeengine;

namespace {

// The tree in pre-order: depth, content type and decoded content of leaves.
std::string Describe(const Message& m) {
  std::string out;
  for (BodyHandle h = m.FindNext(kNoBody, {}, {}); h != kNoBody; h = m.FindNext(h, {}, {})) {
    int depth = 0;
    for (BodyHandle p = h, q; m.GetBody(Location::kParent, p, &q) == Status::kOk; p = q) ++depth;
    out += std::string(static_cast<size_t>(depth) * 2, ' ') + m.PrimaryType(h) + "/" + m.SubType(h);
    if (!m.IsMultipart(h) && m.CountBodies(h, false) == 0) {
      std::string content;
      m.GetContent(h, &content);
      out += " [" + content + "]";
    }
    out += "\n";
  }
  return out;
}

BodyHandle Nth(const Message& m, int n) {
  BodyHandle h = kNoBody;
  for (int i = 0; i <= n; ++i) h = m.FindNext(h, {}, {});
  return h;
}

const char* const kSamples[] = {
    // Nested multiparts with a preamble, an epilogue and two encodings.
    "From: a@b\r\nSubject: s\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"o\"\r\n\r\n"
    "preamble\r\n--o\r\nContent-Type: multipart/alternative; boundary=\"i\"\r\n\r\n--i\r\n"
    "Content-Type: text/plain; charset=iso-8859-1\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"
    "caf=E9=\r\n au lait\r\n--i\r\nContent-Type: text/html\r\n\r\n<b>x</b>\r\n--i--\r\n--o\r\n"
    "Content-Type: image/gif; name=x.gif\r\nContent-Transfer-Encoding: base64\r\n\r\nR0lGODlhAQABAAAAACw=\r\n"
    "--o--\r\nepilogue\r\n",
    // Bare LF line ends and a missing final boundary.
    "Subject: lf\nContent-Type: multipart/mixed; boundary=zz\n\n--zz\n\nfirst\n--zz\nContent-Type: text/html\n\n<i>2</i>\n",
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

TEST(RoundTrip, UnchangedMessagesSerialiseToTheirOwnBytes) {
  for (const char* s : kSamples) {
    Message m;
    m.Load(s);
    EXPECT_FALSE(m.IsDirty());
    EXPECT_EQ(s, m.Serialize());
    m.Commit();
    EXPECT_EQ(s, m.source());
  }
}

TEST(RoundTrip, ChangedMessagesParseBackToTheSameTreeAndContent) {
  int index = 0;
  for (const char* s : kSamples) {
    Message m;
    m.Load(s);
    // Change a leaf, a header, and the structure.
    BodyHandle leaf = kNoBody;
    for (BodyHandle h = m.FindNext(kNoBody, "text", {}); h != kNoBody; h = m.FindNext(h, "text", {})) leaf = h;
    if (leaf != kNoBody) {
      ASSERT_EQ(Status::kOk, m.SetText(leaf, "Gr\xc3\xbc\xc3\x9f" "e\r\n\xe2\x82\xac 5\r\n", {}, {}));
    }
    ASSERT_EQ(Status::kOk, m.SetProp(m.root(), "X-Changed", "yes \xc3\xa9"));
    BodyHandle att = kNoBody;
    ASSERT_EQ(Status::kOk, m.AttachFile("photo.jpg", std::string("\xff\xd8\xff\0\x01", 5), &att));
    const std::string before = Describe(m);
    const std::string serialized = m.Serialize();
    m.Commit();
    EXPECT_EQ(serialized, m.source());
    EXPECT_FALSE(m.IsDirty());
    EXPECT_EQ(before, Describe(m)) << "sample " << index;
    Message again;
    again.Load(serialized);
    EXPECT_EQ(before, Describe(again)) << "sample " << index << "\n" << serialized;
    std::string v;
    ASSERT_EQ(Status::kOk, again.GetProp(again.root(), "X-Changed", &v));
    EXPECT_EQ("yes \xc3\xa9", v);
    EXPECT_EQ(serialized, again.Serialize());
    ++index;
  }
}

TEST(RoundTrip, UntouchedBodiesKeepTheirOriginalBytes) {
  Message m;
  m.Load(kSamples[0]);
  const BodyHandle html = m.FindNext(kNoBody, "text", "html");
  ASSERT_EQ(Status::kOk, m.SetText(html, "<p>new</p>", {}, {}));
  const std::string out = m.Serialize();
  EXPECT_NE(std::string::npos, out.find("caf=E9=\r\n au lait\r\n--i\r\n"));
  EXPECT_NE(std::string::npos, out.find("R0lGODlhAQABAAAAACw=\r\n--o--\r\nepilogue\r\n"));
  EXPECT_NE(std::string::npos, out.find("preamble\r\n--o\r\n"));
}

TEST(Parsing, ToleratesRealWorldDamage) {
  Message m;
  m.Load(kSamples[1]);
  EXPECT_EQ("multipart/mixed\n  text/plain [first]\n  text/html [<i>2</i>\n]\n", Describe(m));
  m.Load(kSamples[2]);
  EXPECT_EQ("multipart/digest\n  message/rfc822\n    text/plain [body one]\n  message/rfc822\n"
            "    text/plain [body two]\n",
            Describe(m));
  m.Load(kSamples[3]);
  EXPECT_EQ("multipart/mixed\n  multipart/mixed\n    text/plain [inner]\n  text/plain [outer]\n", Describe(m));
  // An attached message in base64 is decoded and parsed as a sub-tree.
  m.Load("Content-Type: message/rfc822\r\nContent-Transfer-Encoding: base64\r\n\r\n"
         "U3ViamVjdDogaW5uZXINCg0KaGk=\r\n");
  EXPECT_EQ("message/rfc822\n  text/plain [hi]\n", Describe(m));
  std::string subject;
  EXPECT_EQ(Status::kOk, m.GetProp(Nth(m, 1), "Subject", &subject));
  EXPECT_EQ("inner", subject);
  // A multipart without a boundary stays one opaque body.
  m.Load("Content-Type: multipart/mixed\r\n\r\n--x\r\nbody\r\n");
  EXPECT_EQ(1u, m.CountBodies(m.root(), true));
}

TEST(Text, CharsetsAreDecodedAndChosenWhenSetting) {
  Message m;
  m.Load("Content-Type: text/plain; charset=iso-8859-2\r\n\r\n\xb3\xf3\x64\xbc");
  std::string text;
  ASSERT_EQ(Status::kOk, m.GetText(m.root(), &text));
  EXPECT_EQ("\xc5\x82\xc3\xb3" "d\xc5\xba", text);
  // Text the declared charset can hold stays in it...
  ASSERT_EQ(Status::kOk, m.SetText(m.root(), "\xc5\x82\xc3\xb3" "d", {}, {}));
  std::string bytes, cs;
  m.GetContent(m.root(), &bytes);
  EXPECT_EQ("\xb3\xf3" "d", bytes);
  // ...anything else goes to UTF-8.
  ASSERT_EQ(Status::kOk, m.SetText(m.root(), "\xe2\x82\xac", {}, {}));
  ASSERT_EQ(Status::kOk, m.GetProp(m.root(), "par:content-type:charset", &cs));
  EXPECT_EQ("utf-8", cs);
  ASSERT_EQ(Status::kOk, m.GetText(m.root(), &text));
  EXPECT_EQ("\xe2\x82\xac", text);
}

TEST(Tree, InsertingIntoALeafMakesItMultipartKeepingItsContent) {
  Message m;
  m.Load("Subject: s\r\nContent-Type: text/html; charset=utf-8\r\n\r\n<p>x</p>");
  BodyHandle added = kNoBody;
  ASSERT_EQ(Status::kOk, m.InsertBody(Location::kFirst, m.root(), &added));
  EXPECT_TRUE(m.IsContentType(m.root(), "multipart", "mixed"));
  EXPECT_EQ("multipart/mixed\n  text/plain []\n  text/html [<p>x</p>]\n", Describe(m));
  std::string v;
  EXPECT_EQ(Status::kOk, m.GetProp(m.root(), "Subject", &v));  // non-content fields stay on the root
  EXPECT_EQ(Status::kOk, m.GetProp(Nth(m, 2), "par:content-type:charset", &v));
  EXPECT_EQ("utf-8", v);
  BodyHandle none = kNoBody;
  EXPECT_EQ(Status::kNotFound, m.GetBody(Location::kParent, m.root(), &none));
  EXPECT_EQ(Status::kInvalidArg, m.InsertBody(Location::kNext, m.root(), &none));
  // A new, empty message simply becomes multipart.
  Message empty;
  ASSERT_EQ(Status::kOk, empty.InsertBody(Location::kLast, empty.root(), &added));
  EXPECT_EQ("multipart/mixed\n  text/plain []\n", Describe(empty));
}

TEST(Tree, DeleteBodyHonoursItsFlags) {
  const char* src =
      "Content-Type: multipart/mixed; boundary=a\r\n\r\n--a\r\nContent-Type: multipart/alternative; boundary=b\r\n\r\n"
      "--b\r\n\r\none\r\n--b\r\n\r\ntwo\r\n--b--\r\n--a\r\n\r\nthree\r\n--a--\r\n";
  Message m;
  m.Load(src);
  const BodyHandle alt = Nth(m, 1);
  ASSERT_EQ(Status::kOk, m.DeleteBody(alt, kDeletePromoteChildren));
  EXPECT_EQ("multipart/mixed\n  text/plain [one]\n  text/plain [two]\n  text/plain [three]\n", Describe(m));
  EXPECT_FALSE(m.IsValid(alt));
  m.Load(src);
  ASSERT_EQ(Status::kOk, m.DeleteBody(Nth(m, 1), kDeleteChildrenOnly));
  EXPECT_EQ("multipart/mixed\n  multipart/alternative\n  text/plain [three]\n", Describe(m));
  m.Load(src);
  const BodyHandle inner_one = Nth(m, 2);
  ASSERT_EQ(Status::kOk, m.DeleteBody(Nth(m, 1), 0));
  EXPECT_EQ("multipart/mixed\n  text/plain [three]\n", Describe(m));
  EXPECT_FALSE(m.IsValid(inner_one));  // children went with it
  EXPECT_EQ(Status::kInvalidArg, m.DeleteBody(m.root(), 7));
  Message reparsed;
  reparsed.Load(m.Serialize());
  EXPECT_EQ(Describe(m), Describe(reparsed));
}

TEST(Tree, HandlesAreNeverReusedAcrossLoadsAndNeverCollideWithTheRootName) {
  Message m;
  m.Load(kSamples[0]);
  const BodyHandle old_root = m.root();
  m.Load(kSamples[0]);
  EXPECT_FALSE(m.IsValid(old_root));
  EXPECT_TRUE(m.IsValid(kRootAlias));
  EXPECT_NE(kRootAlias, m.root());
  EXPECT_NE(kNoBody, m.root());
}

TEST(Attachments, AreFoundNamedAndAddedAsMultipartMixed) {
  Message m;
  m.Load(kSamples[0]);
  auto list = m.GetAttachments();
  ASSERT_EQ(1u, list.size());
  EXPECT_EQ("x.gif", m.DisplayName(list[0]));
  m.Load("Subject: Re: hello\r\nContent-Type: multipart/alternative; boundary=q\r\n\r\n--q\r\n\r\ntext\r\n--q--\r\n");
  BodyHandle a = kNoBody;
  ASSERT_EQ(Status::kOk, m.AttachFile("report.PDF", "%PDF", &a));
  EXPECT_TRUE(m.IsContentType(m.root(), "multipart", "mixed"));
  EXPECT_TRUE(m.IsContentType(a, "application", "pdf"));
  EXPECT_EQ("multipart/mixed\n  multipart/alternative\n    text/plain [text]\n  application/pdf [%PDF]\n", Describe(m));
  std::string v;
  EXPECT_EQ(Status::kOk, m.GetProp(a, "par:content-disposition:filename", &v));
  EXPECT_EQ("report.PDF", v);
  EXPECT_EQ(Status::kOk, m.GetProp(a, "att:generated-filename", &v));
  EXPECT_EQ("report.PDF", v);
  list = m.GetAttachments();
  ASSERT_EQ(1u, list.size());
  EXPECT_EQ(a, list[0]);
  // An attached message counts once, not with its inner bodies.
  m.Load(kSamples[2]);
  EXPECT_EQ(2u, m.GetAttachments().size());
  EXPECT_EQ("two.eml", m.DisplayName(Nth(m, 3)));
}

TEST(Properties, NamesPrefixesComputedAttributesAndIds) {
  Message m;
  m.Load("Subject: Fwd: =?utf-8?q?caf=C3=A9?=\r\nContent-Type: text/plain; charset=\"us-ascii\"; format=flowed\r\n"
         "X-Priority: 5\r\n\r\nbody");
  const BodyHandle r = m.root();
  std::string v;
  EXPECT_EQ(Status::kOk, m.GetProp(r, "subject", &v));
  EXPECT_EQ("Fwd: caf\xc3\xa9", v);
  EXPECT_EQ(Status::kOk, m.GetProp(r, "Content-Type", &v));
  EXPECT_EQ("text/plain", v);  // the type alone; parameters are "par:" properties
  EXPECT_EQ(Status::kOk, m.GetProp(r, "par:content-type:format", &v));
  EXPECT_EQ("flowed", v);
  EXPECT_EQ(Status::kOk, m.GetProp(r, "att:normalized-subject", &v));
  EXPECT_EQ("caf\xc3\xa9", v);
  EXPECT_EQ(Status::kOk, m.GetProp(r, "att:priority", &v));
  EXPECT_EQ("5", v);
  EXPECT_EQ(Status::kNotFound, m.GetProp(r, "X-Missing", &v));
  EXPECT_EQ(Status::kInvalidArg, m.GetProp(r, "Bad Name", &v));
  EXPECT_EQ(Status::kReadOnly, m.SetProp(r, "att:normalized-subject", "x"));
  // 8-bit bytes in a field are read in the body's charset.
  Message latin;
  latin.Load("Subject: Gr\xfc\xdf" "e\r\nContent-Type: text/plain; charset=iso-8859-1\r\n\r\nx");
  EXPECT_EQ(Status::kOk, latin.GetProp(latin.root(), "Subject", &v));
  EXPECT_EQ("Gr\xc3\xbc\xc3\x9f" "e", v);
  // A message built from nothing declares MIME once it has a content type.
  Message fresh;
  ASSERT_EQ(Status::kOk, fresh.SetProp(fresh.root(), "Subject", "new"));
  ASSERT_EQ(Status::kOk, fresh.SetText(fresh.root(), "hello", "text", "plain"));
  const std::string built = fresh.Serialize();
  EXPECT_NE(std::string::npos, built.find("MIME-Version: 1.0\r\n")) << built;
  EXPECT_NE(std::string::npos, built.find("Content-Type: text/plain; charset=utf-8\r\n")) << built;
  // Content-Type without a header is still the MIME default.
  Message bare;
  bare.Load("Subject: x\r\n\r\nhello");
  EXPECT_EQ(Status::kOk, bare.GetProp(bare.root(), "Content-Type", &v));
  EXPECT_EQ("text/plain", v);
  // Stored attributes, and a property set by name reaches the header.
  ASSERT_EQ(Status::kOk, m.SetProp(r, "att:athena-account-name", "Work"));
  ASSERT_EQ(Status::kOk, m.SetProp(r, "X_NUVAK_DELETED", "True"));
  ASSERT_EQ(Status::kOk, m.SetProp(r, "att:sub-content-type", "html"));
  EXPECT_TRUE(m.IsContentType(r, "text", "html"));
  EXPECT_NE(std::string::npos, m.Serialize().find("X_NUVAK_DELETED: True\r\n"));
  const auto names = m.PropertyNames(r);
  ASSERT_FALSE(names.empty());
  auto& reg = PropertyRegistry::Instance();
  for (const auto& name : names) {
    const uint32_t id = reg.IdOf(name);
    ASSERT_NE(0u, id) << name;
    EXPECT_EQ(name.size(), reg.NameOf(id).size());
    std::string a, b;
    EXPECT_EQ(m.GetProp(r, name, &a), m.GetProp(r, reg.NameOf(id), &b)) << name;
    EXPECT_EQ(a, b);
  }
  // Writing every property back as it reads (what a clone does) changes nothing.
  Message copy;
  const std::string with_trace = "Received: from a\r\nReceived: from b\r\nSubject: s\r\n\r\nbody";
  copy.Load(with_trace);
  for (const auto& name : copy.PropertyNames(copy.root())) {
    std::string value;
    ASSERT_EQ(Status::kOk, copy.GetProp(copy.root(), name, &value));
    ASSERT_EQ(Status::kOk, copy.SetProp(copy.root(), name, value));
  }
  EXPECT_FALSE(copy.IsDirty());
  EXPECT_EQ(with_trace, copy.Serialize());
  EXPECT_EQ(5u, reg.IdOf("SUBJECT"));
  EXPECT_GT(reg.IdOf("X_NUVAK_DELETED"), 78u);
  EXPECT_EQ(reg.IdOf("x_nuvak_deleted"), reg.IdOf("X_NUVAK_DELETED"));
  EXPECT_EQ("att:athena-account-name", reg.NameOf(78));
}

}  // namespace
