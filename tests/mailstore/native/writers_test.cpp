// Several processes, each with threads on a shared open and on an open of
// their own, writing into one folder at once: every call succeeds and the
// store ends as a serial run of the same calls leaves it.
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <set>
#include <thread>

#include "store_support.h"

using namespace mailstore;

namespace {

// Writer |w|'s calls; false at the first that fails. Half the messages go
// through a reservation stored only after a later message, as a stream is
// created, filled and committed while others store theirs.
bool Write(Store& s, int w) {
  for (int i = 0; i < 25; ++i) {
    const std::string source = "w" + std::to_string(w) + "m" + std::to_string(i);
    uint32_t reserved = kInvalidId, id = kInvalidId;
    if (i % 2 && s.ReserveMessageId(kInbox, &reserved) != Status::kOk) return false;
    if (s.AddMessage(kInbox, kInvalidId, source, kFlagUnread, {}, &id) != Status::kOk) return false;
    if (reserved != kInvalidId && (s.AddMessage(kInbox, reserved, source + "r", 0, {}, nullptr) != Status::kOk ||
                                   s.AddMessage(kInbox, reserved, "again", 0, {}, nullptr) != Status::kInvalidArgument))
      return false;  // a reservation is stored once
    if (i % 5 == 0 && s.CopyMessages(kInbox, kSent, {id}, true, 0, nullptr) != Status::kOk) return false;
    if (i % 7 == 0 && reserved != kInvalidId &&
        (s.DeleteMessages(kInbox, {reserved}) != Status::kOk ||
         s.AddMessage(kInbox, reserved, "back", 0, {}, nullptr) != Status::kInvalidArgument))
      return false;  // nor after its message is gone
    if (i % 3 == 0 && i % 5 && s.SetFlags(kInbox, {id}, 0, kFlagUnread, nullptr) != Status::kOk) return false;
  }
  return true;
}

// The mail without its ids, whose order depends on how the writers interleaved.
std::multiset<std::string> WithoutIds(Store& s) {
  std::multiset<std::string> out;
  for (const auto& [where, message] : Mail(s)) out.insert(where.substr(0, where.find('/')) + message);
  return out;
}

}  // namespace

TEST(StoreWriters, ProcessesAndThreadsInOneFolderEndAsASerialRun) {
  TestDir parallel, serial;
  ASSERT_TRUE(Store::Open(parallel.store(), true, nullptr));
  std::vector<pid_t> children;
  for (int w = 0; w < 4; ++w) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      auto shared = Store::Open(parallel.store(), false, nullptr), own = Store::Open(parallel.store(), false, nullptr);
      std::atomic<bool> ok{shared && own};
      std::vector<std::thread> threads;
      for (int t = 0; t < 3 && ok; ++t)
        threads.emplace_back([&, t] { ok = Write(t < 2 ? *shared : *own, w + 4 * t) && ok; });
      for (auto& thread : threads) thread.join();
      _exit(ok ? 0 : 1);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a writer failed";
  }
  auto one = Store::Open(serial.store(), true, nullptr);
  for (int w = 0; w < 12; ++w) ASSERT_TRUE(Write(*one, w));
  const auto expected = WithoutIds(*one);
  EXPECT_EQ(12u * (25 + 12), expected.size());  // a lost or doubled id leaves fewer
  EXPECT_EQ(expected, WithoutIds(*Store::Open(parallel.store(), false, nullptr)));
}
