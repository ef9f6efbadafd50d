// FileLock: holds a whole-file lock of |file| (shared or exclusive) for one
// scope. Check locked(): taking it can fail.
#pragma once

#include "mailstore/file.h"

namespace mailstore {

class FileLock {
 public:
  FileLock(File& file, bool exclusive) : file_(file) {
    locked_ = exclusive ? file_.LockExclusive() : file_.LockShared();
  }
  ~FileLock() {
    if (locked_) file_.Unlock();
  }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  bool locked() const { return locked_; }

 private:
  File& file_;
  bool locked_;
};

}  // namespace mailstore
