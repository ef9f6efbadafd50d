// The Message-ID index and the change history: kept by every write, the same
// in every open of the store (each Store object replays the journal as another
// process would), and carried across reopening and compaction.
#include "store_support.h"

using namespace mailstore;

namespace {

// A message with |header| before its own fields.
std::string MailWith(const std::string& header) { return header + "Subject: s\r\n\r\nMessage-ID: <body@x>\r\n"; }

// "folder/id" of the message FindMessageId gives, or "none".
std::string Where(Store& s, const std::string& message_id) {
  uint32_t folder = 0, id = 0;
  return s.FindMessageId(message_id, &folder, &id) == Status::kOk ? std::to_string(folder) + "/" + std::to_string(id)
                                                                  : "none";
}

// At most |max| changes after |after| as "kind:folder/message" (message -1 for a folder change).
std::vector<std::string> Changes(Store& s, uint64_t after, Status expect = Status::kOk, size_t max = 1000) {
  std::vector<HistoryChange> changes;
  EXPECT_EQ(expect, s.GetChanges(after, max, &changes));
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
  auto s = OpenStore(dir.store()), other = OpenStore(dir.store());
  const uint32_t sub = Folder(*s, kRootFolderId, "Sub");
  // Folded, any case, brackets and white space dropped; X-Message-ID and the body do not count.
  const uint32_t a = Add(*s, sub, MailWith("X-Message-ID: <x@x>\r\nmessage-iD:\r\n <d@x\r\n\t>\r\n"));
  const uint32_t b = Add(*s, kInbox, MailWith("Message-ID: <d@x>\n")), c = Add(*s, kInbox, MailWith(""));
  EXPECT_EQ((std::vector<std::string>{"1/" + std::to_string(b), "none", "none", "none"}),
            (std::vector<std::string>{Where(*other, " <d@x> "), Where(*other, "x@x"), Where(*other, "body@x"),
                                      Where(*other, "")}));
  // Compaction keeps which was stored last though folders are written in another order.
  ASSERT_EQ(Status::kOk, s->Compact());
  EXPECT_EQ("1/" + std::to_string(b), Where(*OpenStore(dir.store()), "d@x"));

  ASSERT_EQ(Status::kOk, other->RemoveMessages(kInbox, {b}));
  EXPECT_EQ(std::to_string(sub) + "/" + std::to_string(a), Where(*s, "d@x"));
  ASSERT_EQ(Status::kOk, s->ReplaceSource(kInbox, c, MailWith("Message-ID: <d@x>\r\n"), {}));
  EXPECT_EQ("1/" + std::to_string(c), Where(*other, "d@x"));
  ASSERT_EQ(Status::kOk, s->ReplaceSource(kInbox, c, MailWith("Message-ID: <e@x>\r\n"), {}));
  EXPECT_EQ(std::to_string(sub) + "/" + std::to_string(a), Where(*other, "d@x"));
  std::vector<uint32_t> copies;
  ASSERT_EQ(Status::kOk, other->CopyMessages(sub, kDrafts, {a}, false, 0, &copies));
  EXPECT_EQ("5/" + std::to_string(copies[0]), Where(*s, "d@x"));
  ASSERT_EQ(Status::kOk, s->DeleteMessages(kDrafts, copies));  // a move into Deleted Items
  EXPECT_EQ("4/1", Where(*other, "d@x"));
  ASSERT_EQ(Status::kOk, s->RemoveMessages(kDeleted, {1}));
  ASSERT_EQ(Status::kOk, s->DeleteFolder(sub));
  EXPECT_EQ("none", Where(*other, "d@x"));
  EXPECT_EQ("1/" + std::to_string(c), Where(*OpenStore(dir.store()), "e@x"));
}

TEST(StoreHistory, NumbersEveryChangeOnceInEveryOpenAcrossReopenAndCompaction) {
  TestDir dir;
  auto s = OpenStore(dir.store()), other = OpenStore(dir.store());
  const uint64_t start = Cursor(*s);
  EXPECT_EQ(5u, start);  // the special folders
  uint32_t a = Folder(*s, kRootFolderId, "A"), b = Folder(*s, a, "B"), reserved = 0;
  ASSERT_EQ(Status::kOk, s->RenameFolder(b, "C"));
  ASSERT_EQ(Status::kOk, s->MoveFolder(b, kRootFolderId));
  ASSERT_EQ(Status::kOk, s->MoveFolder(b, a));
  const uint32_t m1 = Add(*other, b, "x", kFlagUnread), m2 = Add(*other, b, "y");
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

  // Reopened and compacted: the same numbers, and new changes go on from them.
  HistoryId id, reopened_id;
  uint64_t cursor = 0;
  ASSERT_EQ(Status::kOk, s->GetHistory(&id, &cursor));
  auto reopened = OpenStore(dir.store());
  ASSERT_EQ(Status::kOk, reopened->GetHistory(&reopened_id, &cursor));
  EXPECT_EQ(std::make_pair(id.low, id.high), std::make_pair(reopened_id.low, reopened_id.high));
  EXPECT_EQ(expected, Changes(*reopened, start));
  ASSERT_EQ(Status::kOk, other->Compact());
  a = Folder(*s, kRootFolderId, "D");
  EXPECT_EQ(cursor + 1, Cursor(*reopened));
  EXPECT_EQ(expected, Changes(*reopened, start, Status::kOk, 13));
  EXPECT_EQ(std::vector<std::string>{"4:" + std::to_string(a) + "/-1"}, Changes(*other, cursor));

  // A compaction that keeps 3 changes: older cursors are refused in every open.
  other->SetHistorySpan({3, 0});
  ASSERT_EQ(Status::kOk, other->Compact());
  const uint64_t now = Cursor(*s);
  EXPECT_EQ(3u, Changes(*s, now - 3).size());
  Changes(*reopened, now - 4, Status::kHistoryGone);
  Changes(*OpenStore(dir.store()), start, Status::kHistoryGone);
  // Whichever is more: the last 30 days keep all of today's.
  s->SetHistorySpan({1, 30});
  ASSERT_EQ(Status::kOk, s->Compact());
  EXPECT_EQ(3u, Changes(*other, now - 3).size());
}
