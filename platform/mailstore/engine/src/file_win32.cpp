#ifdef _WIN32

#include "mailstore/file.h"

#include <windows.h>

#include <climits>
#include <cstdio>

namespace mailstore {
namespace {

std::wstring Widen(const std::string& utf8) {
  if (utf8.empty()) return std::wstring();
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &out[0], n);
  return out;
}

HANDLE H(void* h) { return static_cast<HANDLE>(h); }

// One positioned transfer moves at most 1 GB: ReadFile and WriteFile count in DWORDs.
constexpr size_t kLargestTransfer = size_t{1} << 30;

OVERLAPPED PositionAt(uint64_t offset) {
  OVERLAPPED ov = {};
  ov.Offset = static_cast<DWORD>(offset);
  ov.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return ov;
}

DWORD TransferSize(size_t remaining) {
  return static_cast<DWORD>(remaining > kLargestTransfer ? kLargestTransfer : remaining);
}

bool LockWhole(void* file, DWORD flags) {
  OVERLAPPED ov = {};
  return LockFileEx(H(file), flags, 0, MAXDWORD, MAXDWORD, &ov) != 0;
}

}  // namespace

void* File::MapShared(size_t size, bool writable) {
  if (h_.view) return h_.view;
  return KeepView(CreateFileMappingW(H(h_.file), nullptr, writable ? PAGE_READWRITE : PAGE_READONLY, 0,
                                     static_cast<DWORD>(size), nullptr),
                  size, writable);
}

void* File::KeepView(void* mapping, size_t size, bool writable) {
  if (!mapping) return nullptr;
  void* p = MapViewOfFile(H(mapping), writable ? FILE_MAP_WRITE : FILE_MAP_READ, 0, 0, size);
  if (!p) {
    CloseHandle(H(mapping));
    return nullptr;
  }
  h_.mapping = mapping;
  h_.view = p;
  h_.view_size = size;
  return h_.view;
}

void* File::MapSharedMemoryFor(const std::string& path, size_t size) {
  if (h_.view) return h_.view;
  wchar_t full[MAX_PATH * 2];
  const std::wstring wide = Widen(path);
  DWORD n = GetFullPathNameW(wide.c_str(), ARRAYSIZE(full), full, nullptr);
  std::wstring key = (n > 0 && n < ARRAYSIZE(full)) ? std::wstring(full, n) : wide;
  uint64_t h = 1469598103934665603ull;  // FNV-1a over the lower-cased full path
  for (wchar_t c : key) {
    wchar_t lower[2] = {c == L'/' ? L'\\' : c, 0};
    CharLowerW(lower);
    h = (h ^ static_cast<uint64_t>(lower[0])) * 1099511628211ull;
  }
  wchar_t name[64];
  swprintf(name, 64, L"Local\\PelkaryMailStoreSeq-%016llx", static_cast<unsigned long long>(h));
  return KeepView(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, static_cast<DWORD>(size), name),
                  size, true);
}

bool RemoveFile(const std::string& path) {
  if (FileChangeIsFatal()) CrashNow();
  return DeleteFileW(Widen(path).c_str()) != 0;
}

bool RenameOver(const std::string& from, const std::string& to) {
  if (FileChangeIsFatal()) CrashNow();
  return MoveFileExW(Widen(from).c_str(), Widen(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool File::Open(const std::string& path, Mode mode) {
  Close();
  DWORD access = mode == Mode::kRead ? GENERIC_READ : (GENERIC_READ | GENERIC_WRITE);
  DWORD disposition = mode == Mode::kRead ? OPEN_EXISTING : OPEN_ALWAYS;
  HANDLE h = CreateFileW(Widen(path).c_str(), access,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  h_.file = h;
  return true;
}

bool File::is_open() const { return h_.file != nullptr; }

void File::Close() {
  if (h_.view) {
    UnmapViewOfFile(h_.view);
    h_.view = nullptr;
  }
  if (h_.mapping) {
    CloseHandle(H(h_.mapping));
    h_.mapping = nullptr;
  }
  if (h_.file) {
    CloseHandle(H(h_.file));
    h_.file = nullptr;
  }
}

int64_t File::ReadAt(uint64_t offset, void* buffer, size_t size) const {
  size_t done = 0;
  auto* out = static_cast<char*>(buffer);
  while (done < size) {
    OVERLAPPED ov = PositionAt(offset + done);
    DWORD got = 0;
    if (!ReadFile(H(h_.file), out + done, TransferSize(size - done), &got, &ov)) {
      if (GetLastError() == ERROR_HANDLE_EOF) break;
      return -1;
    }
    if (got == 0) break;
    done += got;
  }
  return static_cast<int64_t>(done);
}

bool File::Seek(uint64_t offset) {
  LARGE_INTEGER to;
  to.QuadPart = static_cast<LONGLONG>(offset);
  return SetFilePointerEx(H(h_.file), to, nullptr, FILE_BEGIN) != 0;
}

int64_t File::Read(void* buffer, size_t size) {
  DWORD got = 0;
  if (!ReadFile(H(h_.file), buffer, TransferSize(size), &got, nullptr)) return -1;
  return got;
}

bool File::WriteWhole(uint64_t offset, const void* data, size_t size) {
  size_t done = 0;
  auto* in = static_cast<const char*>(data);
  while (done < size) {
    OVERLAPPED ov = PositionAt(offset + done);
    DWORD put = 0;
    if (!WriteFile(H(h_.file), in + done, TransferSize(size - done), &put, &ov) || put == 0) return false;
    done += put;
  }
  return true;
}

int64_t File::Size() const {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(H(h_.file), &size)) return -1;
  return size.QuadPart;
}

bool File::Truncate(uint64_t size) {
  if (FileChangeIsFatal()) CrashNow();
  FILE_END_OF_FILE_INFO info;
  info.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
  return SetFileInformationByHandle(H(h_.file), FileEndOfFileInfo, &info, sizeof(info)) != 0;
}

bool File::Sync() {
  if (FileChangeIsFatal()) CrashNow();
  return FlushFileBuffers(H(h_.file)) != 0;
}

bool File::LockShared() { return LockWhole(h_.file, 0); }

bool File::LockExclusive() { return LockWhole(h_.file, LOCKFILE_EXCLUSIVE_LOCK); }

void File::Unlock() {
  OVERLAPPED ov = {};
  UnlockFileEx(H(h_.file), 0, MAXDWORD, MAXDWORD, &ov);
}

bool DirectoryExists(const std::string& path) {
  DWORD attrs = GetFileAttributesW(Widen(path).c_str());
  return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY);
}

bool CreateDirectories(const std::string& path) {
  if (path.empty()) return false;
  if (DirectoryExists(path)) return true;
  size_t slash = path.find_last_of("\\/");
  if (slash != std::string::npos && slash > 0 && path[slash - 1] != ':')
    CreateDirectories(path.substr(0, slash));
  return CreateDirectoryW(Widen(path).c_str(), nullptr) || DirectoryExists(path);
}

void SyncDirectory(const std::string&) {
  if (FileChangeIsFatal()) CrashNow();
}

std::string JoinPath(const std::string& dir, const std::string& name) {
  if (dir.empty() || dir.back() == '\\' || dir.back() == '/') return dir + name;
  return dir + "\\" + name;
}

std::vector<std::string> ListDirectory(const std::string& path) {
  std::vector<std::string> names;
  WIN32_FIND_DATAW found;
  HANDLE h = FindFirstFileW(Widen(JoinPath(path, "*")).c_str(), &found);
  if (h == INVALID_HANDLE_VALUE) return names;
  do {
    const int n = WideCharToMultiByte(CP_UTF8, 0, found.cFileName, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) continue;
    std::string name(static_cast<size_t>(n - 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, found.cFileName, -1, &name[0], n, nullptr, nullptr);
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileW(h, &found));
  FindClose(h);
  return names;
}

}  // namespace mailstore

#endif  // _WIN32
