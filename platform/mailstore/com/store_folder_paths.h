// Folder paths as the store tool writes them ("Archive/2024", "\/" for a "/" inside a name,
// "#7" for the folder with id 7; see tools/folder_path.h), read and written over the engine's
// folder tree. Folder names are stored in the ANSI code page of the process that wrote them, so
// paths are resolved in this process's ANSI code page, names compared without regard to case
// as the tool compares them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "mailstore/store.h"

namespace mailstore_com {

class StoreFolderPaths {
 public:
  explicit StoreFolderPaths(mailstore::Store& store) : store_(store) {}

  // The folder |path| (UTF-16) names; a path that is one name of digits and names no top-level
  // folder is, as in the tool, the folder with that id. FOLDERID_ROOT for the top (an empty
  // path), FOLDERID_INVALID when there is none (also for a name the code page cannot hold).
  uint32_t Find(std::wstring_view path);
  // The same for a UTF-8 path.
  uint32_t FindUtf8(std::string_view path);
  // The path of folder |id| from the top, escaped so that Find reads it back; false when there
  // is no such folder (or it is the top).
  bool PathOf(uint32_t id, std::wstring* path);

 private:
  uint32_t FindAnsi(const std::string& path);
  uint32_t Child(uint32_t parent, const std::string& name);
  bool Exists(uint32_t id);

  mailstore::Store& store_;
};

}  // namespace mailstore_com
