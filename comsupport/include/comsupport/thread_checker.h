// ThreadChecker: for an object tied to one thread, whether a call comes from that thread. Checked
// in debug builds only; in release builds it is empty and always answers yes.
//
//   class Folder {
//       void Method() { assert(thread_.CalledOnValidThread()); ... }
//       ThreadChecker thread_;  // bound to the thread that builds the object
//   };
#pragma once

#include <windows.h>

namespace pelkary {

class ThreadChecker {
public:
#ifdef NDEBUG
    bool CalledOnValidThread() const noexcept { return true; }
#else
    ThreadChecker() noexcept : thread_(GetCurrentThreadId()) {}
    // True on the thread that built the checker.
    bool CalledOnValidThread() const noexcept { return GetCurrentThreadId() == thread_; }

private:
    DWORD thread_;
#endif
};

}  // namespace pelkary
