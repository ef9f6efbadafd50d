#include "folder_test_util.h"

namespace pelkary::test {

namespace {

long LongAnswer(HRESULT (STDMETHODCALLTYPE IMXFolder::*method)(long*), IMXFolder* folder) {
    long value = -12345;
    EXPECT_HR(S_OK, (folder->*method)(&value));
    return value;
}

}  // namespace

long IdOf(IMXFolder* folder) { return LongAnswer(&IMXFolder::GetID, folder); }
long IsNullOf(IMXFolder* folder) { return LongAnswer(&IMXFolder::IsNull, folder); }
long MessageCountOf(IMXFolder* folder) { return LongAnswer(&IMXFolder::GetMessageCount, folder); }
long UnreadCountOf(IMXFolder* folder) { return LongAnswer(&IMXFolder::GetUnreadCount, folder); }
long SubFolderCountOf(IMXFolder* folder) { return LongAnswer(&IMXFolder::GetSubFolderCount, folder); }

std::vector<long> SpecialTestsOf(IMXFolder* folder) {
    return {LongAnswer(&IMXFolder::IsInbox, folder), LongAnswer(&IMXFolder::IsOutbox, folder),
            LongAnswer(&IMXFolder::IsSent, folder), LongAnswer(&IMXFolder::IsDeleted, folder),
            LongAnswer(&IMXFolder::IsDraft, folder)};
}

std::wstring NameOf(IMXFolder* folder) {
    unique_bstr name;
    EXPECT_HR(S_OK, folder->Name(name.put()));
    EXPECT_TRUE(name) << "Name gave a null string";
    return name ? std::wstring(name.get(), name.length()) : std::wstring(L"<null>");
}

com_ptr<IMXFolder> NextFolder(IMXFolderManager* manager) {
    com_ptr<IMXFolder> folder;
    EXPECT_HR(S_OK, manager->GetNextFolder(FolderOut(folder)));
    return folder;
}

com_ptr<IMXFolder> FirstFolder(IMXFolderManager* manager) {
    com_ptr<IMXFolder> folder;
    EXPECT_HR(S_OK, manager->GetFirstFolder(FolderOut(folder)));
    return folder;
}

com_ptr<IMXFolder> FolderById(IMXFolderManager* manager, long id) {
    com_ptr<IMXFolder> folder;
    EXPECT_HR(S_OK, manager->GetFolder(id, FolderOut(folder)));
    EXPECT_TRUE(folder) << "GetFolder never answers null";
    return folder;
}

com_ptr<IMXFolder> NextChild(IMXFolder* parent) {
    com_ptr<IMXFolder> folder;
    EXPECT_HR(S_OK, parent->GetNextChild(FolderOut(folder)));
    return folder;
}

com_ptr<IMXFolder> FirstChild(IMXFolder* parent) {
    com_ptr<IMXFolder> folder;
    EXPECT_HR(S_OK, parent->GetFirstChild(FolderOut(folder)));
    return folder;
}

std::vector<std::wstring> RestOfWalk(IMXFolderManager* manager, int limit) {
    std::vector<std::wstring> names;
    for (int i = 0; i < limit; ++i) {
        com_ptr<IMXFolder> folder = NextFolder(manager);
        if (!folder) return names;
        names.push_back(NameOf(folder.get()));
    }
    ADD_FAILURE() << "the walk did not end within " << limit << " folders";
    return names;
}

std::vector<std::wstring> ChildNames(IMXFolder* parent) {
    std::vector<std::wstring> names;
    for (int i = 0; i < 200; ++i) {
        com_ptr<IMXFolder> child = NextChild(parent);
        if (!child) return names;
        names.push_back(NameOf(child.get()));
    }
    ADD_FAILURE() << "the child walk did not end";
    return names;
}

long CreateFolderIn(IMXFolderManager* manager, long parent, const wchar_t* name) {
    unique_bstr text(SysAllocString(name));
    long id = -12345;
    EXPECT_HR(S_OK, manager->CreateFolder(parent, text.get(), &id));
    return id;
}

Tree MakeTree(IMXFolderManager* manager) {
    Tree tree;
    tree.t = CreateFolderIn(manager, 0, L"T");
    tree.a = CreateFolderIn(manager, tree.t, L"A");
    tree.a1 = CreateFolderIn(manager, tree.a, L"A1");
    tree.b = CreateFolderIn(manager, tree.t, L"B");
    EXPECT_GT(tree.t, 0);
    EXPECT_GT(tree.a, 0);
    EXPECT_GT(tree.a1, 0);
    EXPECT_GT(tree.b, 0);
    return tree;
}

com_ptr<IStoreNamespace> OpenStoreDirectly() {
    com_ptr<IStoreNamespace> store;
    EXPECT_HR(S_OK, CoCreateInstance(CLSID_StoreNamespace, nullptr, CLSCTX_INPROC_SERVER, IID_IStoreNamespace,
                                     store.put_void()));
    if (store) {
        EXPECT_HR(S_OK, store->Initialize(nullptr, 1));
    }
    return store;
}

std::vector<MESSAGEID> StoredMessageIds(IStoreNamespace* store, long folder_id) {
    std::vector<MESSAGEID> ids;
    com_ptr<IStoreFolder> folder;
    if (FAILED(store->OpenFolder(static_cast<STOREFOLDERID>(folder_id), 0, folder.put()))) return ids;
    MESSAGEPROPS props{};
    props.cbSize = sizeof(props);
    HENUMSTORE walk = nullptr;
    HRESULT hr = folder->GetFirstMessage(0, 0, MESSAGEID_FIRST, &props, &walk);
    while (hr == S_OK) {
        ids.push_back(props.dwMessageId);
        folder->FreeMessageProps(&props);
        props = MESSAGEPROPS{};
        props.cbSize = sizeof(props);
        hr = folder->GetNextMessage(walk, 0, &props);
    }
    if (walk) folder->GetMessageClose(walk);
    return ids;
}

std::string StoredSource(IStoreNamespace* store, long folder_id, MESSAGEID id) {
    com_ptr<IStoreFolder> folder;
    if (FAILED(store->OpenFolder(static_cast<STOREFOLDERID>(folder_id), 0, folder.put()))) return "<no folder>";
    com_ptr<IStream> stream;
    if (FAILED(folder->OpenMessage(id, IID_IStream, stream.put_void())) || !stream) return "<no message>";
    std::string source;
    char buffer[4096];
    ULONG read = 0;
    while (SUCCEEDED(stream->Read(buffer, sizeof(buffer), &read)) && read > 0) source.append(buffer, read);
    return source;
}

MESSAGEID StoreMessage(IStoreNamespace* store, long folder_id, const std::string& source) {
    com_ptr<IStoreFolder> folder;
    EXPECT_HR(S_OK, store->OpenFolder(static_cast<STOREFOLDERID>(folder_id), 0, folder.put()));
    if (!folder) return MESSAGEID_INVALID;
    com_ptr<IStream> stream;
    MESSAGEID id = MESSAGEID_INVALID;
    EXPECT_HR(S_OK, folder->CreateStream(nullptr, 0, stream.put(), &id));
    if (!stream) return MESSAGEID_INVALID;
    ULONG written = 0;
    EXPECT_HR(S_OK, stream->Write(source.data(), static_cast<ULONG>(source.size()), &written));
    EXPECT_HR(S_OK, folder->CommitStream(nullptr, 0, MSG_UNREAD, stream.get(), id, nullptr));
    return id;
}

long SpecialFolderId(IStoreNamespace* store, SPECIALFOLDER type) {
    com_ptr<IStoreFolder> folder;
    EXPECT_HR(S_OK, store->OpenSpecialFolder(type, 0, folder.put()));
    FOLDERPROPS props{};
    props.cbSize = sizeof(props);
    if (folder) {
        EXPECT_HR(S_OK, folder->GetFolderProps(0, &props));
    }
    return static_cast<long>(props.dwFolderId);
}

std::vector<std::wstring> SpecialFolderNames() {
    return {L"Inbox", L"Outbox", L"Sent Items", L"Deleted Items", L"Drafts"};
}

}  // namespace pelkary::test
