#include "folder_commands.h"

#include <cstdio>
#include <vector>

#include "comsupport/unique_henumstore.h"
#include "folder_path.h"
#include "opened_folder.h"
#include "tool_failure.h"
#include "tool_text.h"

namespace mxstore {
namespace {

std::vector<FOLDERPROPS> Children(IStoreNamespace* ns, STOREFOLDERID parent) {
  FOLDERPROPS p = {};
  p.cbSize = sizeof(p);
  std::vector<FOLDERPROPS> children;
  pelkary::unique_henumstore<IStoreNamespace> e;
  if (ns->GetFirstSubFolder(parent, &p, e.put(ns)) != S_OK) return children;
  do children.push_back(p);
  while (ns->GetNextSubFolder(e.get(), &p) == S_OK);
  return children;
}

void PrintTree(IStoreNamespace* ns, STOREFOLDERID parent, int depth) {
  for (const auto& c : Children(ns, parent)) {
    printf("%*s%-*s %6lu messages %6lu unread   (id %lu)\n", depth * 2, "", 32 - depth * 2, c.szName,
           c.cMessage, c.cUnread, c.dwFolderId);
    PrintTree(ns, c.dwFolderId, depth + 1);
  }
}

std::string Escape(const std::string& name) { return FolderPath::Escape(name, IsAnsiLeadByte); }

// Fails the command for a rename or move of folder |f| to |leaf| that the store refused.
void CheckMove(HRESULT hr, const OpenedFolder& f, const std::string& leaf) {
  if (hr == HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS))
    Fail("a folder '" + leaf + "' is there already (names ignore case); choose another name");
  if (hr == HRESULT_FROM_WIN32(ERROR_INVALID_NAME))
    Fail("'" + leaf + "' is not a valid folder name; use 1 to 255 bytes and no control characters");
  if (hr == E_ACCESSDENIED) Fail("cannot move '" + f.arg() + "' into a folder inside it; name another folder");
  if (FAILED(hr)) Fail("cannot move '" + f.arg() + "' (" + ToolText::Hresult(hr) + "); check the store");
}

}  // namespace

std::string FolderCommands::PathOf(IStoreNamespace* ns, STOREFOLDERID id, STOREFOLDERID parent) {
  for (const auto& c : Children(ns, parent)) {
    const std::string name = Escape(c.szName);
    if (c.dwFolderId == id) return name;
    if (std::string below = PathOf(ns, id, c.dwFolderId); !below.empty()) return name + "/" + below;
  }
  return "";
}

int FolderCommands::Folders(StoreClient& client, const Arguments&) {
  printf("Local Folders\n");
  PrintTree(client.ns(), FOLDERID_ROOT, 1);
  return 0;
}

int FolderCommands::Mkdir(StoreClient& client, const Arguments& a) {
  const bool parents = a.flag(L"-p");
  std::string arg = ToolText::Ansi(a.words[0]);
  FolderPath path = FolderPath::Parse(arg, IsAnsiLeadByte);
  if (path.is_id() || path.names().empty())
    Misuse("mkdir takes a path of names, not '" + arg + "'; e.g. mxstore mkdir -p Archive/2024");
  STOREFOLDERID cur = FOLDERID_ROOT;
  std::string done;  // the path so far, escaped
  for (size_t i = 0; i < path.names().size(); ++i) {
    const std::string& name = path.names()[i];
    const bool last = i + 1 == path.names().size();
    done += (done.empty() ? "" : "/") + Escape(name);
    STOREFOLDERID child = client.FindChild(cur, name);
    if (child != FOLDERID_INVALID) {
      if (last && !parents)
        Fail("a folder '" + done + "' already exists (names ignore case); choose another name");
      cur = child;
      continue;
    }
    if (!last && !parents)
      Fail("no folder '" + done + "' to create '" + Escape(path.names().back()) + "' in; use mkdir -p to create it too");
    HRESULT hr = client.ns()->CreateFolder(cur, name.c_str(), 0, &child);
    if (hr == HRESULT_FROM_WIN32(ERROR_INVALID_NAME))
      Fail("'" + name + "' is not a valid folder name; use 1 to 255 bytes and no control characters");
    if (FAILED(hr)) Fail("cannot create folder '" + done + "' (" + ToolText::Hresult(hr) + "); check the store");
    printf("created %s (id %lu)\n", done.c_str(), child);
    cur = child;
  }
  return 0;
}

int FolderCommands::Remove(StoreClient& client, const Arguments& a) {
  OpenedFolder f = OpenedFolder::Open(client, a.words[0]);
  const FOLDERPROPS props = f.props();
  if (props.sfType != FOLDER_NOTSPECIAL)
    Fail("'" + f.arg() + "' is a special folder and stays; delete its messages with mxstore rm " + f.arg() + " ID...");
  if (!a.flag(L"-r") && (props.cMessage || props.cSubFolders))
    Fail("'" + f.arg() + "' holds " + ToolText::Plural(props.cMessage, "message") + " and " +
         ToolText::Plural(props.cSubFolders, "folder") + "; add -r to delete it with all it holds");
  f.Close();
  HRESULT hr = client.ns()->DeleteFolder(props.dwFolderId, 0);
  if (FAILED(hr)) Fail("cannot delete '" + f.arg() + "' (" + ToolText::Hresult(hr) + "); check the store");
  printf("deleted folder %s\n", props.szName);
  return 0;
}

int FolderCommands::Move(StoreClient& client, const Arguments& a) {
  OpenedFolder f = OpenedFolder::Open(client, a.words[0]);
  if (f.props().sfType != FOLDER_NOTSPECIAL)
    Fail("'" + f.arg() + "' is a special folder; it keeps its name and place");
  f.Close();
  const STOREFOLDERID id = f.props().dwFolderId;
  const std::string old_name = f.props().szName;
  const std::string target = ToolText::Ansi(a.words[1]);
  const FolderPath path = FolderPath::Parse(target, IsAnsiLeadByte);
  STOREFOLDERID parent = client.FindFolder(target);
  std::string leaf = old_name;
  // NEWPATH names the folder as it will be, unless it names another folder
  // to move into (itself only by a change of case).
  if (parent == FOLDERID_INVALID || (parent == id && !path.names().empty())) {
    if (path.is_id()) Fail("no folder '" + target + "' in the store; 'mxstore folders' lists them");
    std::string parent_path;
    for (size_t i = 0; i + 1 < path.names().size(); ++i) parent_path += "/" + Escape(path.names()[i]);
    parent = client.FindFolder(parent_path);
    if (parent == FOLDERID_INVALID)
      Fail("no folder '" + parent_path.substr(1) + "' to move '" + f.arg() + "' into; create it first with "
           "mxstore mkdir -p");
    leaf = path.names().back();
  }
  const bool rename = leaf != old_name;
  if (rename) CheckMove(client.ns()->RenameFolder(id, 0, leaf.c_str()), f, leaf);
  HRESULT hr = client.ns()->MoveFolder(id, parent, 0);
  if (FAILED(hr) && rename) client.ns()->RenameFolder(id, 0, old_name.c_str());
  CheckMove(hr, f, leaf);
  printf("moved %s to %s\n", f.arg().c_str(), target.c_str());
  return 0;
}

}  // namespace mxstore
