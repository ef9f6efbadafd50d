// Compaction: deleted mail gives its space back, ids and reservations stay,
// other opens follow the switch, older stores compact, and a kill at any of
// its steps leaves the store whole.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <functional>

#include "store_support.h"

using namespace mailstore;
namespace fs = std::filesystem;

namespace {

uint64_t SpaceOf(const std::string& dir) {
  uint64_t total = 0;
  for (const auto& f : fs::directory_iterator(dir)) total += f.file_size();
  return total;
}

std::string U32(uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }
std::string Str(const std::string& s) { return U32(static_cast<uint32_t>(s.size())) + s; }

// A journal entry as every version frames it.
std::string Entry(const std::string& payload) {
  uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char b : payload) {
    crc ^= b;
    for (int k = 0; k < 8; ++k) crc = (crc & 1) ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
  }
  return "PKJ1" + U32(static_cast<uint32_t>(payload.size())) + U32(~crc) + payload;
}

// The exit code of |body| run in a child process; -1 when it did not exit.
int InChild(const std::function<int()>& body) {
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(body());
  int status = 0;
  return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

size_t DataFiles(const std::string& dir) {
  const std::vector<std::string> names = ListDirectory(dir);
  return std::count_if(names.begin(), names.end(), [](const std::string& n) { return n.rfind("messages", 0) == 0; });
}

}  // namespace

TEST(StoreCompaction, DeletedMailGivesItsSpaceBackAndOtherOpensFollow) {
  TestDir dir;
  auto s = OpenStore(dir.store()), other = OpenStore(dir.store());
  s->SetSyncEachCall(false);
  std::vector<uint32_t> ids(100);
  for (uint32_t i = 0; i < ids.size(); ++i)
    ids[i] = Add(*s, kInbox, "Subject: " + std::to_string(1000 + i) + "\r\n\r\n" + std::string(100000, 'a' + i % 26));
  ASSERT_TRUE(s->Flush());
  const uint64_t space = SpaceOf(dir.store());
  MessageRecordPtr held;
  ASSERT_EQ(Status::kOk, other->FindMessage(kInbox, ids[95], &held));
  uint32_t reserved;
  ASSERT_EQ(Status::kOk, s->ReserveMessageId(kInbox, &reserved));

  // Into Deleted Items (the copies keep the sources alive), then out for good.
  ASSERT_EQ(Status::kOk, s->DeleteMessages(kInbox, std::vector<uint32_t>(ids.begin(), ids.begin() + 90)));
  std::vector<MessageRecordPtr> bin;
  ASSERT_EQ(Status::kOk, s->ListMessages(kDeleted, 0, &bin));
  std::vector<uint32_t> bin_ids;
  for (const auto& r : bin) bin_ids.push_back(r->id);
  auto kept = Mail(*s);  // all but what goes for good next
  for (auto it = kept.begin(); it != kept.end();) it = it->first.rfind("Deleted", 0) ? std::next(it) : kept.erase(it);
  ASSERT_EQ(Status::kOk, s->DeleteMessages(kDeleted, bin_ids));  // compacts by itself

  EXPECT_LE(SpaceOf(dir.store()) * 4, space);
  EXPECT_FALSE(fs::exists(dir.store() + "/journal.dat"));
  EXPECT_EQ(kept, Mail(*other));
  EXPECT_EQ(-1, other->ReadSource(*held, 0, &std::string(10, '\0')[0], 10));  // listed before the switch
  // Ids stay taken: the reservation made before still stores, no deleted id comes back.
  EXPECT_EQ(Status::kOk, s->AddMessage(kInbox, reserved, "r", 0, MessageFields(), nullptr));
  EXPECT_EQ(reserved + 1, Add(*s, kInbox, "f"));

  // A compacted store that lost its journal is rebuilt from the newest data file.
  s.reset();
  other.reset();
  const auto now = Mail(*Store::Open(dir.store(), false, nullptr));
  for (const auto& f : fs::directory_iterator(dir.store()))
    if (f.path().filename().string().rfind("journal", 0) == 0) fs::remove(f.path());
  ASSERT_EQ(Status::kOk, Store::Recover(dir.store(), Fields, nullptr));
  EXPECT_EQ(now, Mail(*Store::Open(dir.store(), false, nullptr)));
}

TEST(StoreCompaction, StoresOfTheOlderFormatReadCheckAndCompact) {
  TestDir dir;
  fs::create_directories(dir.store());
  std::string folders, adds;
  const char* names[] = {"Inbox", "Outbox", "Sent Items", "Deleted Items", "Drafts"};
  for (uint32_t i = 0; i < 5; ++i) folders += '\x01' + U32(i + 1) + U32(0) + U32(i) + Str(names[i]);
  const std::string hello = "hello", world = "Message-ID: <w@x>\r\n\r\nworld!";
  for (uint32_t id : {1u, 2u})  // bare sources, no checksums, no Message-IDs in the entries
    adds += '\x06' + U32(kInbox) + U32(id) + U32(0) + U32(uint32_t((id == 1 ? hello : world).size())) + U32(0) +
            U32(0) + U32(id == 1 ? 0 : 5) + U32(0) + Str("s") + Str("") + Str("") + Str("") + U32(3) + U32(0) + U32(0);
  std::ofstream(dir.store() + "/journal.dat", std::ios::binary) << Entry(folders) << Entry(adds);
  std::ofstream(dir.store() + "/messages.dat", std::ios::binary) << hello << world;
  Status status;
  auto s = Store::Open(dir.store(), false, &status);
  ASSERT_TRUE(s);
  EXPECT_EQ(Status::kOk, status);
  std::vector<std::string> findings;
  EXPECT_EQ(Status::kOk, Store::Check(dir.store(), &findings)) << testing::PrintToString(findings);
  ASSERT_EQ(Status::kOk, s->CopyMessages(kInbox, 2, {1}, false, 0, nullptr));
  // Opened for writing, it starts a history; its messages are indexed once compaction reads them.
  HistoryId history;
  uint64_t cursor = 0;
  ASSERT_EQ(Status::kOk, s->GetHistory(&history, &cursor));
  EXPECT_FALSE(history.empty());
  EXPECT_EQ(8u, cursor);  // numbered from the replay of what was there
  uint32_t folder = 0, id = 0;
  EXPECT_EQ(Status::kNotFound, s->FindMessageId("w@x", &folder, &id));
  ASSERT_EQ(Status::kOk, s->Compact());
  s = Store::Open(dir.store(), false, &status);
  EXPECT_EQ((std::map<std::string, std::string>{{"Inbox/1", "0:hello"}, {"Inbox/2", "0:" + world},
                                                {"Outbox/1", "0:hello"}}),
            Mail(*s));
  ASSERT_EQ(Status::kOk, s->FindMessageId("w@x", &folder, &id));
  EXPECT_EQ(std::make_pair(kInbox, 2u), std::make_pair(folder, id));
}

// Compaction killed at each of its file changes in turn: whatever step it dies at, the store
// opens (in a process that had it open all along, in a fresh open and in another process) with
// every folder and live message as before, compacts, and keeps one data file.
TEST(CompactionCrash, EveryStepLeavesTheStoreWholeAndCompactable) {
  TestDir pristine, dir;
  {  // Live mail in nested folders, sources shared by copies, the dead sources of mail deleted
     // for good and of a replaced source.
    auto s = OpenStore(pristine.store());
    const uint32_t projects = Folder(*s, kRootFolderId, "Projects"), archive = Folder(*s, projects, "Archive");
    for (uint32_t i = 0; i < 8; ++i) Add(*s, kInbox, "S: " + std::string(3000 * i, 'a' + i), i % 2 ? kFlagUnread : 0);
    Add(*s, archive, "");
    ASSERT_EQ(Status::kOk, s->CopyMessages(kInbox, archive, {2, 3}, false, 0, nullptr));
    ASSERT_EQ(Status::kOk, s->CopyMessages(kInbox, projects, {4}, true, 0, nullptr));
    ASSERT_EQ(Status::kOk, s->ReplaceSource(kInbox, 5, "S: new", MessageFields()));
    ASSERT_EQ(Status::kOk, s->DeleteMessages(kInbox, {6, 7}));
    ASSERT_EQ(Status::kOk, s->DeleteMessages(kDeleted, {1}));
  }
  const auto before = Mail(*Store::Open(pristine.store(), false, nullptr), true);
  ASSERT_EQ(17u, before.size());  // 7 folders, 10 messages
  int points = 0;
  for (uint64_t n = 1;; ++n, ++points) {
    ASSERT_LT(n, 10000u) << "compaction never completes";
    SCOPED_TRACE("killed at file change " + std::to_string(n));
    fs::remove_all(dir.store());
    fs::copy(pristine.store(), dir.store());
    auto holder = Store::Open(dir.store(), false, nullptr);
    const int code = InChild([&] {
      auto s = Store::Open(dir.store(), false, nullptr);
      CrashAtFileChange(n);
      return s && s->Compact() == Status::kOk ? 0 : 1;
    });
    if (code == 0) break;
    ASSERT_EQ(kCrashExitCode, code);
    EXPECT_EQ(before, Mail(*holder, true));
    Status status;
    auto reopened = Store::Open(dir.store(), false, &status);
    ASSERT_TRUE(reopened);
    EXPECT_EQ(Status::kOk, status);
    EXPECT_EQ(before, Mail(*reopened, true));
    MessageRecordPtr r;
    ASSERT_EQ(Status::kOk, reopened->FindMessage(1, 2, &r));
    EXPECT_EQ(r->generation == 1, !fs::exists(dir.store() + "/messages.dat"));  // past the switch, it goes
    EXPECT_EQ(0, InChild([&] {
      auto other = Store::Open(dir.store(), false, &status);
      return other && status == Status::kOk && Mail(*other, true) == before ? 0 : 1;
    }));
    ASSERT_EQ(Status::kOk, reopened->Compact());
    EXPECT_EQ(before, Mail(*reopened, true));
    EXPECT_EQ(before, Mail(*holder, true));
    std::vector<std::string> findings;
    EXPECT_EQ(Status::kOk, Store::Check(dir.store(), &findings)) << testing::PrintToString(findings);
    EXPECT_EQ(1u, DataFiles(dir.store()));
  }
  EXPECT_GT(points, 10);
}
