// The store session as clients meet it: one connection while any folder or manager lives, torn
// down with the last of them and built afresh (reading the store's location again) for the next;
// a store out of reach still gives working, null, folders; first objects made on several
// threads at once.
#include <thread>

#include "folder_test_util.h"

namespace pelkary::test {
namespace {

bool WalkHasFolder(IMXFolderManager* manager, const std::wstring& name) {
    com_ptr<IMXFolder> root = FirstFolder(manager);
    for (auto& walked : RestOfWalk(manager))
        if (walked == name) return true;
    return false;
}

class StoreSessionTest : public ::testing::Test {
protected:
    ComApartment apartment_;
};

TEST_F(StoreSessionTest, TheLastObjectOutEndsTheSessionAndTheNextConnectsAgain) {
    TempStore first;
    com_ptr<IMXFolder> kept;
    {
        com_ptr<IMXFolderManager> manager = CreateManager();
        ASSERT_TRUE(manager);
        long id = CreateFolderIn(manager.get(), 0, L"OnlyInFirst");
        ASSERT_GT(id, 0);
        kept = FolderById(manager.get(), id);
    }
    {
        // While a folder lives the session stays, on the store it connected to.
        TempStore second;
        com_ptr<IMXFolderManager> manager = CreateManager();
        EXPECT_TRUE(WalkHasFolder(manager.get(), L"OnlyInFirst"));
        kept = nullptr;
        manager = nullptr;
        // Everything released: the next manager builds a new session on the second store.
        manager = CreateManager();
        EXPECT_FALSE(WalkHasFolder(manager.get(), L"OnlyInFirst"));
        EXPECT_GT(CreateFolderIn(manager.get(), 0, L"OnlyInSecond"), 0);
    }
    com_ptr<IMXFolderManager> manager = CreateManager();
    EXPECT_TRUE(WalkHasFolder(manager.get(), L"OnlyInFirst"));
    EXPECT_FALSE(WalkHasFolder(manager.get(), L"OnlyInSecond"));
}

TEST_F(StoreSessionTest, AStoreOutOfReachGivesNullFolders) {
    TempStore base;
    // A store directory below a plain file can never be created.
    std::wstring blocker = base.path() + L"\\blocker";
    {
        HANDLE file = CreateFileW(blocker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, file);
        CloseHandle(file);
    }
    std::wstring unreachable = blocker + L"\\store";
    ASSERT_TRUE(SetEnvironmentVariableW(L"MAILSTORE_DIR", unreachable.c_str()));

    com_ptr<IMXFolderManager> manager = CreateManager();
    ASSERT_TRUE(manager);
    com_ptr<IMXFolder> inbox;
    ASSERT_HR(S_OK, manager->GetInboxFolder(FolderOut(inbox)));
    ASSERT_TRUE(inbox) << "special folders are never null objects";
    EXPECT_EQ(0, IdOf(inbox.get()));
    EXPECT_EQ(L"Local Folders", NameOf(inbox.get()));
    EXPECT_EQ(1, IsNullOf(inbox.get()));
    EXPECT_EQ(std::vector<long>(5, 0), SpecialTestsOf(inbox.get()));
    EXPECT_EQ(std::vector<std::wstring>{}, ChildNames(inbox.get()));

    com_ptr<IMXFolder> by_id = FolderById(manager.get(), 5);
    EXPECT_EQ(5, IdOf(by_id.get()));
    EXPECT_EQ(1, IsNullOf(by_id.get()));
    EXPECT_EQ(-1, MessageCountOf(by_id.get()));

    // The walk is the root alone; changes are refused.
    com_ptr<IMXFolder> root = FirstFolder(manager.get());
    ASSERT_TRUE(root);
    EXPECT_EQ(std::vector<std::wstring>{}, RestOfWalk(manager.get()));
    EXPECT_EQ(-1, CreateFolderIn(manager.get(), 0, L"x"));
    long done = -1;
    EXPECT_HR(S_OK, manager->CopyMessage(1, 2, 1, &done));
    EXPECT_EQ(0, done);

    root = nullptr;
    by_id = nullptr;
    inbox = nullptr;
    manager = nullptr;
    // Once everything is released, a reachable store is found again.
    ASSERT_TRUE(SetEnvironmentVariableW(L"MAILSTORE_DIR", base.path().c_str()));
    manager = CreateManager();
    ASSERT_HR(S_OK, manager->GetInboxFolder(FolderOut(inbox)));
    EXPECT_EQ(0, IsNullOf(inbox.get()));
    EXPECT_EQ(L"Inbox", NameOf(inbox.get()));
}

TEST_F(StoreSessionTest, FirstObjectsMadeOnSeveralThreadsAtOnceShareOneStore) {
    TempStore store;
    constexpr int kThreads = 4;
    constexpr int kRounds = 5;
    HANDLE start = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_TRUE(start);
    std::vector<std::thread> threads;
    std::vector<HRESULT> results(kThreads * kRounds, E_FAIL);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
            WaitForSingleObject(start, INFINITE);
            for (int round = 0; round < kRounds; ++round) {
                com_ptr<IMXFolderManager> manager;
                HRESULT hr = CoCreateInstance(CLSID_MXFolderManager, nullptr, CLSCTX_INPROC_SERVER,
                                              IID_IMXFolderManager, manager.put_void());
                long id = -1;
                if (SUCCEEDED(hr)) {
                    std::wstring name = L"thread" + std::to_wstring(t) + L"-" + std::to_wstring(round);
                    unique_bstr text(SysAllocString(name.c_str()));
                    hr = manager->CreateFolder(0, text.get(), &id);
                    if (SUCCEEDED(hr) && id <= 0) hr = E_UNEXPECTED;
                }
                results[t * kRounds + round] = hr;
            }
            CoUninitialize();
        });
    }
    SetEvent(start);
    for (auto& thread : threads) thread.join();
    CloseHandle(start);
    for (HRESULT hr : results) EXPECT_HR(S_OK, hr);

    com_ptr<IMXFolderManager> manager = CreateManager();
    for (int t = 0; t < kThreads; ++t)
        for (int round = 0; round < kRounds; ++round)
            EXPECT_TRUE(WalkHasFolder(manager.get(), L"thread" + std::to_wstring(t) + L"-" + std::to_wstring(round)));
}

}  // namespace
}  // namespace pelkary::test
