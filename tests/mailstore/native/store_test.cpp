// The store engine through its public API: the folder rules, message ids and
// records, what a second open sees and hears, damaged journals, the Message-ID
// index and the change history. States
// are also checked after a reopen, which replays the journal.
#include <algorithm>
#include <ctime>
#include <fstream>

#include "store_support.h"

using namespace mailstore;
using Ids = std::vector<uint32_t>;
using S = Status;

namespace {

// The record, or an empty one (id kInvalidId).
MessageRecordPtr Find(Store& s, uint32_t folder, uint32_t id) {
  MessageRecordPtr r;
  return s.FindMessage(folder, id, &r) == S::kOk ? r : std::make_shared<MessageRecord>();
}

// A record as size/priority/sent time/its four texts=its source.
std::string Describe(Store& s, const MessageRecordPtr& r) {
  return std::to_string(r->size) + "/" + std::to_string(r->priority) + "/" + std::to_string(r->sent_time) +
         "/" + std::string(r->subject()) + "/" + std::string(r->normalized_subject()) + "/" +
         std::string(r->display_to()) + "/" + std::string(r->display_from()) + "=" + SourceOf(s, *r);
}

// A folder as name(messages unread subfolders)[id/flags=source ...]{id:subfolder ...}.
std::string Dump(Store& s, uint32_t folder = kRootFolderId) {
  FolderInfo f;
  if (s.GetFolder(folder, &f) != S::kOk) return "<missing>";
  std::string out = f.name + "(" + std::to_string(f.message_count) + " " + std::to_string(f.unread_count) +
                    " " + std::to_string(f.subfolder_count) + ")[";
  std::vector<MessageRecordPtr> list;
  s.ListMessages(folder, 0, &list);
  for (const auto& r : list)
    out += std::to_string(r->id) + "/" + std::to_string(r->flags) + "=" + SourceOf(s, *r) + " ";
  std::vector<FolderInfo> subs;
  s.ListSubfolders(folder, &subs);
  out += "]{";
  for (const auto& sub : subs)
    out += std::to_string(sub.id) + ":" + (sub.parent == folder ? "" : "<parent?>") + Dump(s, sub.id) + " ";
  return out + "}";
}

// Writes every change to |seen| as kind:folder, then /message ids or >new parent.
Store::Listener Recorder(std::vector<std::string>* seen) {
  return [seen](const Change& c) {
    const char* kinds[] = {"created", "renamed", "moved", "deleted", "added", "removed", "unread"};
    std::string s = kinds[static_cast<int>(c.kind)] + (":" + std::to_string(c.folder));
    if (c.message != kInvalidId) s += "/" + std::to_string(c.message);
    for (size_t i = 1; i < c.messages.size(); ++i) s += "/" + std::to_string(c.messages[i]);
    seen->push_back(c.kind == Change::Kind::kFolderMoved ? s + ">" + std::to_string(c.folder2) : s);
  };
}

class StoreTest : public ::testing::Test {
 protected:
  Store& Reopen() {
    s_.reset();
    s_ = OpenStore(dir_.store());
    return *s_;
  }
  // Replaying the journal gives the state the calls left.
  void ExpectReplayed(CALLER) {
    TRACE_CALLER;
    std::string live = Dump(*s_);
    EXPECT_EQ(live, Dump(Reopen()));
  }
  uint64_t JournalSize() { return std::filesystem::file_size(dir_.store() + "/journal.dat"); }

  TestDir dir_;
  std::unique_ptr<Store> s_ = OpenStore(dir_.store());
};

// A message with |header| before its own fields (for the Message-ID index).
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

TEST_F(StoreTest, OpensOnlyAStoreAndMakesItsSpecialFoldersOnce) {
  // The first entry: its frame and the op that makes the Inbox.
  std::string head(76, '\0');
  std::ifstream(dir_.store() + "/journal.dat", std::ios::binary).read(&head[0], head.size());
  EXPECT_EQ(std::string("PKJ1" "\xa7\0\0\0", 8), head.substr(0, 8));
  EXPECT_EQ(std::string("\x01" "\x01\0\0\0" "\0\0\0\0" "\0\0\0\0" "\x05\0\0\0" "Inbox", 22), head.substr(54));
  auto handles = [] { return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}); };
  s_.reset();
  const auto before = handles();
  EXPECT_EQ("(0 0 5)[]{1:Inbox(0 0 0)[]{} 2:Outbox(0 0 0)[]{} 3:Sent Items(0 0 0)[]{} "
            "4:Deleted Items(0 0 0)[]{} 5:Drafts(0 0 0)[]{} }", Dump(Reopen()));
  s_.reset();
  EXPECT_EQ(before, handles());  // closing leaves nothing open
  for (int i = -1; i <= kSpecialCount; ++i)
    EXPECT_EQ(i < 0 || i == kSpecialCount ? kInvalidId : uint32_t(i + 1), Reopen().SpecialFolderId(i)) << i;
  Status st = S::kOk;  // a failed Open gives null and says why
  std::string report;
  EXPECT_EQ(S::kNotFound, (Store::Open(dir_.path() + "/nope", false, &st), st));
  EXPECT_EQ(nullptr, Store::Open(dir_.path(), false, &st, &report));  // a directory, not a store
  EXPECT_EQ("no store in " + dir_.path() + " (run Initialize first)", report);
  EXPECT_TRUE(OpenStore(dir_.path() + "/several/missing/levels"));
}

// Each rule on a fresh tree A{A1{A11}} Z{a1} @ [: the status, and how many
// changes listeners hear (none when refused).
TEST(StoreFolders, Rules) {
  enum Op { kCreate, kRename, kMove, kDelete };
  enum Node { kRoot, kOutbox, kA, kA1, kA11, kZ, kUnknown };
  const struct { Op op; Node node, target; std::string name; Status expected; size_t changes; } cases[] = {
      {kCreate, kRoot, kRoot, "", S::kInvalidName, 0},     {kCreate, kRoot, kRoot, "a\x1F", S::kInvalidName, 0},
      {kCreate, kRoot, kRoot, "a\x7F", S::kInvalidName, 0}, {kCreate, kRoot, kRoot, " ~\x80\xFF", S::kOk, 1},
      {kCreate, kRoot, kRoot, std::string(255, 'n'), S::kOk, 1},
      {kCreate, kRoot, kRoot, std::string(256, 'n'), S::kInvalidName, 0},
      {kCreate, kRoot, kRoot, "INBOX", S::kDuplicateName, 0},
      {kCreate, kRoot, kRoot, "a", S::kDuplicateName, 0}, {kCreate, kRoot, kRoot, "z", S::kDuplicateName, 0},
      {kCreate, kRoot, kRoot, "`", S::kOk, 1},  // beside "@" and "[": only A-Z fold
      {kCreate, kRoot, kRoot, "{", S::kOk, 1},      {kCreate, kA, kRoot, "a1", S::kDuplicateName, 0},
      {kCreate, kA1, kRoot, "a1", S::kOk, 1},       {kCreate, kUnknown, kRoot, "x", S::kNotFound, 0},
      {kRename, kRoot, kRoot, "R", S::kNotAllowed, 0}, {kRename, kUnknown, kRoot, "x", S::kNotFound, 0},
      {kRename, kA, kRoot, "a\nb", S::kInvalidName, 0}, {kRename, kA, kRoot, "z", S::kDuplicateName, 0},
      {kRename, kA, kRoot, "a", S::kOk, 1},         {kMove, kA, kA, "", S::kNotAllowed, 0},
      {kMove, kA, kA11, "", S::kNotAllowed, 0},     {kMove, kRoot, kZ, "", S::kNotAllowed, 0},
      {kMove, kOutbox, kZ, "", S::kNotAllowed, 0},  {kMove, kUnknown, kZ, "", S::kNotFound, 0},
      {kMove, kA1, kUnknown, "", S::kNotFound, 0},  {kMove, kA1, kZ, "", S::kDuplicateName, 0},
      {kMove, kA1, kA, "", S::kOk, 0},  // already there
      {kMove, kA11, kZ, "", S::kOk, 1},             {kMove, kZ, kA11, "", S::kOk, 1},
      {kDelete, kRoot, kRoot, "", S::kNotAllowed, 0}, {kDelete, kOutbox, kRoot, "", S::kNotAllowed, 0},
      {kDelete, kUnknown, kRoot, "", S::kNotFound, 0}, {kDelete, kA, kRoot, "", S::kOk, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("case " + std::to_string(&c - cases) + ": " + c.name);
    TestDir dir;
    auto s = OpenStore(dir.store());
    uint32_t a = Folder(*s, 0, "A"), a1 = Folder(*s, a, "A1"), a11 = Folder(*s, a1, "A11");
    uint32_t z = Folder(*s, 0, "Z");
    for (const char* name : {"a1", "@", "["}) Folder(*s, name[0] == 'a' ? z : 0, name);
    const uint32_t ids[] = {kRootFolderId, 2, a, a1, a11, z, 99}, node = ids[c.node], target = ids[c.target];
    std::vector<std::string> heard;
    s->SetListener(Recorder(&heard));
    EXPECT_EQ(c.expected, c.op == kCreate   ? s->CreateFolder(node, c.name, nullptr)
                          : c.op == kRename ? s->RenameFolder(node, c.name)
                          : c.op == kMove   ? s->MoveFolder(node, target)
                                            : s->DeleteFolder(node));
    EXPECT_EQ(c.changes, heard.size());
  }
}

TEST_F(StoreTest, MessageIdsAscendAndAreNeverReused) {
  uint32_t r1, r2, got;
  Add(*s_, kInbox, "one");
  ASSERT_EQ(S::kOk, s_->ReserveMessageId(kInbox, &r1));
  ASSERT_EQ(S::kOk, s_->ReserveMessageId(kInbox, &r2));
  ASSERT_EQ(S::kOk, s_->AddMessage(kInbox, r2, "three", 0, Fields("three"), &got));
  EXPECT_EQ((Ids{2, 3, 3}), (Ids{r1, r2, got}));
  ASSERT_EQ(S::kOk, s_->AddMessage(kInbox, r1, "two", 0, Fields("two"), &got));  // reserved before a later one
  EXPECT_EQ(r1, got);
  for (uint32_t folder : {kRootFolderId, 99u})
    EXPECT_EQ(std::make_pair(S::kNotFound, S::kNotFound),
              std::make_pair(s_->AddMessage(folder, kInvalidId, "x", 0, {}, &got), s_->ReserveMessageId(folder, &got)));
  ASSERT_EQ(S::kOk, s_->RemoveMessages(kInbox, {r2}));
  ASSERT_EQ(S::kOk, s_->ReserveMessageId(kInbox, &r1));
  EXPECT_EQ(5u, Add(Reopen(), kInbox, "five"));  // after the reservation, also when replayed
  EXPECT_EQ("Inbox(3 0 0)[1/0=one 2/0=two 5/0=five ]{}", Dump(*s_, kInbox));  // sources never written over
  ExpectReplayed();
}

TEST_F(StoreTest, RecordsKeepWhatTheCallerGaveAndSourcesReadInPieces) {
  MessageRecordPtr old = Find(*s_, kInbox, Add(*s_, kInbox, "source-a", kFlagUnread | 0x10));
  EXPECT_NEAR(double(std::time(nullptr)), old->received_time / 1e7 - 11644473600.0, 5);  // FILETIME
  EXPECT_EQ("8/1/1234/source-a/n-source-a/to-source-a/from-source-a=source-a", Describe(*s_, old));
  const MessageFields f{"b", "n-b", "to-b", "from-b", 5, 99};
  ASSERT_EQ(S::kOk, s_->ReplaceSource(kInbox, 1, "replaced!", f));
  EXPECT_EQ(S::kNotFound, s_->ReplaceSource(kInbox, 2, "x", f));
  EXPECT_EQ("source-a", old->subject());  // whoever holds the old record keeps it
  std::string big(300000, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>('a' + i * 7 % 26);
  const MessageRecordPtr r = Find(*s_, kInbox, Add(*s_, kInbox, big));
  MessageRecordPtr now = Find(*s_, kInbox, 1);  // id, flags and received time stay
  EXPECT_EQ("9/5/99/b/n-b/to-b/from-b=replaced!", Describe(*s_, now));
  EXPECT_EQ((std::vector<uint64_t>{kFlagUnread | 0x10, old->received_time}),
            (std::vector<uint64_t>{now->flags, now->received_time}));
  ExpectReplayed();
  Store::SourceReader reader;
  ASSERT_TRUE(reader.Open(*s_, r));
  char buf[10];
  for (uint64_t at : {5, 299997, 300000, 7}) {  // forwards to the end, and back
    const size_t want = std::min<size_t>(10, big.size() - at);
    EXPECT_EQ(static_cast<int64_t>(want), s_->ReadSource(*r, at, buf, sizeof buf)) << at;
    EXPECT_EQ(big.substr(at, want), std::string(buf, want));
    EXPECT_EQ(static_cast<int64_t>(want), reader.ReadAt(at, buf, sizeof buf)) << at;
    EXPECT_EQ(big.substr(at, want), std::string(buf, want));
  }
  // A data file cut short gives a read error, never a hang or part of a source.
  std::filesystem::resize_file(dir_.store() + "/messages.dat", r->offset + 3);
  EXPECT_EQ(-1, reader.ReadAt(0, buf, sizeof buf));
  EXPECT_EQ(-1, s_->ReadSource(*r, 0, buf, sizeof buf));
}

TEST_F(StoreTest, FlagsCopiesMovesAndDeletes) {
  uint32_t a = Add(*s_, kInbox, "a", kFlagUnread | 0x4), b = Add(*s_, kInbox, "b", 0x10), box, reserved;
  Ids flags{99};
  ASSERT_EQ(S::kOk, s_->SetFlags(kInbox, {a, b}, 0x11, 0x13, &flags));
  EXPECT_EQ((Ids{0x15, 0x11}), flags);  // (old & ~mask) | (state & mask), in place of what was there
  EXPECT_EQ("Inbox(2 0 0)[1/21=a 2/17=b ]{}", Dump(*s_, kInbox));
  ASSERT_EQ(S::kOk, s_->SetFlags(kInbox, {a}, kFlagUnread, kFlagUnread | 0x10, nullptr));
  // An unknown id or folder fails the whole call and changes nothing.
  EXPECT_EQ(std::vector<Status>(4, S::kNotFound),
            (std::vector<Status>{s_->SetFlags(kInbox, {b, 99}, kFlagUnread, kFlagUnread, &flags),
                                 s_->SetFlags(99, {a}, 0, kFlagUnread, &flags), s_->RemoveMessages(kInbox, {b, 99}),
                                 s_->RemoveMessages(99, {b})}));
  EXPECT_EQ("Inbox(2 1 0)[1/7=a 2/17=b ]{}", Dump(*s_, kInbox));
  ASSERT_EQ(S::kOk, s_->CreateFolder(0, "Box", &box));
  Add(*s_, box, "old");
  ASSERT_EQ(S::kOk, s_->ReserveMessageId(box, &reserved));
  Ids made;
  ASSERT_EQ(S::kOk, s_->CopyMessages(kInbox, box, {b, a}, false, 0x4, &made));  // 0x4 cleared on copies
  EXPECT_EQ((Ids{reserved + 1, reserved + 2}), made);
  EXPECT_EQ(Find(*s_, kInbox, a)->received_time, Find(*s_, box, made[1])->received_time);
  ASSERT_EQ(S::kOk, s_->CopyMessages(kInbox, box, {b}, true, 0, &made));
  ASSERT_EQ(S::kOk, s_->CopyMessages(kInbox, kInbox, {a}, false, 0, &made));  // a copy beside it
  EXPECT_EQ((std::vector<Status>{S::kNotAllowed, S::kNotFound, S::kNotFound, S::kNotFound, S::kNotFound}),
            (std::vector<Status>{s_->CopyMessages(kInbox, kInbox, {a}, true, 0, &made),
                                 s_->CopyMessages(kInbox, kRootFolderId, {a}, false, 0, &made),
                                 s_->CopyMessages(kInbox, 99, {a}, false, 0, &made),
                                 s_->CopyMessages(99, box, {a}, false, 0, &made),
                                 s_->CopyMessages(kInbox, box, {a, b}, true, 0, &made)}));
  EXPECT_EQ("Inbox(2 2 0)[1/7=a 3/7=a ]{}|Box(4 1 0)[1/0=old 3/17=b 4/3=a 5/17=b ]{}",
            Dump(*s_, kInbox) + "|" + Dump(*s_, box));
  // Deleting moves into "Deleted Items", and removes for good there.
  ASSERT_EQ(S::kOk, s_->DeleteMessages(kInbox, {a}));
  EXPECT_EQ("Inbox(1 1 0)[3/7=a ]{}|Deleted Items(1 1 0)[1/7=a ]{}", Dump(*s_, kInbox) + "|" + Dump(*s_, 4));
  ASSERT_EQ(S::kOk, s_->DeleteMessages(4, {1}));
  EXPECT_EQ("Deleted Items(0 0 0)[]{}", Dump(*s_, 4));
  ExpectReplayed();
}

TEST_F(StoreTest, FolderChangesReachASecondOpenInOrder) {
  auto other = OpenStore(dir_.store());
  std::vector<std::string> mine, theirs;
  s_->SetListener(Recorder(&mine));
  other->SetListener(Recorder(&theirs));
  uint32_t box = Folder(*s_, 0, "Box"), sub = Folder(*s_, box, "Sub");
  Folder(*s_, box, "Sub2");
  uint32_t m = Add(*s_, kInbox, "x", kFlagUnread);
  s_->SetFlags(kInbox, {m}, 0x10, 0x10, nullptr);  // no change of unread
  uint32_t m2 = Add(*s_, kInbox, "y", kFlagUnread);
  s_->SetFlags(kInbox, {m}, 0, kFlagUnread, nullptr);
  s_->CopyMessages(kInbox, box, {m2, m}, true, 0, nullptr);
  s_->RenameFolder(box, "Box2");
  s_->MoveFolder(sub, kRootFolderId);
  s_->MoveFolder(sub, box);
  s_->DeleteFolder(box);
  const std::vector<std::string> expected = {
      "created:6", "created:7", "created:8", "added:1/1", "unread:1", "added:1/2", "unread:1",
      "unread:1", "added:6/1", "unread:6", "added:6/2", "removed:1/2/1", "unread:1", "renamed:6",
      "moved:7>0", "moved:7>6", "deleted:6", "deleted:7", "deleted:8"};
  EXPECT_EQ(expected, mine);
  EXPECT_EQ(std::vector<std::string>{}, theirs);
  ASSERT_TRUE(other->Refresh());
  EXPECT_EQ(expected, theirs);
  // The other way round, without a Refresh: every call looks first.
  EXPECT_EQ(9u, Folder(*other, 0, "FromOther"));  // no id is given twice
  EXPECT_EQ(3u, Find(*s_, kInbox, Add(*other, kInbox, "z"))->id);
  EXPECT_EQ(S::kDuplicateName, s_->CreateFolder(0, "fromother", nullptr));
  EXPECT_EQ(Dump(*s_), Dump(*other));
  other.reset();
  EXPECT_EQ(10u, Folder(Reopen(), 9, "Sub"));  // nor after a replay
  for (uint32_t gone : {6u, 7u, 8u}) EXPECT_EQ("<missing>", Dump(*s_, gone));  // with their messages
  ExpectReplayed();
}

TEST_F(StoreTest, TornTailsAreCutAndDamageIsSkippedAndReported) {
  const uint64_t start = JournalSize();
  Add(*s_, kInbox, "first");
  s_.reset();
  const uint64_t good = JournalSize(), entry = good - start;
  const struct { std::string tail; uint64_t kept; } cases[] = {
      {"P", 0}, {"PKJ1", 0}, {std::string("PKJ1\x40\0\0", 7), 0}, {std::string("PKJ1\x40\0\0\0CRC!partial", 19), 0},
      {"PKX", 3}, {"PKJ1\xFF\xFF\xFF\x7F" "CRC!", 12},  // not the start of one entry
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.tail);
    std::filesystem::resize_file(dir_.store() + "/journal.dat", good);
    std::ofstream(dir_.store() + "/journal.dat", std::ios::binary | std::ios::app) << c.tail;
    EXPECT_EQ(good + c.kept, (Reopen(), JournalSize()));
    EXPECT_EQ(0u, s_->damaged_bytes());
    Add(*s_, kInbox, "second");
    EXPECT_EQ(c.kept, s_->damaged_bytes());  // now in the middle
    EXPECT_EQ(c.kept, Reopen().damaged_bytes());
    EXPECT_EQ("Inbox(2 0 0)[1/0=first 2/0=second ]{}", Dump(*s_, kInbox));
  }
  // A damaged entry in the middle is skipped and reported; later ones stay.
  s_.reset();
  std::fstream(dir_.store() + "/journal.dat", std::ios::binary | std::ios::in | std::ios::out)
      .seekp(static_cast<std::streamoff>(good - 1)).put('!');
  std::string report;
  s_ = Store::Open(dir_.store(), false, nullptr, &report);
  ASSERT_TRUE(s_);
  const std::string skipped = std::to_string(entry + 12);  // the entry and the tail kept above
  EXPECT_EQ("skipped " + skipped + " damaged bytes of " + dir_.store() + "/journal.dat", report);
  Add(*s_, kInbox, "third");
  EXPECT_EQ("Inbox(2 0 0)[2/0=second 3/0=third ]{}", Dump(Reopen(), kInbox));
  EXPECT_EQ(entry + 12, s_->damaged_bytes());
}

// The Message-ID index and the change history: kept by every write, the same in every open of the
// store (each Store object replays the journal as another process would), and carried across
// reopening and compaction.
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
