// Kills a writing child process at random instants and checks that the
// reopened store holds every completed operation and no partial message.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <iostream>
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
  std::mt19937 gen(k);
  while (s.size() < 200 + (k * 7919u) % 20000u) s.push_back(static_cast<char>('a' + gen() % 26));
  return s;
}

// The child: writes forever, reporting each completed call on |fd|.
[[noreturn]] void WriterChild(const std::string& dir, int fd, uint32_t start) {
  auto store = Store::Open(dir, true, nullptr);
  if (!store) _exit(3);
  for (uint32_t k = start;; ++k) {
    MessageFields f;
    f.subject = "m" + std::to_string(k);
    uint32_t id;
    if (store->AddMessage(1, kInvalidId, SourceFor(k), kFlagUnread, f, &id) != Status::kOk) _exit(4);
    if (k % 5 == 0) store->SetFlags(1, {id}, 0, kFlagUnread, nullptr);
    if (k % 7 == 0) store->CreateFolder(0, "f" + std::to_string(k), nullptr);
    if (write(fd, &k, sizeof(k)) != sizeof(k)) _exit(5);
  }
}

}  // namespace

TEST(StoreCrash, KilledWriterLeavesAConsistentStore) {
  TestDir dir;
  ASSERT_TRUE(Store::Open(dir.store(), true, nullptr));
  std::mt19937 rng(12345);
  std::set<uint32_t> completed;
  uint32_t next = 1;  // the first key the next child writes
  for (int round = 0; round < 220; ++round) {
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
    for (uint32_t k; read(fds[0], &k, sizeof(k)) == sizeof(k); next = k + 1) completed.insert(k);
    close(fds[0]);

    // A call that started but was not reported may or may not be there; every
    // reported one must be, and every message must be whole.
    std::string report;
    auto store = Store::Open(dir.store(), false, nullptr, &report);
    ASSERT_TRUE(store) << "round " << round << ": " << report;
    EXPECT_EQ(0u, store->damaged_bytes()) << "round " << round;
    std::vector<MessageRecordPtr> list;
    ASSERT_EQ(Status::kOk, store->ListMessages(1, 0, &list));
    std::set<uint32_t> present;
    for (size_t i = 0; i < list.size(); ++i) {
      const MessageRecord& r = *list[i];
      if (i > 0) { EXPECT_GT(r.id, list[i - 1]->id); }
      uint32_t key = static_cast<uint32_t>(std::stoul(std::string(r.subject().substr(1))));
      std::string got(r.size, '\0');
      ASSERT_EQ(static_cast<int64_t>(got.size()), store->ReadSource(r, 0, &got[0], got.size()));
      ASSERT_EQ(SourceFor(key), got) << "message m" << key << " is not whole";
      present.insert(key);
      next = std::max(next, key + 1);  // written, maybe not reported
    }
    for (uint32_t key : completed) ASSERT_TRUE(present.count(key)) << "lost completed m" << key;
  }
  std::cout << "[ crash ] 220 kill points, " << completed.size() << " completed writes\n";
}
