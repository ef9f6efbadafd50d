// Hostile and broken input: every case must finish quickly with a usable
// tree and must not blow up memory. Timing is not asserted (tests are not
// benchmarks); a regression shows up as a hang under ctest's timeout.
#include <gtest/gtest.h>

#include <string>

#include "mimeengine/message.h"
#include "mimeengine/summary.h"

using namespace mimeengine;

namespace {

void Exercise(const std::string& src) {
  Message m;
  m.Load(src);
  std::string out;
  for (BodyHandle h = m.FindNext(kNoBody, {}, {}); h != kNoBody; h = m.FindNext(h, {}, {})) {
    m.GetText(h, &out);
    m.GetProp(h, "par:content-type:name", &out);
    m.DisplayName(h);
  }
  BodyHandle added = kNoBody;
  m.InsertBody(Location::kLast, m.root(), &added);
  const std::string s = m.Serialize();
  Message again;
  again.Load(s);
  summarize(src);
}

TEST(Hostile, TenThousandNestedMultipartsStayBoundedInDepth) {
  std::string src;
  for (int i = 0; i < 10000; ++i) src += "Content-Type: multipart/mixed; boundary=b" + std::to_string(i) + "\r\n\r\n--b" + std::to_string(i) + "\r\n";
  src += "\r\ndeepest\r\n";
  Message m;
  m.Load(src);
  EXPECT_LE(m.CountBodies(m.root(), true), static_cast<size_t>(kMaxDepth) + 1);
  EXPECT_EQ(src, m.Serialize());
  Exercise(src);
}

TEST(Hostile, TenThousandNestedMessagesStayBoundedInDepth) {
  std::string src;
  for (int i = 0; i < 10000; ++i) src += "Content-Type: message/rfc822\r\n\r\n";
  Message m;
  m.Load(src);
  EXPECT_LE(m.CountBodies(m.root(), true), static_cast<size_t>(kMaxDepth) + 1);
  Exercise(src);
}

TEST(Hostile, HundredThousandPartsParse) {
  std::string src = "Content-Type: multipart/mixed; boundary=p\r\n\r\n";
  for (int i = 0; i < 100000; ++i) src += "--p\r\n\r\nx\r\n";
  src += "--p--\r\n";
  Message m;
  m.Load(src);
  EXPECT_EQ(100001u, m.CountBodies(m.root(), true));
  EXPECT_EQ(100000u, m.CountBodies(m.root(), false));
  BodyHandle last = kNoBody;
  ASSERT_EQ(Status::kOk, m.GetBody(Location::kLast, m.root(), &last));
  std::string c;
  m.GetContent(last, &c);
  EXPECT_EQ("x", c);
  EXPECT_EQ(src, m.Serialize());
  // Sibling steps and the pre-order walk stay linear over all parts.
  size_t steps = 0;
  for (BodyHandle h = m.FindNext(kNoBody, {}, {}); h != kNoBody; h = m.FindNext(h, {}, {})) ++steps;
  EXPECT_EQ(100001u, steps);
  steps = 0;
  BodyHandle h = kNoBody;
  for (m.GetBody(Location::kFirst, m.root(), &h); h != kNoBody;) {
    ++steps;
    if (m.GetBody(Location::kNext, h, &h) != Status::kOk) break;
  }
  EXPECT_EQ(100000u, steps);
  // Deleting from the middle keeps the neighbours linked.
  BodyHandle mid = kNoBody, before = kNoBody, after = kNoBody;
  ASSERT_EQ(Status::kOk, m.GetBody(Location::kNext, m.FindNext(m.FindNext(m.root(), {}, {}), {}, {}), &mid));
  ASSERT_EQ(Status::kOk, m.GetBody(Location::kPrevious, mid, &before));
  ASSERT_EQ(Status::kOk, m.GetBody(Location::kNext, mid, &after));
  ASSERT_EQ(Status::kOk, m.DeleteBody(mid, 0));
  BodyHandle check = kNoBody;
  ASSERT_EQ(Status::kOk, m.GetBody(Location::kNext, before, &check));
  EXPECT_EQ(after, check);
}

TEST(Hostile, MultiMegabyteHeaderLinesAndParameterFloods) {
  Exercise("Subject: " + std::string(4 << 20, 'a') + "\r\n\r\nbody");
  std::string params = "Content-Type: text/plain";
  for (int i = 0; i < 200000; ++i) params += "; p" + std::to_string(i) + "*" + std::to_string(i % 7) + "=v";
  Exercise(params + "\r\n\r\nbody");
  std::string words = "Subject: ";
  for (int i = 0; i < 200000; ++i) words += "=?utf-8?q?";
  Exercise(words + "\r\n\r\nbody");
  std::string fields;
  for (int i = 0; i < 100000; ++i) fields += "X-F" + std::to_string(i) + ": v\r\n";
  Message many;
  many.Load(fields + "\r\nbody");
  EXPECT_EQ(100000u, many.PropertyNames(many.root()).size());
  std::string folded = "Subject: x";
  for (int i = 0; i < 200000; ++i) folded += "\r\n y";
  Exercise(folded + "\r\n\r\n");
}

TEST(Hostile, BrokenEncodingsNulBytesAndPrefixBoundaries) {
  Exercise("Content-Transfer-Encoding: base64\r\n\r\n!!!!====AAA=\x01\x02");
  Exercise("Content-Transfer-Encoding: quoted-printable\r\n\r\n=\r=Z=\n==");
  Exercise(std::string("Subject: a\0b\r\nContent-Type: text/plain\0\r\n\r\n\0\0\0", 46));
  Exercise("Subject: =?utf-8?B?=?=?\r\n\r\n");
  std::string prefixes = "Content-Type: multipart/mixed; boundary=a\r\n\r\n";
  for (int i = 0; i < 1000; ++i) prefixes += "--a" + std::string(static_cast<size_t>(i % 5), 'a') + "\r\n";
  Exercise(prefixes);
  std::string dashes = "Content-Type: multipart/mixed; boundary=-\r\n\r\n" + std::string(1 << 20, '-');
  Exercise(dashes);
}

}  // namespace
