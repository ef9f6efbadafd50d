// Compaction killed at each of its file changes in turn: whatever step it dies at, the store
// opens (in a process that had it open all along, in a fresh open and in another process) with
// every folder and live message as before, compacts, and keeps one data file.
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

#include "store_support.h"

using namespace mailstore;
namespace fs = std::filesystem;

namespace {

// The exit code of |body| run in a child process; -1 when it did not exit.
int InChild(const std::function<int()>& body) {
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(body());
  int status = 0;
  return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

size_t DataFiles(const std::string& dir) {
  size_t n = 0;
  for (const std::string& name : ListDirectory(dir)) n += name.rfind("messages", 0) == 0;
  return n;
}

}  // namespace

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
  printf("compaction survived a kill at each of its %d file changes\n", points);
}
