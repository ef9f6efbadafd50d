#include <fstream>
#include <set>
#include <thread>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "mailstore/store.h"
#include "test_dir.h"

using namespace mailstore;

namespace {

std::unique_ptr<Store> OpenStore(const std::string& dir, bool create = true) {
  Status s;
  std::string report;
  auto store = Store::Open(dir, create, &s, &report);
  EXPECT_TRUE(store) << report;
  return store;
}

MessageFields Fields(const std::string& subject) {
  MessageFields f;
  f.subject = subject;
  f.normalized_subject = subject;
  f.display_from = "From " + subject;
  return f;
}

uint32_t Add(Store& s, uint32_t folder, const std::string& source, uint32_t flags = 0) {
  uint32_t id = kInvalidId;
  EXPECT_EQ(Status::kOk, s.AddMessage(folder, kInvalidId, source, flags, Fields(source), &id));
  return id;
}

std::string Source(Store& s, uint32_t folder, uint32_t id) {
  MessageRecordPtr r;
  if (s.FindMessage(folder, id, &r) != Status::kOk) return "<missing>";
  std::string out(r->size, '\0');
  EXPECT_EQ(static_cast<int64_t>(r->size), s.ReadSource(*r, 0, &out[0], out.size()));
  return out;
}

std::vector<uint32_t> Ids(Store& s, uint32_t folder) {
  std::vector<MessageRecordPtr> list;
  s.ListMessages(folder, 0, &list);
  std::vector<uint32_t> ids;
  for (auto& r : list) ids.push_back(r->id);
  return ids;
}

FolderInfo Info(Store& s, uint32_t id) {
  FolderInfo info;
  EXPECT_EQ(Status::kOk, s.GetFolder(id, &info));
  return info;
}

}  // namespace

TEST(StoreOpen, NewStoreHasRootAndSpecialFolders) {
  TestDir dir;
  auto s = OpenStore(dir.store());
  std::vector<FolderInfo> top;
  ASSERT_EQ(Status::kOk, s->ListSubfolders(kRootFolderId, &top));
  ASSERT_EQ(5u, top.size());
  const char* names[] = {"Inbox", "Outbox", "Sent Items", "Deleted Items", "Drafts"};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(names[i], top[i].name);
    EXPECT_EQ(i, top[i].special);
    EXPECT_EQ(top[i].id, s->SpecialFolderId(i));
  }
  EXPECT_EQ(kInvalidId, s->SpecialFolderId(5));
  EXPECT_EQ(kInvalidId, s->SpecialFolderId(-1));
  // Opening again does not add a second set.
  s.reset();
  s = OpenStore(dir.store());
  s->ListSubfolders(kRootFolderId, &top);
  EXPECT_EQ(5u, top.size());
}

TEST(StoreOpen, MissingOrUnwritableDirectoryFailsCleanly) {
  TestDir dir;
  Status st;
  EXPECT_EQ(nullptr, Store::Open(dir.path() + "/nope", false, &st));
  EXPECT_EQ(Status::kNotFound, st);
  EXPECT_EQ(nullptr, Store::Open("", true, &st));
  // An existing directory without a store is not one when not creating.
  EXPECT_EQ(nullptr, Store::Open(dir.path(), false, &st));
  EXPECT_EQ(Status::kNotFound, st);
}

TEST(StoreFolders, NameRules) {
  TestDir dir;
  auto s = OpenStore(dir.store());
  uint32_t id;
  EXPECT_EQ(Status::kInvalidName, s->CreateFolder(0, "", &id));
  EXPECT_EQ(Status::kInvalidName, s->CreateFolder(0, std::string(256, 'a'), &id));
  EXPECT_EQ(Status::kInvalidName, s->CreateFolder(0, "tab\there", &id));
  EXPECT_EQ(Status::kInvalidName, s->CreateFolder(0, std::string("nul\0x", 5), &id));
  EXPECT_EQ(Status::kDuplicateName, s->CreateFolder(0, "INBOX", &id));
  EXPECT_EQ(Status::kNotFound, s->CreateFolder(999, "x", &id));
  ASSERT_EQ(Status::kOk, s->CreateFolder(0, std::string(255, 'a'), &id));
  uint32_t a, b;
  ASSERT_EQ(Status::kOk, s->CreateFolder(0, "Archive", &a));
  ASSERT_EQ(Status::kOk, s->CreateFolder(a, "archive", &b));  // other parent: fine
  ASSERT_EQ(Status::kOk, s->CreateFolder(0, "Caf\xE9", &id));  // 8-bit names are kept as given
  EXPECT_EQ(Status::kDuplicateName, s->RenameFolder(a, "caf\xE9"));
  EXPECT_EQ(Status::kOk, s->RenameFolder(a, "ARCHIVE"));  // its own name in other case
  EXPECT_EQ("ARCHIVE", Info(*s, a).name);
  EXPECT_EQ(Status::kNotAllowed, s->RenameFolder(kRootFolderId, "Root"));
  EXPECT_EQ(Status::kInvalidName, s->RenameFolder(a, "line\nbreak"));
  EXPECT_EQ("ARCHIVE", Info(*s, a).name);
}

TEST(StoreFolders, IdsAreNeverReusedAndOrderIsCreationOrder) {
  TestDir dir;
  auto s = OpenStore(dir.store());
  uint32_t a, b, c, d;
  ASSERT_EQ(Status::kOk, s->CreateFolder(0, "Zeta", &a));
  ASSERT_EQ(Status::kOk, s->CreateFolder(0, "Alpha", &b));
  ASSERT_EQ(Status::kOk, s->DeleteFolder(b));
  ASSERT_EQ(Status::kOk, s->CreateFolder(0, "Alpha", &c));
  EXPECT_GT(c, b);
  s.reset();
  s = OpenStore(dir.store());
  ASSERT_EQ(Status::kOk, s->CreateFolder(0, "Mid", &d));
  EXPECT_GT(d, c);
  std::vector<FolderInfo> top;
  s->ListSubfolders(0, &top);
  ASSERT_EQ(8u, top.size());
  EXPECT_EQ("Zeta", top[5].name);
  EXPECT_EQ("Alpha", top[6].name);
  EXPECT_EQ("Mid", top[7].name);
}

TEST(StoreFolders, MoveAndDeleteRules) {
  TestDir dir;
  auto s = OpenStore(dir.store());
  uint32_t a, a1, a11, b;
  s->CreateFolder(0, "A", &a);
  s->CreateFolder(a, "A1", &a1);
  s->CreateFolder(a1, "A11", &a11);
  s->CreateFolder(0, "B", &b);
  EXPECT_EQ(Status::kNotAllowed, s->MoveFolder(a, a));
  EXPECT_EQ(Status::kNotAllowed, s->MoveFolder(a, a11));
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(Status::kNotAllowed, s->MoveFolder(s->SpecialFolderId(i), b));
    EXPECT_EQ(Status::kNotAllowed, s->DeleteFolder(s->SpecialFolderId(i)));
  }
  EXPECT_EQ(Status::kNotAllowed, s->DeleteFolder(kRootFolderId));
  EXPECT_EQ(Status::kNotAllowed, s->MoveFolder(kRootFolderId, b));
  EXPECT_EQ(Status::kNotFound, s->MoveFolder(a, 12345));
  ASSERT_EQ(Status::kOk, s->MoveFolder(a1, b));
  EXPECT_EQ(b, Info(*s, a1).parent);
  EXPECT_EQ(0, Info(*s, a).subfolder_count);
  uint32_t dup;
  s->CreateFolder(a, "a1", &dup);
  EXPECT_EQ(Status::kDuplicateName, s->MoveFolder(dup, b));

  // Deleting B takes A1, A11 and their messages.
  Add(*s, a11, "deep");
  ASSERT_EQ(Status::kOk, s->DeleteFolder(b));
  FolderInfo gone;
  EXPECT_EQ(Status::kNotFound, s->GetFolder(a11, &gone));
  EXPECT_EQ(Status::kNotFound, s->GetFolder(a1, &gone));
  s.reset();
  s = OpenStore(dir.store());
  EXPECT_EQ(Status::kNotFound, s->GetFolder(a11, &gone));
  EXPECT_EQ(Status::kOk, s->GetFolder(a, &gone));
}

TEST(StoreMessages, IdsAscendAndAreNeverReusedInAFolder) {
  TestDir dir;
  auto s = OpenStore(dir.store());
  uint32_t inbox = s->SpecialFolderId(0);
  uint32_t m1 = Add(*s, inbox, "one");
  uint32_t reserved;
  ASSERT_EQ(Status::kOk, s->ReserveMessageId(inbox, &reserved));
  uint32_t m3 = Add(*s, inbox, "three");
  EXPECT_LT(m1, reserved);
  EXPECT_LT(reserved, m3);
  // A reservation older than a stored id can no longer be used: ids only ascend.
  uint32_t got;
  EXPECT_EQ(Status::kInvalidArgument,
            s->AddMessage(inbox, reserved, "late", 0, Fields("late"), &got));
  EXPECT_EQ(Status::kInvalidArgument, s->AddMessage(inbox, m3 + 100, "x", 0, Fields("x"), &got));
  ASSERT_EQ(Status::kOk, s->RemoveMessages(inbox, {m3}));
  s.reset();
  s = OpenStore(dir.store());
  uint32_t m4 = Add(*s, inbox, "four");
  EXPECT_GT(m4, m3);
  EXPECT_EQ((std::vector<uint32_t>{m1, m4}), Ids(*s, inbox));
  EXPECT_EQ("four", Source(*s, inbox, m4));
  EXPECT_EQ(Status::kNotFound, s->AddMessage(kRootFolderId, kInvalidId, "x", 0, Fields("x"), &got));
}

TEST(StoreMessages, ReservedIdIsUsedByTheCommit) {
  TestDir dir;
  auto s = OpenStore(dir.store());
  uint32_t inbox = s->SpecialFolderId(0), r1, r2, got;
  s->ReserveMessageId(inbox, &r1);
  s->ReserveMessageId(inbox, &r2);
  ASSERT_EQ(Status::kOk, s->AddMessage(inbox, r2, "second", 0, Fields("b"), &got));
  EXPECT_EQ(r2, got);
  // Storing the older reservation now would break ascending order.
  EXPECT_NE(Status::kOk, s->AddMessage(inbox, r1, "first", 0, Fields("a"), &got));
}

TEST(StoreMessages, RecordsCountsAndFlags) {
  TestDir dir;
  auto s = OpenStore(dir.store());
  uint32_t inbox = s->SpecialFolderId(0);
  MessageFields f;
  f.subject = "Re: hello";
  f.normalized_subject = "hello";
  f.display_to = "Bob";
  f.display_from = "Alice";
  f.priority = 1;
  f.sent_time = 130000000000000000ull;
  uint32_t a;
  ASSERT_EQ(Status::kOk, s->AddMessage(inbox, kInvalidId, "src-a", kFlagUnread, f, &a));
  uint32_t b = Add(*s, inbox, "src-bb", kFlagUnread | 0x10);
  MessageRecordPtr r;
  ASSERT_EQ(Status::kOk, s->FindMessage(inbox, a, &r));
  EXPECT_EQ("Re: hello", r->subject());
  EXPECT_EQ("hello", r->normalized_subject());
  EXPECT_EQ("Bob", r->display_to());
  EXPECT_EQ(1, r->priority);
  EXPECT_EQ(f.sent_time, r->sent_time);
  EXPECT_EQ(5u, r->size);
  EXPECT_GT(r->received_time, 130000000000000000ull);
  EXPECT_EQ(2u, Info(*s, inbox).unread_count);
  EXPECT_EQ(2u, Info(*s, inbox).message_count);

  std::vector<uint32_t> flags;
  ASSERT_EQ(Status::kOk, s->SetFlags(inbox, {a, b}, 0, kFlagUnread, &flags));
  EXPECT_EQ((std::vector<uint32_t>{0u, 0x10u}), flags);
  EXPECT_EQ(0u, Info(*s, inbox).unread_count);
  // An unknown id fails the whole call and changes nothing.
  EXPECT_EQ(Status::kNotFound, s->SetFlags(inbox, {a, 999}, kFlagUnread, kFlagUnread, nullptr));
  EXPECT_EQ(0u, Info(*s, inbox).unread_count);
  EXPECT_EQ(Status::kNotFound, s->RemoveMessages(inbox, {b, 999}));
  EXPECT_EQ(2u, Info(*s, inbox).message_count);

  // The old record stays valid for whoever holds it.
  ASSERT_EQ(Status::kOk, s->ReplaceSource(inbox, a, "new source", Fields("changed")));
  EXPECT_EQ("Re: hello", r->subject());
  EXPECT_EQ("new source", Source(*s, inbox, a));
  MessageRecordPtr r2;
  s->FindMessage(inbox, a, &r2);
  EXPECT_EQ("changed", r2->subject());
  EXPECT_EQ(0u, r2->flags);
}

TEST(StoreMessages, CopyMoveAndDelete) {
  TestDir dir;
  auto s = OpenStore(dir.store());
  uint32_t inbox = s->SpecialFolderId(0), deleted = s->SpecialFolderId(3), box;
  s->CreateFolder(0, "Box", &box);
  uint32_t a = Add(*s, inbox, "aaa", kFlagUnread | 0x4);
  uint32_t b = Add(*s, inbox, "bbb");
  Add(*s, box, "existing");
  std::vector<uint32_t> made;
  ASSERT_EQ(Status::kOk, s->CopyMessages(inbox, box, {a, b}, false, 0x4, &made));
  ASSERT_EQ(2u, made.size());
  EXPECT_EQ((std::vector<uint32_t>{1, 2, 3}), Ids(*s, box));
  MessageRecordPtr r;
  s->FindMessage(box, made[0], &r);
  EXPECT_EQ(kFlagUnread, r->flags);  // 0x4 cleared on the copy
  EXPECT_EQ("aaa", Source(*s, box, made[0]));
  EXPECT_EQ(2u, Info(*s, inbox).message_count);

  ASSERT_EQ(Status::kOk, s->CopyMessages(inbox, box, {b}, true, 0, &made));
  EXPECT_EQ((std::vector<uint32_t>{a}), Ids(*s, inbox));
  EXPECT_EQ(Status::kNotFound, s->CopyMessages(inbox, 999, {a}, true, 0, &made));
  EXPECT_EQ(Status::kNotFound, s->CopyMessages(inbox, box, {b}, true, 0, &made));

  // Delete outside "Deleted Items" moves; inside it removes for good.
  ASSERT_EQ(Status::kOk, s->DeleteMessages(inbox, {a}));
  EXPECT_TRUE(Ids(*s, inbox).empty());
  auto in_deleted = Ids(*s, deleted);
  ASSERT_EQ(1u, in_deleted.size());
  EXPECT_EQ("aaa", Source(*s, deleted, in_deleted[0]));
  EXPECT_EQ(1u, Info(*s, deleted).unread_count);
  ASSERT_EQ(Status::kOk, s->DeleteMessages(deleted, in_deleted));
  EXPECT_TRUE(Ids(*s, deleted).empty());
  EXPECT_EQ(0u, Info(*s, deleted).unread_count);
}

TEST(StoreSharing, TwoOpensSeeEachOtherAtOnce) {
  TestDir dir;
  auto one = OpenStore(dir.store());
  auto two = OpenStore(dir.store());
  uint32_t inbox = one->SpecialFolderId(0);
  uint32_t id = Add(*one, inbox, "shared");
  EXPECT_EQ("shared", Source(*two, inbox, id));
  uint32_t f;
  ASSERT_EQ(Status::kOk, two->CreateFolder(0, "FromTwo", &f));
  EXPECT_EQ(Status::kDuplicateName, one->CreateFolder(0, "fromtwo", &f));
  uint32_t id2 = Add(*two, inbox, "second");
  EXPECT_GT(id2, id);
  EXPECT_EQ(2u, Info(*one, inbox).message_count);
}

TEST(StoreNotifications, ChangesArriveInOrderForEveryOpen) {
  TestDir dir;
  auto writer = OpenStore(dir.store());
  auto watcher = OpenStore(dir.store());
  std::vector<std::string> seen_w, seen_o;
  auto record = [](std::vector<std::string>* log) {
    return [log](const Change& c) {
      const char* kinds[] = {"created", "renamed", "moved", "deleted", "added", "removed", "unread"};
      std::string s = std::string(kinds[static_cast<int>(c.kind)]) + ":" + std::to_string(c.folder);
      if (c.kind == Change::Kind::kMessageAdded) s += "/" + std::to_string(c.message);
      if (c.kind == Change::Kind::kMessagesRemoved) s += "/" + std::to_string(c.messages.size());
      log->push_back(s);
    };
  };
  writer->SetListener(record(&seen_w));
  watcher->SetListener(record(&seen_o));
  uint32_t inbox = writer->SpecialFolderId(0), box, sub;
  writer->CreateFolder(0, "Box", &box);
  writer->CreateFolder(box, "Sub", &sub);
  uint32_t m = Add(*writer, inbox, "x", kFlagUnread);
  writer->SetFlags(inbox, {m}, 0, kFlagUnread, nullptr);
  writer->SetFlags(inbox, {m}, 0x10, 0x10, nullptr);  // no unread change
  writer->CopyMessages(inbox, box, {m}, true, 0, nullptr);
  writer->RenameFolder(box, "Box2");
  writer->DeleteFolder(box);
  std::string b = std::to_string(box), i = std::to_string(inbox), su = std::to_string(sub);
  std::vector<std::string> expected = {
      "created:" + b,  "created:" + su, "added:" + i + "/1", "unread:" + i, "unread:" + i,
      "added:" + b + "/1", "removed:" + i + "/1", "renamed:" + b, "deleted:" + b, "deleted:" + su};
  EXPECT_EQ(expected, seen_w);
  EXPECT_TRUE(seen_o.empty());
  ASSERT_TRUE(watcher->Refresh());
  EXPECT_EQ(expected, seen_o);
}

TEST(StoreDamage, TornTailIsCutAndDamageInTheMiddleIsSkipped) {
  TestDir dir;
  uint32_t inbox, first, second;
  {
    auto s = OpenStore(dir.store());
    inbox = s->SpecialFolderId(0);
    first = Add(*s, inbox, "first");
  }
  const std::string journal = dir.store() + "/journal.dat";
  {
    std::ofstream out(journal, std::ios::binary | std::ios::app);
    out << "PKJ1\x40\x00\x00\x00garbage";  // an entry that never finished
  }
  {
    auto s = OpenStore(dir.store());
    EXPECT_EQ("first", Source(*s, inbox, first));
    second = Add(*s, inbox, "second");  // the writer cuts the torn tail first
  }
  {
    auto s = OpenStore(dir.store());
    EXPECT_EQ(0u, s->damaged_bytes());
    EXPECT_EQ("second", Source(*s, inbox, second));
  }
  // Flip a byte inside the entry of the first message: it is skipped and
  // reported, the later one stays.
  std::string bytes;
  {
    std::ifstream in(journal, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), {});
  }
  size_t at = bytes.find("first");  // the subject inside the first add entry
  ASSERT_NE(std::string::npos, at);
  bytes[at] = 'F';
  {
    std::ofstream out(journal, std::ios::binary | std::ios::trunc);
    out << bytes;
  }
  Status st;
  std::string report;
  auto s = Store::Open(dir.store(), true, &st, &report);
  ASSERT_TRUE(s);
  EXPECT_GT(s->damaged_bytes(), 0u);
  EXPECT_NE(std::string::npos, report.find("damaged"));
  EXPECT_EQ("second", Source(*s, inbox, second));
  // Writing after the damage keeps the later entries.
  Add(*s, inbox, "third");
  s.reset();
  s = OpenStore(dir.store());
  EXPECT_EQ("second", Source(*s, inbox, second));
  EXPECT_EQ(2u, Ids(*s, inbox).size());
}

TEST(StoreDamage, GarbageFilesDoNotCrash) {
  TestDir dir;
  { OpenStore(dir.store()); }
  std::ofstream(dir.store() + "/journal.dat", std::ios::binary | std::ios::trunc)
      << std::string(5000, '\xFF');
  Status st;
  auto s = Store::Open(dir.store(), false, &st);
  EXPECT_EQ(nullptr, s);  // nothing readable: not a store, and nothing overwritten
  std::ifstream in(dir.store() + "/journal.dat", std::ios::binary | std::ios::ate);
  EXPECT_EQ(5000, in.tellg());
}

TEST(StoreSharing, ConcurrentWritersGetDistinctAscendingIds) {
  TestDir dir;
  { OpenStore(dir.store()); }
  const int kThreads = 4, kEach = 40;
  std::vector<std::thread> threads;
  std::vector<std::vector<uint32_t>> got(kThreads);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      // Half the threads share one open, the others have their own.
      static std::unique_ptr<Store> shared = OpenStore(dir.store());
      std::unique_ptr<Store> own = (t % 2) ? OpenStore(dir.store()) : nullptr;
      Store& s = own ? *own : *shared;
      for (int i = 0; i < kEach; ++i) {
        uint32_t id;
        if (s.AddMessage(1, kInvalidId, "t" + std::to_string(t), 0, Fields("x"), &id) == Status::kOk)
          got[t].push_back(id);
      }
    });
  }
  for (auto& th : threads) th.join();
  std::set<uint32_t> all;
  for (const auto& ids : got) {
    ASSERT_EQ(static_cast<size_t>(kEach), ids.size());
    for (size_t i = 1; i < ids.size(); ++i) EXPECT_LT(ids[i - 1], ids[i]);
    all.insert(ids.begin(), ids.end());
  }
  EXPECT_EQ(static_cast<size_t>(kThreads * kEach), all.size());
  auto s = OpenStore(dir.store());
  EXPECT_EQ(static_cast<uint32_t>(kThreads * kEach), Info(*s, 1).message_count);
}
