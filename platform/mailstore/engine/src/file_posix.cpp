#ifndef _WIN32

#include "mailstore/file.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mailstore {

File::~File() { Close(); }

File::File(File&& other) noexcept
    : fd_(other.fd_), view_(other.view_), view_size_(other.view_size_) {
  other.fd_ = -1;
  other.view_ = nullptr;
}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.fd_;
    view_ = other.view_;
    view_size_ = other.view_size_;
    other.fd_ = -1;
    other.view_ = nullptr;
  }
  return *this;
}

void* File::MapShared(size_t size, bool writable) {
  if (view_) return view_;
  void* p = ::mmap(nullptr, size, writable ? PROT_READ | PROT_WRITE : PROT_READ, MAP_SHARED, fd_, 0);
  if (p == MAP_FAILED) return nullptr;
  view_ = p;
  view_size_ = size;
  return view_;
}

bool File::Open(const std::string& path, Mode mode) {
  Close();
  int flags = O_CLOEXEC | (mode == Mode::kRead ? O_RDONLY : (O_RDWR | O_CREAT));
  do {
    fd_ = ::open(path.c_str(), flags, 0644);
  } while (fd_ < 0 && errno == EINTR);
  return fd_ >= 0;
}

bool File::is_open() const { return fd_ >= 0; }

void File::Close() {
  if (view_) {
    ::munmap(view_, view_size_);
    view_ = nullptr;
  }
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

int64_t File::ReadAt(uint64_t offset, void* buffer, size_t size) const {
  size_t done = 0;
  auto* out = static_cast<char*>(buffer);
  while (done < size) {
    ssize_t n = ::pread(fd_, out + done, size - done, static_cast<off_t>(offset + done));
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
  return ::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) == static_cast<off_t>(offset);
}

int64_t File::Read(void* buffer, size_t size) {
  for (;;) {
    ssize_t n = ::read(fd_, buffer, size);
    if (n >= 0) return n;
    if (errno != EINTR) return -1;
  }
}

bool File::WriteAt(uint64_t offset, const void* data, size_t size) {
  size_t done = 0;
  auto* in = static_cast<const char*>(data);
  while (done < size) {
    ssize_t n = ::pwrite(fd_, in + done, size - done, static_cast<off_t>(offset + done));
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
  if (::fstat(fd_, &st) != 0) return -1;
  return static_cast<int64_t>(st.st_size);
}

bool File::Truncate(uint64_t size) { return ::ftruncate(fd_, static_cast<off_t>(size)) == 0; }

bool File::Sync() { return ::fdatasync(fd_) == 0; }

bool File::LockShared() {
  while (::flock(fd_, LOCK_SH) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

bool File::LockExclusive() {
  while (::flock(fd_, LOCK_EX) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

void File::Unlock() { ::flock(fd_, LOCK_UN); }

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

}  // namespace mailstore

#endif  // !_WIN32
