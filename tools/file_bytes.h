// Whole files read and written for import and export, every byte accounted for: a file that
// cannot be read or written whole fails the command (ToolFailure) with a line naming it.
#pragma once

#include <windows.h>

#include <string>

namespace mxstore {

class FileBytes {
 public:
  // All of |path|; files over 2 GB are refused.
  static std::string Read(const std::wstring& path);
  // Replaces |path| with |data|.
  static void Write(const std::wstring& path, const std::string& data);
  // Writes all of |data| to |file|; the number of bytes written before a failure.
  static size_t WriteAll(HANDLE file, const std::string& data);
};

}  // namespace mxstore
