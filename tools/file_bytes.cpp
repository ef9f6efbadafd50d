#include "file_bytes.h"

#include <windows.h>

#include <algorithm>

#include "comsupport/unique_any.h"
#include "tool_failure.h"
#include "tool_text.h"

namespace mxstore {

std::string FileBytes::Read(const std::wstring& path) {
  const std::string name = ToolText::Ansi(path);
  pelkary::unique_hfile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file)
    Fail("cannot open '" + name + "': " +
         (GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND
              ? "no such file; check the path"
              : "access denied or in use; check its permissions or close the program using it"));
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > 0x7FFFFFFF)
    Fail("'" + name + "' is too large to import (over 2 GB); split it first");
  std::string out(static_cast<size_t>(size.QuadPart), '\0');
  size_t done = 0;
  while (done < out.size()) {
    DWORD got = 0;
    if (!ReadFile(file.get(), &out[done], static_cast<DWORD>(out.size() - done), &got, nullptr) || !got)
      Fail("cannot read '" + name + "'; check the disk and retry");
    done += got;
  }
  return out;
}

void FileBytes::Write(const std::wstring& path, const std::string& data) {
  const std::string name = ToolText::Ansi(path);
  pelkary::unique_hfile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) Fail("cannot write '" + name + "'; check that the directory exists and is writable");
  const size_t done = WriteAll(file.get(), data);
  if (done != data.size())
    Fail("cannot write '" + name + "' whole (" + std::to_string(done) + " of " + std::to_string(data.size()) +
         " bytes written); check free disk space and retry");
}

size_t FileBytes::WriteAll(HANDLE file, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    const DWORD piece = static_cast<DWORD>(std::min<size_t>(data.size() - done, 1u << 30));
    DWORD put = 0;
    if (!WriteFile(file, data.data() + done, piece, &put, nullptr) || put == 0) break;
    done += put;
  }
  return done;
}

}  // namespace mxstore
