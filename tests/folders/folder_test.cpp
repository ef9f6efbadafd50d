// MXFolder through COM: the root and never-opened folders, null folders, the child and message
// walks with their restarts, message lookup, creation, marks and deletion, names and counts.
#include "folder_test_util.h"

namespace pelkary::test {
namespace {

class FolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        manager_ = CreateManager();
        ASSERT_TRUE(manager_);
        store_api_ = OpenStoreDirectly();
        ASSERT_TRUE(store_api_);
    }
    void TearDown() override {
        store_api_ = nullptr;
        manager_ = nullptr;
    }
    // A plain top-level folder of the test, opened through the manager.
    com_ptr<IMXFolder> NewFolder(const wchar_t* name, long* id = nullptr) {
        long made = CreateFolderIn(manager_.get(), 0, name);
        if (id) *id = made;
        return FolderById(manager_.get(), made);
    }
    // Counts GetNextMessage results until null.
    static int CountByNextMessage(IMXFolder* folder) {
        for (int n = 0; n < 100; ++n) {
            com_ptr<IMXMessage> message;
            EXPECT_HR(S_OK, folder->GetNextMessage(MessageOut(message)));
            if (!message) return n;
        }
        ADD_FAILURE() << "the message walk did not end";
        return -1;
    }

    ComApartment apartment_;
    TempStore store_;
    com_ptr<IMXFolderManager> manager_;
    com_ptr<IStoreNamespace> store_api_;
};

// The root, whether from the walk, from GetFolder(0) or made by a client and never opened.
void ExpectAnswersAsTheRoot(IMXFolder* folder) {
    EXPECT_EQ(0, IdOf(folder));
    EXPECT_EQ(L"Local Folders", NameOf(folder));
    EXPECT_EQ(1, IsNullOf(folder));
    EXPECT_EQ(std::vector<long>(5, 0), SpecialTestsOf(folder));
    EXPECT_EQ(-1, MessageCountOf(folder));
    EXPECT_EQ(-1, UnreadCountOf(folder));
    EXPECT_EQ(-1, SubFolderCountOf(folder));
    com_ptr<IMXMessage> message;
    EXPECT_HR(S_OK, folder->GetFirstMessage(MessageOut(message)));
    EXPECT_FALSE(message);
    EXPECT_HR(S_OK, folder->GetMessage(1, MessageOut(message)));
    EXPECT_FALSE(message);
    unique_bstr name(SysAllocString(L"renamed root"));
    long done = -1;
    EXPECT_HR(S_OK, folder->Rename(name.get(), &done));
    EXPECT_EQ(0, done);
    EXPECT_HR(S_OK, folder->Delete(&done));
    EXPECT_EQ(0, done);
    EXPECT_HR(S_OK, folder->MarkAsRead(1, &done));
    EXPECT_EQ(0, done);
    std::vector<std::wstring> top = SpecialFolderNames();
    EXPECT_EQ(top, ChildNames(folder));
}

TEST_F(FolderTest, TheRootAnswersTheSameWhereverItComesFrom) {
    {
        SCOPED_TRACE("GetFirstFolder");
        ExpectAnswersAsTheRoot(FirstFolder(manager_.get()).get());
    }
    {
        SCOPED_TRACE("GetFolder(0)");
        ExpectAnswersAsTheRoot(FolderById(manager_.get(), 0).get());
    }
    {
        SCOPED_TRACE("made by a client");
        com_ptr<IMXFolder> made = CreateFolderObject();
        ASSERT_TRUE(made);
        ExpectAnswersAsTheRoot(made.get());
    }
}

TEST_F(FolderTest, TheRootCreatesTopLevelFolders) {
    com_ptr<IMXFolder> made = CreateFolderObject();
    ASSERT_TRUE(made);
    unique_bstr name(SysAllocString(L"Top"));
    long id = -1;
    ASSERT_HR(S_OK, made->CreateFolder(name.get(), &id));
    EXPECT_GT(id, 0);
    std::vector<std::wstring> expected = SpecialFolderNames();
    expected.push_back(L"Top");
    EXPECT_EQ(expected, ChildNames(made.get()));
}

TEST_F(FolderTest, AnIdTheStoreLacksGivesANullFolderWithThatId) {
    constexpr long kMissing = 987654;
    com_ptr<IMXFolder> folder = FolderById(manager_.get(), kMissing);
    ASSERT_TRUE(folder);
    EXPECT_EQ(1, IsNullOf(folder.get()));
    EXPECT_EQ(kMissing, IdOf(folder.get()));
    EXPECT_EQ(L"", NameOf(folder.get()));
    EXPECT_EQ(-1, MessageCountOf(folder.get()));
    EXPECT_EQ(-1, UnreadCountOf(folder.get()));
    EXPECT_EQ(-1, SubFolderCountOf(folder.get()));
    EXPECT_EQ(std::vector<long>(5, 0), SpecialTestsOf(folder.get()));
    EXPECT_FALSE(FirstChild(folder.get())) << "a folder that failed to open shows no children";
    EXPECT_FALSE(NextChild(folder.get()));
    unique_bstr name(SysAllocString(L"x"));
    long result = -5;
    EXPECT_HR(S_OK, folder->Rename(name.get(), &result));
    EXPECT_EQ(0, result);
    EXPECT_HR(S_OK, folder->CreateFolder(name.get(), &result));
    EXPECT_EQ(-1, result);
    EXPECT_HR(S_OK, folder->DeleteMessage(1, 0, &result));
    EXPECT_EQ(0, result);
    com_ptr<IMXMessage> message;
    unique_bstr source(SysAllocString(L"Subject: x\r\n\r\n"));
    EXPECT_HR(S_OK, folder->CreateMessage(source.get(), MessageOut(message)));
    EXPECT_FALSE(message);
}

TEST_F(FolderTest, ChildWalkRestartsAfterItsEndAndOnGetFirstChild) {
    long parent_id = -1;
    com_ptr<IMXFolder> parent = NewFolder(L"P", &parent_id);
    CreateFolderIn(manager_.get(), parent_id, L"c1");
    CreateFolderIn(manager_.get(), parent_id, L"c2");
    CreateFolderIn(manager_.get(), parent_id, L"c3");
    EXPECT_EQ(3, SubFolderCountOf(parent.get()));

    // A fresh folder's GetNextChild starts the walk; after the ending null it starts again.
    EXPECT_EQ((std::vector<std::wstring>{L"c1", L"c2", L"c3"}), ChildNames(parent.get()));
    EXPECT_EQ((std::vector<std::wstring>{L"c1", L"c2", L"c3"}), ChildNames(parent.get()));

    com_ptr<IMXFolder> c1 = NextChild(parent.get());
    com_ptr<IMXFolder> c2 = NextChild(parent.get());
    ASSERT_TRUE(c2);
    EXPECT_EQ(L"c2", NameOf(c2.get()));
    com_ptr<IMXFolder> first = FirstChild(parent.get());
    ASSERT_TRUE(first);
    EXPECT_EQ(L"c1", NameOf(first.get()));
    EXPECT_EQ(L"c2", NameOf(NextChild(parent.get()).get()));

    // Every child is a new object opened on its id.
    EXPECT_NE(c1.get(), first.get());
    EXPECT_EQ(IdOf(c1.get()), IdOf(first.get()));
    EXPECT_EQ(0, IsNullOf(first.get()));
}

TEST_F(FolderTest, AFolderWithoutChildrenOrMessages) {
    com_ptr<IMXFolder> folder = NewFolder(L"Empty");
    EXPECT_FALSE(FirstChild(folder.get()));
    EXPECT_FALSE(NextChild(folder.get()));
    com_ptr<IMXMessage> message;
    EXPECT_HR(S_OK, folder->GetFirstMessage(MessageOut(message)));
    EXPECT_FALSE(message);
    EXPECT_EQ(0, MessageCountOf(folder.get()));
    EXPECT_EQ(0, UnreadCountOf(folder.get()));
    EXPECT_EQ(0, SubFolderCountOf(folder.get()));
    EXPECT_EQ(std::vector<long>(5, 0), SpecialTestsOf(folder.get()));
}

TEST_F(FolderTest, MessageWalkRestartsAfterItsEndAndOnGetFirstMessage) {
    long id = -1;
    com_ptr<IMXFolder> folder = NewFolder(L"M", &id);
    for (int i = 0; i < 3; ++i) StoreMessage(store_api_.get(), id, "Subject: m\r\n\r\nx\r\n");
    EXPECT_EQ(3, MessageCountOf(folder.get()));
    EXPECT_EQ(3, UnreadCountOf(folder.get()));
    EXPECT_EQ(3, CountByNextMessage(folder.get()));
    EXPECT_EQ(3, CountByNextMessage(folder.get())) << "after the ending null the walk starts again";

    com_ptr<IMXMessage> message;
    EXPECT_HR(S_OK, folder->GetNextMessage(MessageOut(message)));
    EXPECT_HR(S_OK, folder->GetNextMessage(MessageOut(message)));
    EXPECT_HR(S_OK, folder->GetFirstMessage(MessageOut(message)));
    EXPECT_TRUE(message);
    EXPECT_EQ(2, CountByNextMessage(folder.get())) << "GetFirstMessage restarted the walk midway";
}

TEST_F(FolderTest, MessagesFromWalksAndLookupsAreBoundToTheirStoredIds) {
    long id = -1;
    com_ptr<IMXFolder> folder = NewFolder(L"Bound", &id);
    std::vector<MESSAGEID> stored;
    for (int i = 0; i < 3; ++i) stored.push_back(StoreMessage(store_api_.get(), id, "Subject: m\r\n\r\nx\r\n"));
    std::vector<MESSAGEID> walked;
    for (int i = 0; i < 10; ++i) {
        com_ptr<IMXMessage> message;
        ASSERT_HR(S_OK, folder->GetNextMessage(MessageOut(message)));
        if (!message) break;
        long message_id = -1, folder_id = -1;
        EXPECT_HR(S_OK, message->GetID(&message_id));
        EXPECT_HR(S_OK, message->GetFolderID(&folder_id));
        EXPECT_EQ(id, folder_id);
        walked.push_back(static_cast<MESSAGEID>(message_id));
    }
    EXPECT_EQ(stored, walked);
    com_ptr<IMXMessage> looked_up;
    ASSERT_HR(S_OK, folder->GetMessage(static_cast<long>(stored[1]), MessageOut(looked_up)));
    ASSERT_TRUE(looked_up);
    long message_id = -1;
    EXPECT_HR(S_OK, looked_up->GetID(&message_id));
    EXPECT_EQ(static_cast<long>(stored[1]), message_id);
}

TEST_F(FolderTest, DeleteMessageDeletesThroughTheMessage) {
    long id = -1;
    com_ptr<IMXFolder> folder = NewFolder(L"Deleting", &id);
    MESSAGEID message = StoreMessage(store_api_.get(), id, "Subject: bye\r\n\r\nx\r\n");
    const long deleted_items = SpecialFolderId(store_api_.get(), FOLDER_DELETED);
    const size_t deleted_before = StoredMessageIds(store_api_.get(), deleted_items).size();
    long done = -1;
    ASSERT_HR(S_OK, folder->DeleteMessage(static_cast<long>(message), 0, &done));
    EXPECT_EQ(1, done);
    EXPECT_EQ(std::vector<MESSAGEID>{}, StoredMessageIds(store_api_.get(), id));
    EXPECT_EQ(deleted_before + 1, StoredMessageIds(store_api_.get(), deleted_items).size())
        << "a message deleted for now goes to Deleted Items";
    done = -1;
    EXPECT_HR(S_OK, folder->DeleteMessage(static_cast<long>(message), 0, &done));
    EXPECT_EQ(0, done) << "it is no longer in this folder";
}

TEST_F(FolderTest, MarksGoToTheStoreByIdAndUnknownIdsAreRefused) {
    long id = -1;
    com_ptr<IMXFolder> folder = NewFolder(L"Marks", &id);
    MESSAGEID message = StoreMessage(store_api_.get(), id, "Subject: m\r\n\r\nx\r\n");
    long done = -1;
    ASSERT_HR(S_OK, folder->MarkAsRead(static_cast<long>(message), &done));
    EXPECT_EQ(1, done);
    EXPECT_EQ(0, UnreadCountOf(folder.get()));
    ASSERT_HR(S_OK, folder->MarkAsUnread(static_cast<long>(message), &done));
    EXPECT_EQ(1, done);
    EXPECT_EQ(1, UnreadCountOf(folder.get()));

    done = -1;
    EXPECT_HR(S_OK, folder->MarkAsRead(static_cast<long>(message) + 100, &done));
    EXPECT_EQ(0, done);
    EXPECT_HR(S_OK, folder->DeleteMessage(static_cast<long>(message) + 100, 0, &done));
    EXPECT_EQ(0, done);
    com_ptr<IMXMessage> none;
    EXPECT_HR(S_OK, folder->GetMessage(static_cast<long>(message) + 100, MessageOut(none)));
    EXPECT_FALSE(none);
    com_ptr<IMXMessage> found;
    EXPECT_HR(S_OK, folder->GetMessage(static_cast<long>(message), MessageOut(found)));
    EXPECT_TRUE(found);
}

TEST_F(FolderTest, CreateMessageStoresTheWholeSourceConvertedToAnsi) {
    long id = -1;
    com_ptr<IMXFolder> folder = NewFolder(L"Created", &id);
    // Characters of the ANSI code page beyond ASCII: each becomes one byte.
    const wchar_t* source = L"Subject: caf\u00e9 \u00fcber\r\n\r\nna\u00efve \u00a3 body\r\n";
    unique_bstr text(SysAllocString(source));
    com_ptr<IMXMessage> message;
    ASSERT_HR(S_OK, folder->CreateMessage(text.get(), MessageOut(message)));
    ASSERT_TRUE(message);
    std::vector<MESSAGEID> ids = StoredMessageIds(store_api_.get(), id);
    ASSERT_EQ(1u, ids.size());
    std::string expected(WideCharToMultiByte(CP_ACP, 0, source, -1, nullptr, 0, nullptr, nullptr) - 1, '\0');
    WideCharToMultiByte(CP_ACP, 0, source, -1, expected.data(), static_cast<int>(expected.size()) + 1, nullptr,
                        nullptr);
    EXPECT_EQ(expected, StoredSource(store_api_.get(), id, ids[0]));
    EXPECT_EQ(std::wstring(source).size(), StoredSource(store_api_.get(), id, ids[0]).size());

    // A null source stores an empty message and still answers with it.
    com_ptr<IMXMessage> empty;
    ASSERT_HR(S_OK, folder->CreateMessage(nullptr, MessageOut(empty)));
    EXPECT_TRUE(empty);
    ids = StoredMessageIds(store_api_.get(), id);
    ASSERT_EQ(2u, ids.size());
    EXPECT_EQ("", StoredSource(store_api_.get(), id, ids[1]));
    EXPECT_EQ(2, MessageCountOf(folder.get()));
}

TEST_F(FolderTest, FolderNamesOutsideAsciiRoundTrip) {
    const wchar_t* name = L"Re\u00e7us \u00e0 tri\u00e9r \u00df";
    long id = CreateFolderIn(manager_.get(), 0, name);
    ASSERT_GT(id, 0);
    com_ptr<IMXFolder> folder = FolderById(manager_.get(), id);
    EXPECT_EQ(name, NameOf(folder.get()));
    unique_bstr renamed(SysAllocString(L"\u00c9t\u00e9 \u00a92024"));
    long done = -1;
    ASSERT_HR(S_OK, folder->Rename(renamed.get(), &done));
    EXPECT_EQ(1, done);
    EXPECT_EQ(L"\u00c9t\u00e9 \u00a92024", NameOf(folder.get())) << "names are read from the store when asked";
}

TEST_F(FolderTest, AFolderRenamesMovesAndDeletesItself) {
    long parent_id = -1, child_id = -1;
    com_ptr<IMXFolder> parent = NewFolder(L"Parent", &parent_id);
    com_ptr<IMXFolder> child = NewFolder(L"Child", &child_id);
    long done = -1;
    ASSERT_HR(S_OK, child->Move(parent_id, &done));
    EXPECT_EQ(1, done);
    EXPECT_EQ(std::vector<std::wstring>{L"Child"}, ChildNames(parent.get()));
    unique_bstr sub(SysAllocString(L"Grandchild"));
    long grandchild = -1;
    ASSERT_HR(S_OK, child->CreateFolder(sub.get(), &grandchild));
    EXPECT_GT(grandchild, 0);
    EXPECT_EQ(1, SubFolderCountOf(child.get()));
    ASSERT_HR(S_OK, child->Delete(&done));
    EXPECT_EQ(1, done);
    EXPECT_EQ(std::vector<std::wstring>{}, ChildNames(parent.get()));
    EXPECT_EQ(0, SubFolderCountOf(parent.get()));
}

TEST_F(FolderTest, NullOutPointersGiveEPointerWithoutAnErrorObject) {
    com_ptr<IMXFolder> folder = NewFolder(L"F");
    SetMarkerErrorInfo(L"marker");
    EXPECT_HR(E_POINTER, folder->GetID(nullptr));
    EXPECT_HR(E_POINTER, folder->IsNull(nullptr));
    EXPECT_HR(E_POINTER, folder->IsInbox(nullptr));
    EXPECT_HR(E_POINTER, folder->GetFirstChild(nullptr));
    EXPECT_HR(E_POINTER, folder->GetNextChild(nullptr));
    EXPECT_HR(E_POINTER, folder->GetFirstMessage(nullptr));
    EXPECT_HR(E_POINTER, folder->GetMessage(1, nullptr));
    EXPECT_HR(E_POINTER, folder->CreateMessage(nullptr, nullptr));
    EXPECT_HR(E_POINTER, folder->DeleteMessage(1, 0, nullptr));
    EXPECT_HR(E_POINTER, folder->Name(nullptr));
    EXPECT_HR(E_POINTER, folder->Rename(nullptr, nullptr));
    EXPECT_HR(E_POINTER, folder->CreateFolder(nullptr, nullptr));
    EXPECT_HR(E_POINTER, folder->GetMessageCount(nullptr));
    ErrorRecord record = ErrorInfoOf();
    EXPECT_TRUE(record.present);
    EXPECT_EQ(L"marker", record.source);
}

}  // namespace
}  // namespace pelkary::test
