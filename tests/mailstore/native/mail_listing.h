// What a store holds, as one comparable value.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "mailstore/store.h"

// Every message of |s| as "folder name/id" -> "flags:source" (the source
// "<unreadable>" when it does not read whole), folders walked from the top.
inline std::map<std::string, std::string> Mail(mailstore::Store& s) {
  std::map<std::string, std::string> out;
  std::vector<mailstore::FolderInfo> pending;
  s.ListSubfolders(mailstore::kRootFolderId, &pending);
  for (size_t i = 0; i < pending.size(); ++i) {
    std::vector<mailstore::FolderInfo> subs;
    s.ListSubfolders(pending[i].id, &subs);
    pending.insert(pending.end(), subs.begin(), subs.end());
    std::vector<mailstore::MessageRecordPtr> list;
    s.ListMessages(pending[i].id, 0, &list);
    for (const auto& r : list) {
      std::string source(r->size, '\0');
      const bool read = s.ReadSource(*r, 0, &source[0], source.size()) == r->size;
      out[pending[i].name + "/" + std::to_string(r->id)] =
          std::to_string(r->flags) + ":" + (read ? source : "<unreadable>");
    }
  }
  return out;
}
