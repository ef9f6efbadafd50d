#include "scripting/store_walk.h"

#include "comsupport/text.h"
#include "comsupport/unique_henumstore.h"
#include "folders/message_props.h"

namespace pelkary {

std::vector<MessageRef> FolderMessages(IStoreNamespace* store, long folder_id) {
    std::vector<MessageRef> refs;
    com_ptr<IStoreFolder> folder;
    if (!store || folder_id == 0 || FAILED(store->OpenFolder(static_cast<STOREFOLDERID>(folder_id), 0, folder.put())) ||
        !folder)
        return refs;
    MessageProps props(folder.get());
    unique_henumstore<IStoreFolder> walk;
    HRESULT hr = folder->GetFirstMessage(MSGPROPS_FAST, 0, MESSAGEID_FIRST, props.put(), walk.put(folder.get()));
    while (hr == S_OK) {
        props.set_filled();
        refs.push_back({folder_id, props->dwMessageId});
        hr = folder->GetNextMessage(walk.get(), MSGPROPS_FAST, props.put());
    }
    return refs;
}

std::vector<FolderEntry> SubFolders(IStoreNamespace* store, long folder_id) {
    std::vector<FolderEntry> children;
    if (!store) return children;
    FOLDERPROPS props = EmptyFolderProps();
    unique_henumstore<IStoreNamespace> walk;
    HRESULT hr = store->GetFirstSubFolder(static_cast<STOREFOLDERID>(folder_id), &props, walk.put(store));
    while (hr == S_OK && walk) {
        children.push_back({static_cast<long>(props.dwFolderId), ansi_to_wide(props.szName)});
        props = EmptyFolderProps();
        hr = store->GetNextSubFolder(walk.get(), &props);
    }
    return children;
}

namespace {

void AddChildren(IStoreNamespace* store, long folder_id, std::vector<long>& tree, int depth) {
    // The store keeps folders a few levels deep; a cycle it might report must not recurse forever.
    if (depth > 64) return;
    for (const FolderEntry& child : SubFolders(store, folder_id)) {
        tree.push_back(child.id);
        AddChildren(store, child.id, tree, depth + 1);
    }
}

}  // namespace

std::vector<long> FolderTree(IStoreNamespace* store, long folder_id) {
    std::vector<long> tree{folder_id};
    if (store) AddChildren(store, folder_id, tree, 0);
    return tree;
}

}  // namespace pelkary
