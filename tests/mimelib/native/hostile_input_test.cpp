// Hostile and broken input: every case must finish quickly with a usable
// tree and must not blow up memory. Timing is not asserted (tests are not
// benchmarks); a regression shows up as a hang under ctest's timeout.
#include <gtest/gtest.h>

#include <string>

#include "mimeengine/message.h"
#include "mimeengine/summary.h"

using namespace mimeengine;

namespace {

// Reads everything of every body, changes the tree and parses the result again.
void Exercise(const std::string& src) {
  Message m, again;
  m.Load(src);
  std::string out;
  for (BodyHandle h = m.FindNext(kNoBody, {}, {}); h != kNoBody; h = m.FindNext(h, {}, {})) {
    m.GetText(h, &out);
    m.GetProp(h, "par:content-type:name", &out);
    m.DisplayName(h);
  }
  BodyHandle added = kNoBody;
  m.InsertBody(Location::kLast, m.root(), &added);
  again.Load(m.Serialize());
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

TEST(Hostile, HundredThousandPartsStayLinear) {
  std::string src = "Content-Type: multipart/mixed; boundary=p\r\n\r\n";
  for (int i = 0; i < 100000; ++i) src += "--p\r\n\r\n" + std::to_string(i) + "\r\n";
  Message m;
  m.Load(src + "--p--\r\n");
  EXPECT_EQ(100001u, m.CountBodies(m.root(), true));
  EXPECT_EQ(src + "--p--\r\n", m.Serialize());
  // Sibling steps and the pre-order walk stay linear over all parts.
  size_t bodies = 0, siblings = 1;
  for (BodyHandle h = m.FindNext(kNoBody, {}, {}); h != kNoBody; h = m.FindNext(h, {}, {})) ++bodies;
  BodyHandle h = kNoBody, next = kNoBody, mid = kNoBody;
  for (m.GetBody(Location::kFirst, m.root(), &h); m.GetBody(Location::kNext, h, &next) == Status::kOk; h = next) {
    if (++siblings == 50001) mid = next;
  }
  EXPECT_EQ(100001u + 100000u, bodies + siblings);
  std::string c;
  m.GetContent(h, &c);
  EXPECT_EQ("99999", c);
  // Deleting from the middle keeps the neighbours linked.
  ASSERT_EQ(Status::kOk, m.GetBody(Location::kPrevious, mid, &h));
  ASSERT_EQ(Status::kOk, m.DeleteBody(mid, 0));
  ASSERT_EQ(Status::kOk, m.GetBody(Location::kNext, h, &next));
  m.GetContent(next, &c);
  EXPECT_EQ("50001", c);
}

TEST(Hostile, MultiMegabyteHeaderLinesAndParameterFloods) {
  std::string params = "Content-Type: text/plain", words = "Subject: ", folded = "Subject: x", fields;
  for (int i = 0; i < 200000; ++i) {
    params += "; p" + std::to_string(i) + "*" + std::to_string(i % 7) + "=v";
    words += "=?utf-8?q?";
    folded += "\r\n y";
    if (i % 2) fields += "X-F" + std::to_string(i) + ": v\r\n";
  }
  for (const std::string& head : {"Subject: " + std::string(4 << 20, 'a'), params, words, folded}) {
    Exercise(head + "\r\n\r\nbody");
  }
  Message many;
  many.Load(fields + "\r\nbody");
  EXPECT_EQ(100000u, many.PropertyNames(many.root()).size());
}

TEST(Hostile, BrokenEncodingsNulBytesAndPrefixBoundaries) {
  std::string prefixes = "Content-Type: multipart/mixed; boundary=a\r\n\r\n";
  for (int i = 0; i < 1000; ++i) prefixes += "--a" + std::string(static_cast<size_t>(i % 5), 'a') + "\r\n";
  for (const std::string& src : {std::string("Content-Transfer-Encoding: base64\r\n\r\n!!!!====AAA=\x01\x02"),
                                 std::string("Content-Transfer-Encoding: quoted-printable\r\n\r\n=\r=Z=\n=="),
                                 std::string("Subject: a\0b\r\nContent-Type: text/plain\0\r\n\r\n\0\0\0", 46),
                                 std::string("Subject: =?utf-8?B?=?=?\r\n\r\n"), prefixes,
                                 "Content-Type: multipart/mixed; boundary=-\r\n\r\n" + std::string(1 << 20, '-')}) {
    Exercise(src);
  }
}

}  // namespace
