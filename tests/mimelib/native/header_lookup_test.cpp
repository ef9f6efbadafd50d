// Header lookups after each kind of change: the first field of a name wins,
// whatever its case, and a change never leaves a lookup pointing at a field
// that moved or went away.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mimeengine/header.h"

using namespace mimeengine;

namespace {

std::vector<std::string> Names(const Header& h) {
  std::vector<std::string> out;
  for (const auto& f : h.fields()) out.push_back(f.name);
  return out;
}

bool StartsWithC(std::string_view name) { return !name.empty() && (name[0] == 'C' || name[0] == 'c'); }

}  // namespace

TEST(HeaderLookup, FirstOfANameWinsAcrossEveryChange) {
  Header h;
  Header::Parse("A: 1\r\nB: 2\r\na: 3\r\nC: 4\r\nb: 5\r\n\r\n", &h);
  EXPECT_EQ("1", h.Get("a"));
  EXPECT_EQ("2", h.Get("b"));

  h.Set("a", "x");  // drops the later "a", moving C and b forward
  EXPECT_EQ((std::vector<std::string>{"A", "B", "C", "b"}), Names(h));
  EXPECT_EQ("x", h.Get("A"));
  EXPECT_EQ("4", h.Get("c"));
  EXPECT_EQ("2", h.Get("B"));

  h.Set("C", "5");  // the only one of its name: changed where it stands
  EXPECT_EQ((std::vector<std::string>{"A", "B", "C", "b"}), Names(h));

  EXPECT_TRUE(h.Remove("b"));
  EXPECT_EQ((std::vector<std::string>{"A", "C"}), Names(h));
  EXPECT_EQ(nullptr, h.Find("B"));
  EXPECT_EQ("5", h.Get("C"));
  EXPECT_FALSE(h.Remove("B"));

  h.Set("b", "new");
  h.Set("B", "newer");  // found again in its new place, not appended twice
  EXPECT_EQ((std::vector<std::string>{"A", "C", "b"}), Names(h));
  EXPECT_EQ("newer", h.Get("B"));

  const auto taken = h.Take(StartsWithC);
  ASSERT_EQ(1u, taken.size());
  EXPECT_EQ(nullptr, h.Find("c"));
  EXPECT_EQ("newer", h.Get("b"));
  h.Append(taken[0]);
  h.Append(HeaderField{"c", " 6", true});
  EXPECT_EQ((std::vector<std::string>{"A", "b", "C", "c"}), Names(h));
  EXPECT_EQ("5", h.Get("c"));
  bool found = true;
  EXPECT_EQ("", h.Get("D", &found));
  EXPECT_FALSE(found);

  Header::Parse("Z: 1\r\n\r\n", &h);  // a new parse forgets the old fields
  EXPECT_EQ(nullptr, h.Find("A"));
  EXPECT_EQ("1", h.Get("z"));
}
