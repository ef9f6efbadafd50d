#include "mailstore/file.h"

#include <stdlib.h>

#include <atomic>
#include <utility>

namespace mailstore {
namespace {

std::atomic<uint64_t> crash_at{0};
std::atomic<uint64_t> changes{0};

}  // namespace

void CrashAtFileChange(uint64_t n) {
  changes = 0;
  crash_at = n;
}

bool FileChangeIsFatal() {
  const uint64_t at = crash_at.load(std::memory_order_relaxed);
  return at != 0 && ++changes == at;
}

void CrashNow() { _Exit(kCrashExitCode); }

bool File::WriteAt(uint64_t offset, const void* data, size_t size) {
  if (!FileChangeIsFatal()) return WriteWhole(offset, data, size);
  WriteWhole(offset, data, size / 2);
  CrashNow();
}

File::~File() { Close(); }

File::File(File&& other) noexcept : h_(std::exchange(other.h_, Handles{})) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    h_ = std::exchange(other.h_, Handles{});
  }
  return *this;
}

}  // namespace mailstore
