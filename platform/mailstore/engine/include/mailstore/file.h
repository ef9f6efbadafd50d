// File: the few file-system services the store engine needs, with one POSIX
// and one Win32 implementation (file_posix.cpp, file_win32.cpp) and what the
// two share (file.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace mailstore {

class File {
 public:
  enum class Mode { kRead, kReadWrite };

  File() = default;
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Opens |path| (UTF-8); kReadWrite creates it when missing. Returns false
  // and leaves the object closed on failure. Files are opened for sharing by
  // other processes (read, write and delete/rename).
  bool Open(const std::string& path, Mode mode);
  bool is_open() const;
  void Close();

  // Positional I/O; safe to call from several threads at once. Read returns
  // the number of bytes read (short at the end of the file), or -1.
  int64_t ReadAt(uint64_t offset, void* buffer, size_t size) const;
  bool WriteAt(uint64_t offset, const void* data, size_t size);
  // Sequential reading through the file's own position, for a File used by
  // one thread: cheaper than ReadAt on some platforms.
  bool Seek(uint64_t offset);
  int64_t Read(void* buffer, size_t size);
  // Size in bytes, or -1 on failure.
  int64_t Size() const;
  bool Truncate(uint64_t size);
  // Flushes written data to stable storage before returning.
  bool Sync();

  // Maps the first |size| bytes shared with every process that maps the
  // file (the file must be at least that long). The view lives until
  // Close(). Null on failure.
  void* MapShared(size_t size, bool writable);
  // Maps |size| zero-initialised bytes of memory shared by every process
  // that names the same |path|, backed by no file, so that no file cut
  // short by another program can take the view away. The File holds the
  // view until Close(). Win32 only: null elsewhere (and on failure).
  void* MapSharedMemoryFor(const std::string& path, size_t size);

  // Whole-file advisory lock shared between processes and between separate
  // File objects of one process. Blocking; false on failure.
  bool LockShared();
  bool LockExclusive();
  void Unlock();

 private:
  // What Close() releases; a closed or moved-from File holds the defaults.
  struct Handles {
#ifdef _WIN32
    void* file = nullptr;
    void* mapping = nullptr;
#else
    int fd = -1;
#endif
    void* view = nullptr;
    size_t view_size = 0;
  };
  Handles h_;
  // WriteAt without the crash point: all of |data| or false.
  bool WriteWhole(uint64_t offset, const void* data, size_t size);
#ifdef _WIN32
  // Maps a view of |mapping| and keeps both until Close(); closes |mapping|
  // when the view fails. The view, or null.
  void* KeepView(void* mapping, size_t size, bool writable);
#endif
};

// Directory helpers (UTF-8 paths).
bool DirectoryExists(const std::string& path);
// Replaces |to| with |from| in one step (both in one directory).
bool RenameOver(const std::string& from, const std::string& to);
// Removes a file; where the platform allows, one that others hold open goes
// once they close it.
bool RemoveFile(const std::string& path);
// Creates |path| and any missing parents; true when it exists afterwards.
bool CreateDirectories(const std::string& path);
// Flushes a directory entry change (a new file) to disk where the platform
// needs it; a no-op elsewhere.
void SyncDirectory(const std::string& path);
std::string JoinPath(const std::string& dir, const std::string& name);
// The names of the files in |path| (not "." and ".."); empty when it cannot be read.
std::vector<std::string> ListDirectory(const std::string& path);

// Crash tests: with |n| > 0 the process ends at once with exit code
// kCrashExitCode at its n-th file change counted from this call (a write,
// sync, truncate, rename, remove or directory sync), as a kill at that step
// would leave it: before the change, or for a write after its first half.
// 0 turns it off. For tests only.
constexpr int kCrashExitCode = 86;
void CrashAtFileChange(uint64_t n);

// For the file layer: counts one change and tells whether the process ends at it.
bool FileChangeIsFatal();
[[noreturn]] void CrashNow();

}  // namespace mailstore
