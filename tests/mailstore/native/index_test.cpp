// The Message-ID index and the change history: kept by every write, the same
// in every open of the store (each Store object replays the journal as another
// process would), and carried across reopening and compaction.
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "mailstore/store.h"
#include "test_dir.h"

using namespace mailstore;

namespace {

constexpr uint32_t kInbox = 1, kDeleted = 4, kDrafts = 5;

std::string Mail(const std::string& header) { return header + "Subject: s\r\n\r\nMessage-ID: <body@x>\r\n"; }

// "folder/id" of the message FindMessageId gives, or "none".
std::string Where(Store& s, const std::string& message_id) {
  uint32_t folder = 0, id = 0;
  return s.FindMessageId(message_id, &folder, &id) == Status::kOk ? std::to_string(folder) + "/" + std::to_string(id)
                                                                  : "none";
}

// The changes after |after| as "kind:folder/message" (message -1 for a folder change).
std::vector<std::string> Changes(Store& s, uint64_t after, Status expect = Status::kOk) {
  std::vector<HistoryChange> changes;
  EXPECT_EQ(expect, s.GetChanges(after, 1000, &changes));
  std::vector<std::string> out;
  for (const auto& c : changes) {
    EXPECT_EQ(after + out.size() + 1, c.sequence);
    out.push_back(std::to_string(static_cast<int>(c.kind)) + ":" + std::to_string(c.folder) + "/" +
                  std::to_string(static_cast<int32_t>(c.message)));
  }
  return out;
}

uint64_t Cursor(Store& s) {
  HistoryId id;
  uint64_t cursor = 0;
  EXPECT_EQ(Status::kOk, s.GetHistory(&id, &cursor));
  return cursor;
}

}  // namespace

TEST(StoreIndex, FindsTheMessageStoredLastThatStillExistsInEveryOpen) {
  TestDir dir;
  auto s = Store::Open(dir.store(), true, nullptr);
  auto other = Store::Open(dir.store(), false, nullptr);
  uint32_t sub = 0, a = 0, b = 0, c = 0;
  ASSERT_EQ(Status::kOk, s->CreateFolder(kRootFolderId, "Sub", &sub));
  // Folded, any case, brackets and white space dropped; X-Message-ID and the body do not count.
  ASSERT_EQ(Status::kOk, s->AddMessage(sub, kInvalidId, Mail("X-Message-ID: <x@x>\r\nmessage-iD:\r\n <d@x\r\n\t>\r\n"), 0, {}, &a));
  ASSERT_EQ(Status::kOk, s->AddMessage(kInbox, kInvalidId, Mail("Message-ID: <d@x>\n"), 0, {}, &b));
  ASSERT_EQ(Status::kOk, s->AddMessage(kInbox, kInvalidId, Mail(""), 0, {}, &c));
  EXPECT_EQ((std::vector<std::string>{"1/" + std::to_string(b), "none", "none", "none"}),
            (std::vector<std::string>{Where(*other, " <d@x> "), Where(*other, "x@x"), Where(*other, "body@x"),
                                      Where(*other, "")}));
  // Compaction keeps which was stored last though folders are written in another order.
  ASSERT_EQ(Status::kOk, s->Compact());
  EXPECT_EQ("1/" + std::to_string(b), Where(*Store::Open(dir.store(), false, nullptr), "d@x"));

  ASSERT_EQ(Status::kOk, other->RemoveMessages(kInbox, {b}));
  EXPECT_EQ(std::to_string(sub) + "/" + std::to_string(a), Where(*s, "d@x"));
  ASSERT_EQ(Status::kOk, s->ReplaceSource(kInbox, c, Mail("Message-ID: <d@x>\r\n"), {}));
  EXPECT_EQ("1/" + std::to_string(c), Where(*other, "d@x"));
  ASSERT_EQ(Status::kOk, s->ReplaceSource(kInbox, c, Mail("Message-ID: <e@x>\r\n"), {}));
  EXPECT_EQ(std::to_string(sub) + "/" + std::to_string(a), Where(*other, "d@x"));
  std::vector<uint32_t> copies;
  ASSERT_EQ(Status::kOk, other->CopyMessages(sub, kDrafts, {a}, false, 0, &copies));
  EXPECT_EQ("5/" + std::to_string(copies[0]), Where(*s, "d@x"));
  ASSERT_EQ(Status::kOk, s->DeleteMessages(kDrafts, copies));  // a move into Deleted Items
  EXPECT_EQ("4/1", Where(*other, "d@x"));
  ASSERT_EQ(Status::kOk, s->RemoveMessages(kDeleted, {1}));
  ASSERT_EQ(Status::kOk, s->DeleteFolder(sub));
  EXPECT_EQ("none", Where(*other, "d@x"));
  EXPECT_EQ("1/" + std::to_string(c), Where(*Store::Open(dir.store(), false, nullptr), "e@x"));
}

TEST(StoreHistory, NumbersEveryChangeOnceInEveryOpenAcrossReopenAndCompaction) {
  TestDir dir;
  auto s = Store::Open(dir.store(), true, nullptr);
  auto other = Store::Open(dir.store(), false, nullptr);
  const uint64_t start = Cursor(*s);
  EXPECT_EQ(5u, start);  // the special folders
  uint32_t a = 0, b = 0, m1 = 0, m2 = 0;
  ASSERT_EQ(Status::kOk, s->CreateFolder(kRootFolderId, "A", &a));
  ASSERT_EQ(Status::kOk, s->CreateFolder(a, "B", &b));
  ASSERT_EQ(Status::kOk, s->RenameFolder(b, "C"));
  ASSERT_EQ(Status::kOk, s->MoveFolder(b, kRootFolderId));
  ASSERT_EQ(Status::kOk, s->MoveFolder(b, a));
  ASSERT_EQ(Status::kOk, other->AddMessage(b, kInvalidId, "x", kFlagUnread, {}, &m1));
  ASSERT_EQ(Status::kOk, other->AddMessage(b, kInvalidId, "y", 0, {}, &m2));
  uint32_t reserved = 0;
  ASSERT_EQ(Status::kOk, s->ReserveMessageId(kInbox, &reserved));      // no change
  ASSERT_EQ(Status::kOk, s->SetFlags(b, {m1, m2}, 0, kFlagUnread, nullptr));  // only m1 changes
  ASSERT_EQ(Status::kOk, s->ReplaceSource(b, m2, "z", {}));
  ASSERT_EQ(Status::kOk, s->CopyMessages(b, kInbox, {m2}, true, 0, nullptr));
  ASSERT_EQ(Status::kOk, other->DeleteFolder(a));
  const std::string A = std::to_string(a), B = std::to_string(b);
  const std::vector<std::string> expected = {
      "4:" + A + "/-1", "4:" + B + "/-1", "6:" + B + "/-1", "7:" + B + "/-1", "7:" + B + "/-1",
      "1:" + B + "/1",  "1:" + B + "/2",  "3:" + B + "/1",  "3:" + B + "/2",  "1:1/" + std::to_string(reserved + 1),
      "2:" + B + "/2",  "5:" + A + "/-1", "5:" + B + "/-1"};
  EXPECT_EQ(expected, Changes(*other, start));
  EXPECT_EQ(expected, Changes(*s, start));
  std::vector<HistoryChange> page;
  EXPECT_EQ(Status::kOk, s->GetChanges(start + 2, 3, &page));
  EXPECT_EQ((std::vector<uint64_t>{start + 3, start + 4, start + 5}),
            (std::vector<uint64_t>{page[0].sequence, page[1].sequence, page[2].sequence}));
  EXPECT_EQ(Status::kOk, s->GetChanges(start + 100, 3, &page));
  EXPECT_TRUE(page.empty());

  // Reopened and compacted: the same numbers, and new changes go on from them.
  HistoryId id, reopened_id;
  uint64_t cursor = 0;
  ASSERT_EQ(Status::kOk, s->GetHistory(&id, &cursor));
  auto reopened = Store::Open(dir.store(), false, nullptr);
  ASSERT_EQ(Status::kOk, reopened->GetHistory(&reopened_id, &cursor));
  EXPECT_EQ(std::make_pair(id.low, id.high), std::make_pair(reopened_id.low, reopened_id.high));
  EXPECT_EQ(expected, Changes(*reopened, start));
  const auto journal = [&] { return std::filesystem::file_size(dir.store() + "/" + (std::filesystem::exists(dir.store() + "/journal.cur") ? "journal.1.dat" : "journal.dat")); };
  for (int i = 0; i < 20; ++i) ASSERT_EQ(Status::kOk, s->SetFlags(kInbox, {reserved + 1}, i % 2 ? 0 : 1, 1, nullptr));
  const auto before = journal();
  ASSERT_EQ(Status::kOk, other->Compact());
  EXPECT_LT(journal(), before);
  ASSERT_EQ(Status::kOk, s->CreateFolder(kRootFolderId, "D", &a));
  EXPECT_EQ(cursor + 21, Cursor(*reopened));
  const auto kept = Changes(*reopened, start);
  EXPECT_EQ(expected, std::vector<std::string>(kept.begin(), kept.begin() + 13));
  EXPECT_EQ(std::vector<std::string>{"4:" + std::to_string(a) + "/-1"}, Changes(*other, cursor + 20));

  // A compaction that keeps 3 changes: older cursors are refused in every open.
  other->SetHistorySpan({3, 0});
  ASSERT_EQ(Status::kOk, other->Compact());
  const uint64_t now = Cursor(*s);
  EXPECT_EQ(3u, Changes(*s, now - 3).size());
  Changes(*reopened, now - 4, Status::kHistoryGone);
  Changes(*Store::Open(dir.store(), false, nullptr), start, Status::kHistoryGone);
  // Whichever is more: the last 30 days keep all of today's.
  s->SetHistorySpan({1, 30});
  ASSERT_EQ(Status::kOk, s->Compact());
  EXPECT_EQ(3u, Changes(*other, now - 3).size());
}
