#include "store_folder_paths.h"

#include <windows.h>

#include <vector>

#include "comsupport/text.h"
#include "folder_path.h"
#include "store_api.h"

namespace mailstore_com {
namespace {

bool IsAnsiLeadByte(unsigned char c) { return IsDBCSLeadByteEx(CP_ACP, c) != 0; }

// |text| in the ANSI code page; false when the code page lacks one of its characters (a name
// written with a stand-in character must not match a folder that has one).
bool ToAnsi(std::wstring_view text, std::string* out) {
  out->clear();
  if (text.empty()) return true;
  const int count = static_cast<int>(text.size());
  BOOL lossy = FALSE;
  const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), count, nullptr, 0, nullptr, &lossy);
  if (n <= 0 || lossy) return false;
  out->resize(static_cast<size_t>(n));
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), count, out->data(), n, nullptr, &lossy);
  return !lossy;
}

}  // namespace

uint32_t StoreFolderPaths::Find(std::wstring_view path) {
  std::string ansi;
  return ToAnsi(path, &ansi) ? FindAnsi(ansi) : FOLDERID_INVALID;
}

uint32_t StoreFolderPaths::FindUtf8(std::string_view path) { return Find(pelkary::utf8_to_wide(path)); }

uint32_t StoreFolderPaths::FindAnsi(const std::string& text) {
  const mxstore::FolderPath path = mxstore::FolderPath::Parse(text, IsAnsiLeadByte);
  if (path.is_id()) return Exists(path.id()) ? path.id() : FOLDERID_INVALID;
  uint32_t cur = FOLDERID_ROOT;
  for (const std::string& name : path.names()) {
    cur = Child(cur, name);
    if (cur == FOLDERID_INVALID) break;
  }
  if (cur == FOLDERID_INVALID && path.is_bare_number()) {
    const uint32_t id = static_cast<uint32_t>(std::stoul(path.names()[0]));
    if (id != FOLDERID_ROOT && Exists(id)) return id;
  }
  return cur;
}

bool StoreFolderPaths::PathOf(uint32_t id, std::wstring* path) {
  std::string ansi;
  // A folder tree is shallow, but a bound keeps a damaged one from looping.
  for (int depth = 0; id != FOLDERID_ROOT && depth < 4096; ++depth) {
    mailstore::FolderInfo info;
    if (store_.GetFolder(id, &info) != mailstore::Status::kOk) return false;
    const std::string name = mxstore::FolderPath::Escape(info.name, IsAnsiLeadByte);
    ansi = ansi.empty() ? name : name + "/" + ansi;
    id = info.parent;
  }
  if (id != FOLDERID_ROOT || ansi.empty()) return false;
  *path = pelkary::ansi_to_wide(ansi.c_str(), static_cast<int>(ansi.size()));
  return true;
}

uint32_t StoreFolderPaths::Child(uint32_t parent, const std::string& name) {
  std::vector<mailstore::FolderInfo> children;
  if (store_.ListSubfolders(parent, &children) != mailstore::Status::kOk) return FOLDERID_INVALID;
  for (const mailstore::FolderInfo& c : children)
    if (lstrcmpiA(c.name.c_str(), name.c_str()) == 0) return c.id;
  return FOLDERID_INVALID;
}

bool StoreFolderPaths::Exists(uint32_t id) {
  mailstore::FolderInfo info;
  return id != FOLDERID_ROOT && store_.GetFolder(id, &info) == mailstore::Status::kOk;
}

}  // namespace mailstore_com
