// Small readers shared by the folder tests: results of the folder and manager methods taken
// with their HRESULT checked, a tree builder, and direct access to the store for checking what
// the folder layer did.
#pragma once

#include <string>
#include <vector>

#include "store_api.h"
#include "support/test_support.h"

namespace pelkary::test {

// Out-parameter slots typed as the library declares them (coclass pointers).
inline ::MXFolder** FolderOut(com_ptr<IMXFolder>& folder) { return reinterpret_cast<::MXFolder**>(folder.put()); }
inline ::MXMessage** MessageOut(com_ptr<IMXMessage>& message) {
    return reinterpret_cast<::MXMessage**>(message.put());
}

long IdOf(IMXFolder* folder);
std::wstring NameOf(IMXFolder* folder);
long IsNullOf(IMXFolder* folder);
// GetMessageCount, GetUnreadCount, GetSubFolderCount.
long MessageCountOf(IMXFolder* folder);
long UnreadCountOf(IMXFolder* folder);
long SubFolderCountOf(IMXFolder* folder);
// The five special tests in the order Inbox, Outbox, Sent, Deleted, Draft.
std::vector<long> SpecialTestsOf(IMXFolder* folder);

com_ptr<IMXFolder> NextFolder(IMXFolderManager* manager);
com_ptr<IMXFolder> FirstFolder(IMXFolderManager* manager);
com_ptr<IMXFolder> FolderById(IMXFolderManager* manager, long id);
com_ptr<IMXFolder> NextChild(IMXFolder* folder);
com_ptr<IMXFolder> FirstChild(IMXFolder* folder);
// Names of the rest of the manager's walk (GetNextFolder until null; at most `limit` folders).
std::vector<std::wstring> RestOfWalk(IMXFolderManager* manager, int limit = 200);
// Names of a folder's children through GetNextChild until null.
std::vector<std::wstring> ChildNames(IMXFolder* folder);

long CreateFolderIn(IMXFolderManager* manager, long parent, const wchar_t* name);

// A top-level folder T with children A (with child A1) and B, made through the manager.
struct Tree {
    long t = -1, a = -1, a1 = -1, b = -1;
};
Tree MakeTree(IMXFolderManager* manager);

// The store itself, opened apart from pelkary on the same store directory.
com_ptr<IStoreNamespace> OpenStoreDirectly();
// Message ids of a folder in the store's order.
std::vector<MESSAGEID> StoredMessageIds(IStoreNamespace* store, long folder_id);
// The raw stored source of a message.
std::string StoredSource(IStoreNamespace* store, long folder_id, MESSAGEID id);
// Puts a message straight into the store; returns its id.
MESSAGEID StoreMessage(IStoreNamespace* store, long folder_id, const std::string& source);
// The folder id of a special folder, from the store.
long SpecialFolderId(IStoreNamespace* store, SPECIALFOLDER type);

// The names of the five special folders, in store order, as they appear at the top of a walk.
std::vector<std::wstring> SpecialFolderNames();

}  // namespace pelkary::test
