#ifndef _WIN32

#include "mailstore/file.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mailstore {
namespace {

bool Flock(int fd, int operation) {
  while (::flock(fd, operation) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

}  // namespace

void* File::MapShared(size_t size, bool writable) {
  if (h_.view) return h_.view;
  void* p = ::mmap(nullptr, size, writable ? PROT_READ | PROT_WRITE : PROT_READ, MAP_SHARED, h_.fd, 0);
  if (p == MAP_FAILED) return nullptr;
  h_.view = p;
  h_.view_size = size;
  return h_.view;
}

void* File::MapSharedMemoryFor(const std::string&, size_t) { return nullptr; }

bool RemoveFile(const std::string& path) {
  if (FileChangeIsFatal()) CrashNow();
  return ::unlink(path.c_str()) == 0;
}

bool RenameOver(const std::string& from, const std::string& to) {
  if (FileChangeIsFatal()) CrashNow();
  return ::rename(from.c_str(), to.c_str()) == 0;
}

bool File::Open(const std::string& path, Mode mode) {
  Close();
  int flags = O_CLOEXEC | (mode == Mode::kRead ? O_RDONLY : (O_RDWR | O_CREAT));
  do {
    h_.fd = ::open(path.c_str(), flags, 0644);
  } while (h_.fd < 0 && errno == EINTR);
  return h_.fd >= 0;
}

bool File::is_open() const { return h_.fd >= 0; }

void File::Close() {
  if (h_.view) {
    ::munmap(h_.view, h_.view_size);
    h_.view = nullptr;
  }
  if (h_.fd >= 0) {
    ::close(h_.fd);
    h_.fd = -1;
  }
}

int64_t File::ReadAt(uint64_t offset, void* buffer, size_t size) const {
  size_t done = 0;
  auto* out = static_cast<char*>(buffer);
  while (done < size) {
    ssize_t n = ::pread(h_.fd, out + done, size - done, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<int64_t>(done);
}

bool File::Seek(uint64_t offset) {
  return ::lseek(h_.fd, static_cast<off_t>(offset), SEEK_SET) == static_cast<off_t>(offset);
}

int64_t File::Read(void* buffer, size_t size) {
  for (;;) {
    ssize_t n = ::read(h_.fd, buffer, size);
    if (n >= 0) return n;
    if (errno != EINTR) return -1;
  }
}

bool File::WriteWhole(uint64_t offset, const void* data, size_t size) {
  size_t done = 0;
  auto* in = static_cast<const char*>(data);
  while (done < size) {
    ssize_t n = ::pwrite(h_.fd, in + done, size - done, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

int64_t File::Size() const {
  struct stat st;
  if (::fstat(h_.fd, &st) != 0) return -1;
  return static_cast<int64_t>(st.st_size);
}

bool File::Truncate(uint64_t size) {
  if (FileChangeIsFatal()) CrashNow();
  return ::ftruncate(h_.fd, static_cast<off_t>(size)) == 0;
}

bool File::Sync() {
  if (FileChangeIsFatal()) CrashNow();
  return ::fdatasync(h_.fd) == 0;
}

bool File::LockShared() { return Flock(h_.fd, LOCK_SH); }

bool File::LockExclusive() { return Flock(h_.fd, LOCK_EX); }

void File::Unlock() { ::flock(h_.fd, LOCK_UN); }

bool DirectoryExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CreateDirectories(const std::string& path) {
  if (path.empty()) return false;
  if (DirectoryExists(path)) return true;
  size_t slash = path.find_last_of('/');
  if (slash != std::string::npos && slash > 0) CreateDirectories(path.substr(0, slash));
  return ::mkdir(path.c_str(), 0755) == 0 || DirectoryExists(path);
}

void SyncDirectory(const std::string& path) {
  if (FileChangeIsFatal()) CrashNow();
  int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
}

std::string JoinPath(const std::string& dir, const std::string& name) {
  if (dir.empty() || dir.back() == '/') return dir + name;
  return dir + "/" + name;
}

std::vector<std::string> ListDirectory(const std::string& path) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(path.c_str());
  if (!dir) return names;
  while (const dirent* e = ::readdir(dir)) {
    const std::string name = e->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(dir);
  return names;
}

}  // namespace mailstore

#endif  // !_WIN32
