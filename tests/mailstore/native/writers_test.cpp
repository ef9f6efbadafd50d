// Several processes writing into one folder at once: every call succeeds and
// the store ends as a serial run of the same calls leaves it.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "mailstore/store.h"
#include "test_dir.h"

using namespace mailstore;

namespace {

constexpr int kWriters = 4;
constexpr int kMessages = 25;
constexpr uint32_t kInbox = 1, kSent = 3, kDeleted = 4;

// Writer |w|'s calls; false at the first that fails. Half the messages go
// through a reservation that is stored only after a later message, as a
// stream is created, filled and committed while others store theirs.
bool Write(Store& s, int w) {
  for (int i = 0; i < kMessages; ++i) {
    const std::string source = "w" + std::to_string(w) + "m" + std::to_string(i);
    MessageFields fields;
    fields.subject = source;
    uint32_t reserved = kInvalidId, id = kInvalidId;
    if (i % 2 && s.ReserveMessageId(kInbox, &reserved) != Status::kOk) return false;
    if (s.AddMessage(kInbox, kInvalidId, source, kFlagUnread, fields, &id) != Status::kOk) return false;
    if (reserved != kInvalidId &&
        s.AddMessage(kInbox, reserved, source + "r", 0, fields, nullptr) != Status::kOk)
      return false;
    if (i % 5 == 0 && s.CopyMessages(kInbox, kSent, {id}, true, 0, nullptr) != Status::kOk) return false;
    if (i % 7 == 0 && reserved != kInvalidId && s.DeleteMessages(kInbox, {reserved}) != Status::kOk)
      return false;
    if (i % 3 == 0 && i % 5 != 0 && s.SetFlags(kInbox, {id}, 0, kFlagUnread, nullptr) != Status::kOk)
      return false;
  }
  return true;
}

// Folder contents as sorted "source/flags" lists, ids left out: their order
// depends on how the writers interleaved. Unique ids are checked on the way.
std::map<uint32_t, std::vector<std::string>> Contents(Store& s) {
  std::map<uint32_t, std::vector<std::string>> out;
  for (uint32_t folder : {kInbox, kSent, kDeleted}) {
    std::vector<MessageRecordPtr> list;
    EXPECT_EQ(Status::kOk, s.ListMessages(folder, 0, &list));
    for (size_t i = 0; i < list.size(); ++i) {
      if (i) {
        EXPECT_LT(list[i - 1]->id, list[i]->id) << "folder " << folder;
      }
      std::string source(list[i]->size, '\0');
      s.ReadSource(*list[i], 0, &source[0], source.size());
      out[folder].push_back(source + "/" + std::to_string(list[i]->flags));
    }
    std::sort(out[folder].begin(), out[folder].end());
    FolderInfo info;
    s.GetFolder(folder, &info);
    EXPECT_EQ(list.size(), info.message_count);
  }
  return out;
}

}  // namespace

TEST(StoreWriters, FourProcessesInOneFolderEndAsASerialRun) {
  TestDir parallel, serial;
  ASSERT_TRUE(Store::Open(parallel.store(), true, nullptr));
  std::vector<pid_t> children;
  for (int w = 0; w < kWriters; ++w) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      auto own = Store::Open(parallel.store(), false, nullptr);
      _exit(own && Write(*own, w) ? 0 : 1);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a writer failed";
  }
  auto one = Store::Open(serial.store(), true, nullptr);
  for (int w = 0; w < kWriters; ++w) ASSERT_TRUE(Write(*one, w));

  auto reopened = Store::Open(parallel.store(), false, nullptr);
  ASSERT_TRUE(reopened);
  const auto expected = Contents(*one);
  EXPECT_EQ(expected, Contents(*reopened));
  EXPECT_EQ(size_t{kWriters * (kMessages + kMessages / 2) - 4 * 5 - 4 * 2},
            expected.at(kInbox).size());
}

TEST(StoreWriters, AReservationIsStoredOnceWhateverTheOrder) {
  TestDir dir;
  auto s = Store::Open(dir.store(), true, nullptr);
  uint32_t a, b, got;
  ASSERT_EQ(Status::kOk, s->ReserveMessageId(kInbox, &a));
  ASSERT_EQ(Status::kOk, s->ReserveMessageId(kInbox, &b));
  const MessageFields f;
  ASSERT_EQ(Status::kOk, s->AddMessage(kInbox, b, "b", 0, f, &got));
  ASSERT_EQ(Status::kOk, s->AddMessage(kInbox, a, "a", 0, f, &got));
  for (uint32_t used : {a, b, b + 1})  // stored, stored, never reserved
    EXPECT_EQ(Status::kInvalidArgument, s->AddMessage(kInbox, used, "x", 0, f, nullptr)) << used;
  ASSERT_EQ(Status::kOk, s->RemoveMessages(kInbox, {a}));
  EXPECT_EQ(Status::kInvalidArgument, s->AddMessage(kInbox, a, "x", 0, f, nullptr));  // nor after a delete
  std::vector<MessageRecordPtr> list;
  ASSERT_EQ(Status::kOk, Store::Open(dir.store(), false, nullptr)->ListMessages(kInbox, 0, &list));
  ASSERT_EQ(1u, list.size());
  EXPECT_EQ(b, list[0]->id);
}
