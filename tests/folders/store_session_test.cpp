// The store session as clients meet it: one connection while any folder or manager lives, torn
// down with the last of them and built afresh (reading the store's location again) for the next;
// a store out of reach still gives working, null, folders; first objects made on several
// threads at once.
#include <algorithm>
#include <thread>

#include "support/test_support.h"

namespace pelkary::test {
namespace {

bool WalkHas(IMXFolderManager* manager, const wchar_t* name, Here at = Here::Caller()) {
    const auto names = Walk(manager, &IMXFolderManager::GetNextFolder, at);
    return std::find(names.begin(), names.end(), name) != names.end();
}

TEST(StoreSession, TheLastObjectOutEndsTheSessionAndTheNextConnectsAgain) {
    ComApartment apartment;
    TempStore first;
    com_ptr<IMXFolderManager> manager = CreateManager();
    com_ptr<IMXFolder> kept = Ask(manager.get(), &IMXFolderManager::GetFolder,
                                  Ask(manager.get(), &IMXFolderManager::CreateFolder, 0, B(L"OnlyInFirst").get()));
    manager = nullptr;
    {
        TempStore second;
        manager = CreateManager();
        EXPECT_TRUE(WalkHas(manager.get(), L"OnlyInFirst")) << "while a folder lives, the session stays";
        kept = nullptr;
        manager = nullptr;
        manager = CreateManager();
        EXPECT_FALSE(WalkHas(manager.get(), L"OnlyInFirst")) << "a new session opens the second store";
        EXPECT_GT(Ask(manager.get(), &IMXFolderManager::CreateFolder, 0, B(L"OnlyInSecond").get()), 0);
        manager = nullptr;
    }
    manager = CreateManager();
    EXPECT_TRUE(WalkHas(manager.get(), L"OnlyInFirst"));
    EXPECT_FALSE(WalkHas(manager.get(), L"OnlyInSecond"));
}

TEST(StoreSession, AStoreOutOfReachGivesNullFolders) {
    ComApartment apartment;
    TempStore base;
    // A store directory below a plain file can never be created.
    const std::wstring blocker = base.path() + L"\\blocker";
    unique_hfile(CreateFileW(blocker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    ASSERT_TRUE(SetEnvironmentVariableW(L"MAILSTORE_DIR", (blocker + L"\\store").c_str()));

    com_ptr<IMXFolderManager> manager = CreateManager();
    ASSERT_TRUE(manager);
    com_ptr<IMXFolder> inbox = Ask(manager.get(), &IMXFolderManager::GetInboxFolder);
    ASSERT_TRUE(inbox) << "special folders are never null objects";
    EXPECT_EQ(L"Local Folders", Ask(inbox.get(), &IMXFolder::Name));
    EXPECT_EQ(1, Ask(inbox.get(), &IMXFolder::IsNull));
    EXPECT_TRUE(Walk(inbox.get(), &IMXFolder::GetNextChild).empty());
    EXPECT_EQ(std::vector<std::wstring>{L"Local Folders"}, Walk(manager.get(), &IMXFolderManager::GetNextFolder));
    EXPECT_EQ(-1, Ask(manager.get(), &IMXFolderManager::CreateFolder, 0, B(L"x").get()));
    EXPECT_EQ(0, Ask(manager.get(), &IMXFolderManager::CopyMessage, 1, 2, 1));
    com_ptr<IMXMessage> message = CreateMessageObject();
    EXPECT_EQ(1, Ask(message.get(), &IMXMessage::SetBodyPropByName, -1, B(L"Subject").get(), B(L"s").get()));
    EXPECT_HR(S_OK, message->SetFolderID(5));
    EXPECT_EQ(0, Ask(message.get(), &IMXMessage::Commit)) << "no store to save into";
}

TEST(StoreSession, FirstObjectsMadeOnSeveralThreadsAtOnceShareOneStore) {
    ComApartment apartment;
    TempStore store;
    constexpr int kThreads = 4, kRounds = 5;
    unique_handle start(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::vector<std::thread> threads;
    std::vector<long> made(kThreads * kRounds, -1);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            ComApartment apartment;
            WaitForSingleObject(start.get(), INFINITE);
            for (int i = t * kRounds; i < (t + 1) * kRounds; ++i) {
                const std::wstring name = L"thread" + std::to_wstring(i);
                made[i] = Ask(CreateManager().get(), &IMXFolderManager::CreateFolder, 0, B(name.c_str()).get());
            }
        });
    }
    SetEvent(start.get());
    for (auto& thread : threads) thread.join();
    com_ptr<IMXFolderManager> manager = CreateManager();
    const auto names = Walk(manager.get(), &IMXFolderManager::GetNextFolder);
    for (int i = 0; i < kThreads * kRounds; ++i) {
        EXPECT_GT(made[i], 0) << i;
        EXPECT_NE(std::find(names.begin(), names.end(), L"thread" + std::to_wstring(i)), names.end()) << i;
    }
}

}  // namespace
}  // namespace pelkary::test
