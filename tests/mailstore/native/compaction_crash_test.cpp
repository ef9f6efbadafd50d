// Compaction killed at each of its file changes in turn: whatever step it dies at, the store
// opens (in a process that had it open all along, in a fresh open and in another process) with
// every folder and live message as before, compacts, and keeps one data file.
#include <stdio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "mailstore/store.h"
#include "mail_listing.h"
#include "test_dir.h"

using namespace mailstore;
namespace fs = std::filesystem;

namespace {

constexpr uint32_t kInbox = 1, kDeleted = 4;

// The exit code of |body| run in a child process; -1 when it did not exit.
int InChild(const std::function<int()>& body) {
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(body());
  int status = 0;
  if (pid < 0 || ::waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Every message (Mail) and every folder by its path, with its id and special type.
std::map<std::string, std::string> Contents(Store& s) {
  auto out = Mail(s);
  std::function<void(uint32_t, const std::string&)> walk = [&](uint32_t parent, const std::string& path) {
    std::vector<FolderInfo> subs;
    s.ListSubfolders(parent, &subs);
    for (const auto& f : subs) {
      out["folder " + path + "/" + f.name] = std::to_string(f.id) + ":" + std::to_string(f.special);
      walk(f.id, path + "/" + f.name);
    }
  };
  walk(kRootFolderId, "");
  return out;
}

size_t DataFiles(const std::string& dir) {
  size_t n = 0;
  for (const auto& f : fs::directory_iterator(dir))
    n += f.path().filename().string().rfind("messages", 0) == 0 && f.path().extension() == ".dat";
  return n;
}

// Live mail in nested folders, sources shared by copies, and the dead sources of mail deleted
// for good and of a replaced source.
void Fill(const std::string& dir) {
  auto s = Store::Open(dir, true, nullptr);
  uint32_t projects, archive, id;
  ASSERT_EQ(Status::kOk, s->CreateFolder(kRootFolderId, "Projects", &projects));
  ASSERT_EQ(Status::kOk, s->CreateFolder(projects, "Archive", &archive));
  std::vector<uint32_t> ids;
  for (int i = 0; i < 8; ++i) {
    const std::string source = "Subject: " + std::to_string(i) + "\r\n\r\n" + std::string(3000 * i, 'a' + i);
    ASSERT_EQ(Status::kOk, s->AddMessage(kInbox, kInvalidId, source, i % 2 ? kFlagUnread : 0, MessageFields(), &id));
    ids.push_back(id);
  }
  ASSERT_EQ(Status::kOk, s->AddMessage(archive, kInvalidId, "", 0, MessageFields(), &id));
  ASSERT_EQ(Status::kOk, s->CopyMessages(kInbox, archive, {ids[1], ids[2]}, false, 0, nullptr));
  ASSERT_EQ(Status::kOk, s->CopyMessages(kInbox, projects, {ids[3]}, true, 0, nullptr));
  ASSERT_EQ(Status::kOk, s->ReplaceSource(kInbox, ids[4], "Subject: new\r\n\r\nshort", MessageFields()));
  ASSERT_EQ(Status::kOk, s->DeleteMessages(kInbox, {ids[5], ids[6]}));
  std::vector<MessageRecordPtr> bin;
  ASSERT_EQ(Status::kOk, s->ListMessages(kDeleted, 0, &bin));
  ASSERT_EQ(Status::kOk, s->DeleteMessages(kDeleted, {bin.front()->id}));
}

}  // namespace

TEST(CompactionCrash, EveryStepLeavesTheStoreWholeAndCompactable) {
  TestDir pristine, dir;
  Fill(pristine.store());
  const auto before = Contents(*Store::Open(pristine.store(), false, nullptr));
  int points = 0;
  for (uint64_t n = 1;; ++n) {
    ASSERT_LT(n, 10000u) << "compaction never completes";
    SCOPED_TRACE("killed at file change " + std::to_string(n));
    fs::remove_all(dir.store());
    fs::copy(pristine.store(), dir.store());
    auto holder = Store::Open(dir.store(), false, nullptr);
    const int code = InChild([&] {
      auto s = Store::Open(dir.store(), false, nullptr);
      if (!s) return 1;
      CrashAtFileChange(n);
      return s->Compact() == Status::kOk ? 0 : 2;
    });
    if (code == 0) {
      EXPECT_EQ(before, Contents(*holder));
      EXPECT_EQ(1u, DataFiles(dir.store()));
      break;
    }
    ASSERT_EQ(kCrashExitCode, code);
    ++points;
    EXPECT_EQ(before, Contents(*holder));
    Status status;
    auto reopened = Store::Open(dir.store(), false, &status);
    ASSERT_TRUE(reopened);
    EXPECT_EQ(Status::kOk, status);
    EXPECT_EQ(before, Contents(*reopened));
    MessageRecordPtr r;
    ASSERT_EQ(Status::kOk, reopened->FindMessage(kInbox, 1, &r));
    EXPECT_EQ(r->generation == 1, !fs::exists(dir.store() + "/messages.dat"));  // past the switch, it goes
    EXPECT_EQ(0, InChild([&] {
      Status st;
      auto other = Store::Open(dir.store(), false, &st);
      return other && st == Status::kOk && Contents(*other) == before ? 0 : 1;
    }));
    ASSERT_EQ(Status::kOk, reopened->Compact());
    EXPECT_EQ(before, Contents(*reopened));
    EXPECT_EQ(before, Contents(*holder));
    std::vector<std::string> findings;
    EXPECT_EQ(Status::kOk, Store::Check(dir.store(), &findings)) << testing::PrintToString(findings);
    EXPECT_EQ(1u, DataFiles(dir.store()));
  }
  EXPECT_GT(points, 10);
  printf("compaction survived a kill at each of its %d file changes\n", points);
}
