// Kills a writing child process at random instants and checks that the
// reopened store holds every completed operation and no partial message.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "mailstore/store.h"
#include "test_dir.h"

using namespace mailstore;

namespace {

// Source of message |k|: its size and bytes follow from k, so any partial or
// mixed-up source shows.
std::string SourceFor(uint32_t k) {
  std::string s = "Subject: m" + std::to_string(k) + "\r\n\r\n";
  size_t size = 200 + (k * 7919u) % 20000u;
  std::mt19937 gen(k);
  while (s.size() < size) s.push_back(static_cast<char>('a' + gen() % 26));
  return s;
}

// The child: writes forever, reporting each completed call on |fd|.
[[noreturn]] void WriterChild(const std::string& dir, int fd, uint32_t start) {
  Status st;
  auto store = Store::Open(dir, true, &st);
  if (!store) _exit(3);
  uint32_t inbox = store->SpecialFolderId(0);
  for (uint32_t k = start;; ++k) {
    MessageFields f;
    f.subject = "m" + std::to_string(k);
    uint32_t id;
    if (store->AddMessage(inbox, kInvalidId, SourceFor(k), kFlagUnread, f, &id) != Status::kOk) _exit(4);
    if (k % 5 == 0) store->SetFlags(inbox, {id}, 0, kFlagUnread, nullptr);
    if (k % 7 == 0) {
      uint32_t folder;
      store->CreateFolder(0, "f" + std::to_string(k), &folder);
    }
    uint32_t done = k;
    if (write(fd, &done, sizeof(done)) != sizeof(done)) _exit(5);
  }
}

}  // namespace

TEST(StoreCrash, KilledWriterLeavesAConsistentStore) {
  TestDir dir;
  const int kKills = 220;
  std::mt19937 rng(12345);
  std::set<uint32_t> completed;
  uint32_t next = 1;
  std::set<uint32_t> stored_unreported;
  {
    Status st;
    ASSERT_TRUE(Store::Open(dir.store(), true, &st));
  }
  for (int round = 0; round < kKills; ++round) {
    int fds[2];
    ASSERT_EQ(0, pipe(fds));
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      close(fds[0]);
      WriterChild(dir.store(), fds[1], next);
    }
    close(fds[1]);
    usleep(2000 + rng() % 30000);
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "writer failed with " << WEXITSTATUS(status);
    uint32_t k;
    while (read(fds[0], &k, sizeof(k)) == sizeof(k)) {
      completed.insert(k);
      next = k + 1;
    }
    close(fds[0]);

    // A call that started but was not reported may or may not be there; every
    // reported one must be, and every message must be whole.
    Status st;
    std::string report;
    auto store = Store::Open(dir.store(), false, &st, &report);
    ASSERT_TRUE(store) << "round " << round << ": " << report;
    EXPECT_EQ(0u, store->damaged_bytes()) << "round " << round;
    uint32_t inbox = store->SpecialFolderId(0);
    std::vector<MessageRecordPtr> list;
    ASSERT_EQ(Status::kOk, store->ListMessages(inbox, 0, &list));
    std::set<uint32_t> present;
    uint32_t last_id = 0;
    for (const auto& r : list) {
      EXPECT_GT(r->id, last_id);
      last_id = r->id;
      uint32_t key = static_cast<uint32_t>(std::stoul(std::string(r->subject().substr(1))));
      std::string expected = SourceFor(key);
      std::string got(r->size, '\0');
      ASSERT_EQ(static_cast<int64_t>(got.size()), store->ReadSource(*r, 0, &got[0], got.size()));
      ASSERT_EQ(expected, got) << "message m" << key << " is not whole";
      present.insert(key);
      if (!completed.count(key)) {
        stored_unreported.insert(key);
        next = std::max(next, key + 1);
      }
    }
    for (uint32_t key : completed) ASSERT_TRUE(present.count(key)) << "lost completed m" << key;
  }
  std::cout << "[ crash ] " << kKills << " kill points, " << completed.size()
            << " completed writes, " << stored_unreported.size()
            << " writes stored but killed before reporting\n";
}
