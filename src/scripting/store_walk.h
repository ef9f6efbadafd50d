// Walks of the store that the scripting library reads through the store's own interface: the
// messages of a folder, and a folder with every folder below it.
#pragma once

#include <string>
#include <vector>

#include "scripting/mx_message_collection.h"
#include "store_api.h"

namespace pelkary {

// The stored messages of `folder_id`, in the store's order; none for the root (0), a folder the
// store cannot open, or a null `store`. Never throws but for memory.
std::vector<MessageRef> FolderMessages(IStoreNamespace* store, long folder_id);

// A folder as its parent lists it: its id and its name (from the code page).
struct FolderEntry {
    long id;
    std::wstring name;
};

// The folders right below `folder_id`, in the store's order; none for a null `store` or a folder
// the store cannot list. Never throws but for memory.
std::vector<FolderEntry> SubFolders(IStoreNamespace* store, long folder_id);

// `folder_id` followed by every folder below it, depth first; the root (0) gives every folder of
// the store after itself. Only `folder_id` for a null `store`. Never throws but for memory.
std::vector<long> FolderTree(IStoreNamespace* store, long folder_id);

}  // namespace pelkary
