// MXFolderManager through COM: the whole-tree walk, folder operations by id and messages copied
// or moved between folders.
#include "folder_test_util.h"

namespace pelkary::test {
namespace {

class FolderManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        manager_ = CreateManager();
        ASSERT_TRUE(manager_);
    }
    void TearDown() override { manager_ = nullptr; }

    // The walk as a client sees it: root, the special folders, then the test's folders.
    std::vector<std::wstring> Walk(std::initializer_list<const wchar_t*> after_specials) {
        std::vector<std::wstring> names{L"Local Folders"};
        for (auto& name : SpecialFolderNames()) names.push_back(name);
        for (auto* name : after_specials) names.push_back(name);
        return names;
    }
    std::vector<std::wstring> WalkFromStart() {
        std::vector<std::wstring> names;
        com_ptr<IMXFolder> root = FirstFolder(manager_.get());
        if (!root) return names;
        names.push_back(NameOf(root.get()));
        for (auto& name : RestOfWalk(manager_.get())) names.push_back(name);
        return names;
    }
    com_ptr<IMXFolder> Current() {
        com_ptr<IMXFolder> folder;
        EXPECT_HR(S_OK, manager_->GetCurrentFolder(FolderOut(folder)));
        return folder;
    }
    // Walks with GetNextFolder until the folder with this id is current.
    void WalkTo(long id) {
        for (int i = 0; i < 50; ++i) {
            com_ptr<IMXFolder> folder = NextFolder(manager_.get());
            ASSERT_TRUE(folder) << "the walk ended before reaching folder " << id;
            if (IdOf(folder.get()) == id) return;
        }
        FAIL() << "folder " << id << " not reached";
    }

    ComApartment apartment_;
    TempStore store_;
    com_ptr<IMXFolderManager> manager_;
};

TEST_F(FolderManagerTest, WalkIsDepthFirstParentsBeforeChildrenAndRestartsAfterItsEnd) {
    MakeTree(manager_.get());
    // A fresh manager's first GetNextFolder is the root, exactly as GetFirstFolder.
    com_ptr<IMXFolder> root = NextFolder(manager_.get());
    ASSERT_TRUE(root);
    EXPECT_EQ(0, IdOf(root.get()));
    EXPECT_EQ(L"Local Folders", NameOf(root.get()));

    std::vector<std::wstring> walked{NameOf(root.get())};
    for (auto& name : RestOfWalk(manager_.get())) walked.push_back(name);
    EXPECT_EQ(Walk({L"T", L"A", L"A1", L"B"}), walked);

    // After the null that ends it, not walking: no current folder, and the next call is the root.
    EXPECT_FALSE(Current());
    com_ptr<IMXFolder> again = NextFolder(manager_.get());
    ASSERT_TRUE(again);
    EXPECT_EQ(0, IdOf(again.get()));
    com_ptr<IMXFolder> first_top = NextFolder(manager_.get());
    ASSERT_TRUE(first_top);
    EXPECT_EQ(L"Inbox", NameOf(first_top.get()));
}

TEST_F(FolderManagerTest, GetFirstFolderRestartsTheWalkMidway) {
    Tree tree = MakeTree(manager_.get());
    WalkTo(tree.a1);  // three enumerations deep
    com_ptr<IMXFolder> root = FirstFolder(manager_.get());
    ASSERT_TRUE(root);
    EXPECT_EQ(0, IdOf(root.get()));
    EXPECT_EQ(0, IdOf(Current().get()));
    EXPECT_EQ(Walk({L"T", L"A", L"A1", L"B"}), WalkFromStart());
}

TEST_F(FolderManagerTest, CurrentFolderIsTheWalksPositionAndTheSameObject) {
    EXPECT_FALSE(Current());
    com_ptr<IMXFolder> root = FirstFolder(manager_.get());
    com_ptr<IMXFolder> current = Current();
    ASSERT_TRUE(current);
    EXPECT_EQ(root.get(), current.get()) << "GetCurrentFolder hands out the walk's own object again";
    com_ptr<IMXFolder> inbox = NextFolder(manager_.get());
    EXPECT_EQ(inbox.get(), Current().get());
}

TEST_F(FolderManagerTest, DeletingTheCurrentLeafMovesTheWalkToTheNextFolder) {
    Tree tree = MakeTree(manager_.get());
    WalkTo(tree.a1);
    long deleted = -1;
    ASSERT_HR(S_OK, manager_->DeleteFolder(tree.a1, &deleted));
    EXPECT_EQ(1, deleted);
    com_ptr<IMXFolder> current = Current();
    ASSERT_TRUE(current);
    EXPECT_EQ(tree.b, IdOf(current.get())) << "after A1 the walk goes on with B";
    EXPECT_EQ(std::vector<std::wstring>{}, RestOfWalk(manager_.get()));
    EXPECT_EQ(Walk({L"T", L"A", L"B"}), WalkFromStart());
}

TEST_F(FolderManagerTest, DeletingTheCurrentParentMovesTheWalkIntoItsFirstChild) {
    Tree tree = MakeTree(manager_.get());
    WalkTo(tree.a);
    long deleted = -1;
    ASSERT_HR(S_OK, manager_->DeleteFolder(tree.a, &deleted));
    EXPECT_EQ(1, deleted);
    com_ptr<IMXFolder> current = Current();
    ASSERT_TRUE(current);
    EXPECT_EQ(tree.a1, IdOf(current.get()));
    EXPECT_EQ(Walk({L"T", L"B"}), WalkFromStart());
}

TEST_F(FolderManagerTest, DeletingAnotherFolderLeavesTheWalkAlone) {
    Tree tree = MakeTree(manager_.get());
    WalkTo(tree.a);
    long deleted = -1;
    ASSERT_HR(S_OK, manager_->DeleteFolder(tree.b, &deleted));
    EXPECT_EQ(1, deleted);
    EXPECT_EQ(tree.a, IdOf(Current().get()));
    EXPECT_EQ(L"A1", NameOf(NextFolder(manager_.get()).get()));
    EXPECT_EQ(Walk({L"T", L"A", L"A1"}), WalkFromStart());
}

TEST_F(FolderManagerTest, OperationsByIdRenameMoveCreateAndDelete) {
    Tree tree = MakeTree(manager_.get());
    unique_bstr name(SysAllocString(L"B renamed"));
    long done = -1;
    ASSERT_HR(S_OK, manager_->RenameFolder(tree.b, name.get(), &done));
    EXPECT_EQ(1, done);
    ASSERT_HR(S_OK, manager_->MoveFolder(tree.b, tree.a1, &done));
    EXPECT_EQ(1, done);
    EXPECT_EQ(Walk({L"T", L"A", L"A1", L"B renamed"}), WalkFromStart());
    EXPECT_EQ(1, SubFolderCountOf(FolderById(manager_.get(), tree.a1).get()));

    ASSERT_HR(S_OK, manager_->DeleteFolder(tree.t, &done));
    EXPECT_EQ(1, done);
    EXPECT_EQ(Walk({}), WalkFromStart());
}

TEST_F(FolderManagerTest, TheRootCannotBeRenamedMovedOrDeletedButTakesTopLevelFolders) {
    unique_bstr name(SysAllocString(L"x"));
    long done = -1;
    EXPECT_HR(S_OK, manager_->RenameFolder(0, name.get(), &done));
    EXPECT_EQ(0, done);
    done = -1;
    EXPECT_HR(S_OK, manager_->MoveFolder(0, 1, &done));
    EXPECT_EQ(0, done);
    done = -1;
    EXPECT_HR(S_OK, manager_->DeleteFolder(0, &done));
    EXPECT_EQ(0, done);
    EXPECT_GT(CreateFolderIn(manager_.get(), 0, L"Top"), 0);
    EXPECT_EQ(Walk({L"Top"}), WalkFromStart());
}

TEST_F(FolderManagerTest, RefusedOperationsAnswerZeroOrMinusOne) {
    constexpr long kMissing = 987654;
    EXPECT_EQ(-1, CreateFolderIn(manager_.get(), kMissing, L"orphan"));
    unique_bstr name(SysAllocString(L"x"));
    long done = -1;
    EXPECT_HR(S_OK, manager_->RenameFolder(kMissing, name.get(), &done));
    EXPECT_EQ(0, done);
    done = -1;
    EXPECT_HR(S_OK, manager_->DeleteFolder(kMissing, &done));
    EXPECT_EQ(0, done);
    Tree tree = MakeTree(manager_.get());
    done = -1;
    EXPECT_HR(S_OK, manager_->MoveFolder(tree.a, kMissing, &done));
    EXPECT_EQ(0, done);
    EXPECT_EQ(Walk({L"T", L"A", L"A1", L"B"}), WalkFromStart());
}

TEST_F(FolderManagerTest, SpecialFoldersAreOpenedByKind) {
    struct Case {
        HRESULT (STDMETHODCALLTYPE IMXFolderManager::*get)(::MXFolder**);
        const wchar_t* name;
        size_t test;
    } cases[] = {{&IMXFolderManager::GetInboxFolder, L"Inbox", 0},
                 {&IMXFolderManager::GetOutboxFolder, L"Outbox", 1},
                 {&IMXFolderManager::GetSentFolder, L"Sent Items", 2},
                 {&IMXFolderManager::GetDeletedFolder, L"Deleted Items", 3},
                 {&IMXFolderManager::GetDraftFolder, L"Drafts", 4}};
    com_ptr<IStoreNamespace> store = OpenStoreDirectly();
    ASSERT_TRUE(store);
    for (const Case& c : cases) {
        com_ptr<IMXFolder> folder;
        ASSERT_HR(S_OK, (manager_.get()->*c.get)(FolderOut(folder)));
        ASSERT_TRUE(folder);
        EXPECT_EQ(c.name, NameOf(folder.get()));
        EXPECT_EQ(0, IsNullOf(folder.get()));
        EXPECT_EQ(SpecialFolderId(store.get(), static_cast<SPECIALFOLDER>(c.test)), IdOf(folder.get()));
        std::vector<long> tests(5, 0);
        tests[c.test] = 1;
        EXPECT_EQ(tests, SpecialTestsOf(folder.get())) << "for " << Narrow(c.name);
        // Opened by id, a special folder still knows its kind.
        EXPECT_EQ(tests, SpecialTestsOf(FolderById(manager_.get(), IdOf(folder.get())).get()));
    }
}

TEST_F(FolderManagerTest, NullOutPointersGiveEPointerAndKeepTheErrorObject) {
    SetMarkerErrorInfo(L"marker");
    EXPECT_HR(E_POINTER, manager_->GetInboxFolder(nullptr));
    EXPECT_HR(E_POINTER, manager_->GetFolder(1, nullptr));
    EXPECT_HR(E_POINTER, manager_->GetFirstFolder(nullptr));
    EXPECT_HR(E_POINTER, manager_->GetNextFolder(nullptr));
    EXPECT_HR(E_POINTER, manager_->GetCurrentFolder(nullptr));
    EXPECT_HR(E_POINTER, manager_->RenameFolder(1, nullptr, nullptr));
    EXPECT_HR(E_POINTER, manager_->DeleteFolder(1, nullptr));
    EXPECT_HR(E_POINTER, manager_->CreateFolder(0, nullptr, nullptr));
    EXPECT_HR(E_POINTER, manager_->CopyMessage(1, 2, 1, nullptr));
    ErrorRecord record = ErrorInfoOf();
    EXPECT_TRUE(record.present);
    EXPECT_EQ(L"marker", record.source);
    // Nothing happened: the walk was not started by the null GetNextFolder.
    EXPECT_FALSE(Current());
    EXPECT_HR(S_OK, manager_->ActivateGlobalNotification());
}

class CopyMoveTest : public FolderManagerTest {
protected:
    void SetUp() override {
        FolderManagerTest::SetUp();
        store_api_ = OpenStoreDirectly();
        ASSERT_TRUE(store_api_);
        source_ = CreateFolderIn(manager_.get(), 0, L"Source");
        target_ = CreateFolderIn(manager_.get(), 0, L"Target");
        message_ = StoreMessage(store_api_.get(), source_, "Subject: hello\r\n\r\nbody\r\n");
    }
    void TearDown() override {
        store_api_ = nullptr;
        FolderManagerTest::TearDown();
    }
    com_ptr<IStoreNamespace> store_api_;
    long source_ = -1, target_ = -1;
    MESSAGEID message_ = MESSAGEID_INVALID;
};

TEST_F(CopyMoveTest, CopyKeepsTheMessageInTheSourceAndMoveTakesItAway) {
    long done = -1;
    ASSERT_HR(S_OK, manager_->CopyMessage(source_, target_, static_cast<long>(message_), &done));
    EXPECT_EQ(1, done);
    EXPECT_EQ(1u, StoredMessageIds(store_api_.get(), source_).size());
    std::vector<MESSAGEID> copied = StoredMessageIds(store_api_.get(), target_);
    ASSERT_EQ(1u, copied.size());
    EXPECT_EQ("Subject: hello\r\n\r\nbody\r\n", StoredSource(store_api_.get(), target_, copied[0]));

    ASSERT_HR(S_OK, manager_->MoveMessage(source_, target_, static_cast<long>(message_), &done));
    EXPECT_EQ(1, done);
    EXPECT_EQ(0u, StoredMessageIds(store_api_.get(), source_).size());
    EXPECT_EQ(2u, StoredMessageIds(store_api_.get(), target_).size());

    // Both arrive with the state they had: unread.
    com_ptr<IMXFolder> target;
    ASSERT_HR(S_OK, manager_->GetFolder(target_, reinterpret_cast<::MXFolder**>(target.put())));
    long unread = -1;
    ASSERT_HR(S_OK, target->GetUnreadCount(&unread));
    EXPECT_EQ(2, unread);
}

TEST_F(CopyMoveTest, AMissingFolderOrMessageChangesNothing) {
    constexpr long kMissing = 987654;
    const long id = static_cast<long>(message_);
    long done = -1;
    EXPECT_HR(S_OK, manager_->CopyMessage(kMissing, target_, id, &done));
    EXPECT_EQ(0, done);
    done = -1;
    EXPECT_HR(S_OK, manager_->MoveMessage(source_, kMissing, id, &done));
    EXPECT_EQ(0, done);
    done = -1;
    EXPECT_HR(S_OK, manager_->MoveMessage(source_, target_, id + 1000, &done));
    EXPECT_EQ(0, done);
    done = -1;
    EXPECT_HR(S_OK, manager_->CopyMessage(0, target_, id, &done));
    EXPECT_EQ(0, done) << "the root holds no messages";
    EXPECT_EQ(std::vector<MESSAGEID>{message_}, StoredMessageIds(store_api_.get(), source_));
    EXPECT_EQ(std::vector<MESSAGEID>{}, StoredMessageIds(store_api_.get(), target_));
}

}  // namespace
}  // namespace pelkary::test
