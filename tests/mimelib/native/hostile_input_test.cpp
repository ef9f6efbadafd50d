// Hostile and broken input: every case must finish with a usable tree and
// must not blow up memory. Timing is not asserted (tests are not
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
