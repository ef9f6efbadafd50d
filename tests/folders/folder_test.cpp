// MXFolder and MXFolderManager through COM, for what they add to the store: the root and the
// folders the store cannot open, the walks and their restarts, the walk kept valid across a
// deletion, operations by id, messages bound to their ids, and copies that keep their flags. And the
// store session as clients meet it: one connection while any folder or manager lives, torn down
// with the last of them and built afresh (reading the store's location again) for the next; a
// store out of reach still gives working, null, folders; first objects made on several threads at
// once.
#include <algorithm>
#include <thread>

#include "support/store_test.h"

namespace pelkary::test {
namespace {

// Text beyond ASCII that the process's ANSI code page holds, with its bytes in that code page.
// Under 932 both characters have the trail byte 0x5C, a backslash when read byte by byte.
struct NonAscii {
    std::wstring wide;
    std::string ansi;
};
NonAscii InThisCodePage() {
    switch (GetACP()) {
        case 932: return {L"\u8868 \u4E88\u5B9A", "\x95\x5C \x97\x5C\x92\xE8"};
        case 1251: return {L"\u0412\u0445\u043E\u0434\u044F\u0449\u0438\u0435", "\xC2\xF5\xEE\xE4\xFF\xF9\xE8\xE5"};
        default: return {L"Re\u00e7us \u00e0 tri\u00e9r \u00df", "Re\xE7us \xE0 tri\xE9r \xDF"};
    }
}

constexpr long kMissing = 987654;

// The top-level folders and these after them; WalkOf, the manager's walk over them from the root.
std::vector<std::wstring> Top(std::initializer_list<const wchar_t*> more = {}) {
    std::vector<std::wstring> names = {L"Inbox", L"Outbox", L"Sent Items", L"Deleted Items", L"Drafts"};
    names.insert(names.end(), more.begin(), more.end());
    return names;
}
std::vector<std::wstring> WalkOf(std::initializer_list<const wchar_t*> more) {
    std::vector<std::wstring> names = Top(more);
    names.insert(names.begin(), L"Local Folders");
    return names;
}

// The five kind tests, in the order Inbox, Outbox, Sent, Deleted, Draft.
std::vector<long> Kind(IMXFolder* f, Here at = Here::Caller()) {
    return {Ask(f, &IMXFolder::IsInbox, at), Ask(f, &IMXFolder::IsOutbox, at), Ask(f, &IMXFolder::IsSent, at),
            Ask(f, &IMXFolder::IsDeleted, at), Ask(f, &IMXFolder::IsDraft, at)};
}

class FolderTest : public StoreTest {
protected:
    // The manager's whole walk, from GetFirstFolder on.
    std::vector<std::wstring> WholeWalk() {
        com_ptr<IMXFolder> root = Ask(manager_.get(), &IMXFolderManager::GetFirstFolder);
        std::vector<std::wstring> names = {Ask(root.get(), &IMXFolder::Name)};
        for (const std::wstring& name : Walk(manager_.get(), &IMXFolderManager::GetNextFolder)) names.push_back(name);
        return names;
    }
    // Walks from the root with GetNextFolder until the folder with this id is current.
    void WalkTo(long id) {
        Ask(manager_.get(), &IMXFolderManager::GetFirstFolder);
        for (int i = 0; i < 50; ++i) {
            com_ptr<IMXFolder> folder = Ask(manager_.get(), &IMXFolderManager::GetNextFolder);
            ASSERT_TRUE(folder) << "the walk ended before folder " << id;
            if (Ask(folder.get(), &IMXFolder::GetID) == id) return;
        }
    }
    long Current() {
        com_ptr<IMXFolder> current = Ask(manager_.get(), &IMXFolderManager::GetCurrentFolder);
        return current ? Ask(current.get(), &IMXFolder::GetID) : -1;
    }
    // T with children A (with child A1) and B.
    void MakeTree() {
        t_ = NewFolder(L"T");
        a_ = NewFolder(L"A", t_);
        a1_ = NewFolder(L"A1", a_);
        b_ = NewFolder(L"B", t_);
    }
    long t_ = -1, a_ = -1, a1_ = -1, b_ = -1;
};

// A folder that has no store folder: answers come from pelkary alone, never from the store.
void ExpectNullFolder(IMXFolder* f, long id, const wchar_t* name, Here at = Here::Caller()) {
    ::testing::ScopedTrace trace(at.file, at.line, "null folder");
    EXPECT_EQ(id, Ask(f, &IMXFolder::GetID));
    EXPECT_EQ(name, Ask(f, &IMXFolder::Name));
    std::vector<long> answers = Kind(f);
    for (long n : {Ask(f, &IMXFolder::IsNull), Ask(f, &IMXFolder::GetMessageCount), Ask(f, &IMXFolder::GetUnreadCount),
                   Ask(f, &IMXFolder::GetSubFolderCount), Ask(f, &IMXFolder::MarkAsRead, 1),
                   Ask(f, &IMXFolder::DeleteMessage, 1, 0), Ask(f, &IMXFolder::Rename, B(L"renamed").get())})
        answers.push_back(n);
    EXPECT_EQ(answers, (std::vector<long>{0, 0, 0, 0, 0, 1, -1, -1, -1, 0, 0, 0}));
    EXPECT_FALSE(Ask(f, &IMXFolder::GetFirstMessage) || Ask(f, &IMXFolder::GetNextMessage) ||
                 Ask(f, &IMXFolder::GetMessage, 1) || Ask(f, &IMXFolder::CreateMessage, B(L"Subject: x\r\n\r\n").get()));
}

TEST_F(FolderTest, TheRootAnswersTheSameWhereverItComesFromAndAMissingIdGivesANullFolderThatKeepsIt) {
    com_ptr<IMXFolder> walked = Ask(manager_.get(), &IMXFolderManager::GetFirstFolder), by_id = Folder(0);
    com_ptr<IMXFolder> made = CreateFolderObject();  // never opened
    for (IMXFolder* root : {walked.get(), by_id.get(), made.get()}) {
        ExpectNullFolder(root, 0, L"Local Folders");
        EXPECT_EQ(0, Ask(root, &IMXFolder::Delete));
        EXPECT_EQ(Top(), Walk(root, &IMXFolder::GetNextChild));
    }
    EXPECT_GT(Ask(made.get(), &IMXFolder::CreateFolder, B(L"Top").get()), 0);
    EXPECT_EQ(Top({L"Top"}), Walk(made.get(), &IMXFolder::GetNextChild));

    com_ptr<IMXFolder> folder = Folder(kMissing);
    ExpectNullFolder(folder.get(), kMissing, L"");
    EXPECT_FALSE(Ask(folder.get(), &IMXFolder::GetFirstChild));
    EXPECT_FALSE(Ask(folder.get(), &IMXFolder::GetNextChild));
    EXPECT_EQ(-1, Ask(folder.get(), &IMXFolder::CreateFolder, B(L"x").get()));
}

TEST_F(FolderTest, SpecialFoldersKnowTheirKindHoweverTheyAreOpened) {
    HRESULT (STDMETHODCALLTYPE IMXFolderManager::*get[])(::MXFolder**) = {
        &IMXFolderManager::GetInboxFolder, &IMXFolderManager::GetOutboxFolder, &IMXFolderManager::GetSentFolder,
        &IMXFolderManager::GetDeletedFolder, &IMXFolderManager::GetDraftFolder};
    for (int kind = 0; kind < 5; ++kind) {
        com_ptr<IMXFolder> special = Ask(manager_.get(), get[kind]);
        std::vector<long> expected(5, 0);
        expected[kind] = 1;
        EXPECT_EQ(expected, Kind(special.get())) << kind;
        EXPECT_EQ(0, Ask(special.get(), &IMXFolder::IsNull));
        const long id = Ask(special.get(), &IMXFolder::GetID);
        EXPECT_EQ(FolderId(static_cast<SPECIALFOLDER>(kind)), id);
        EXPECT_EQ(expected, Kind(Folder(id).get())) << kind << " opened by id";
    }
    EXPECT_EQ(std::vector<long>(5, 0), Kind(Folder(NewFolder(L"Plain")).get()));
}

TEST_F(FolderTest, ChildWalkRestartsAfterItsEndAndOnGetFirstChild) {
    long parent_id = NewFolder(L"P");
    for (const wchar_t* name : {L"c1", L"c2", L"c3"}) NewFolder(name, parent_id);
    com_ptr<IMXFolder> parent = Folder(parent_id);
    const std::vector<std::wstring> children = {L"c1", L"c2", L"c3"};
    EXPECT_EQ(children, Walk(parent.get(), &IMXFolder::GetNextChild)) << "a fresh folder's GetNextChild starts";
    EXPECT_EQ(children, Walk(parent.get(), &IMXFolder::GetNextChild)) << "after its end the walk starts again";
    com_ptr<IMXFolder> c1 = Ask(parent.get(), &IMXFolder::GetNextChild);
    Ask(parent.get(), &IMXFolder::GetNextChild);
    com_ptr<IMXFolder> first = Ask(parent.get(), &IMXFolder::GetFirstChild);
    EXPECT_NE(c1.get(), first.get()) << "every child is a new object";
    EXPECT_EQ(Ask(c1.get(), &IMXFolder::GetID), Ask(first.get(), &IMXFolder::GetID));
    EXPECT_EQ(std::vector<std::wstring>(children.begin() + 1, children.end()),
              Walk(parent.get(), &IMXFolder::GetNextChild)) << "GetFirstChild restarted the walk";
    EXPECT_TRUE(Walk(first.get(), &IMXFolder::GetNextChild).empty());
}

TEST_F(FolderTest, MessageWalkAndLookupGiveMessagesBoundToTheirIds) {
    const long id = NewFolder(L"M");
    com_ptr<IMXFolder> folder = Folder(id);
    EXPECT_FALSE(Ask(folder.get(), &IMXFolder::GetFirstMessage));
    EXPECT_EQ(0, Ask(folder.get(), &IMXFolder::GetMessageCount));
    std::vector<MESSAGEID> stored;
    for (int i = 0; i < 3; ++i) stored.push_back(Put(id, "Subject: m\r\n\r\nx\r\n", MSG_UNREAD));
    auto walk = [&] {
        std::vector<MESSAGEID> ids;
        while (com_ptr<IMXMessage> m = Ask(folder.get(), &IMXFolder::GetNextMessage)) {
            EXPECT_EQ(id, Ask(m.get(), &IMXMessage::GetFolderID));
            ids.push_back(static_cast<MESSAGEID>(Ask(m.get(), &IMXMessage::GetID)));
        }
        return ids;
    };
    EXPECT_EQ(stored, walk());
    EXPECT_EQ(stored, walk()) << "after the ending null the walk starts again";
    Ask(folder.get(), &IMXFolder::GetNextMessage);
    Ask(folder.get(), &IMXFolder::GetNextMessage);
    EXPECT_EQ(static_cast<long>(stored[0]), Ask(Ask(folder.get(), &IMXFolder::GetFirstMessage).get(), &IMXMessage::GetID));
    EXPECT_EQ(std::vector<MESSAGEID>(stored.begin() + 1, stored.end()), walk()) << "GetFirstMessage restarted it";
    EXPECT_EQ(static_cast<long>(stored[1]),
              Ask(Ask(folder.get(), &IMXFolder::GetMessage, static_cast<long>(stored[1])).get(), &IMXMessage::GetID));
    EXPECT_FALSE(Ask(folder.get(), &IMXFolder::GetMessage, static_cast<long>(stored[2]) + 100));
}

// Names and sources reach the store in the ANSI code page (this program runs under 1252, 932 and 1251).
TEST_F(FolderTest, TextOutsideAsciiRoundTripsAndMessagesAreMarkedCreatedAndDeletedById) {
    const NonAscii text = InThisCodePage();
    const long id = NewFolder(text.wide.c_str());
    com_ptr<IMXFolder> folder = Folder(id);
    EXPECT_EQ(text.wide, Ask(folder.get(), &IMXFolder::Name));
    const std::wstring renamed = L"2 " + text.wide;
    EXPECT_EQ(1, Ask(folder.get(), &IMXFolder::Rename, B(renamed.c_str()).get()));
    EXPECT_EQ(renamed, Ask(folder.get(), &IMXFolder::Name)) << "names are read from the store when asked";
    const long message = static_cast<long>(Put(id, "Subject: m\r\n\r\nx\r\n", MSG_UNREAD));
    EXPECT_EQ((std::vector<long>{1, 0, 1, 1, 0, 0}),
              (std::vector<long>{Ask(folder.get(), &IMXFolder::MarkAsRead, message),
                                 Ask(folder.get(), &IMXFolder::GetUnreadCount),
                                 Ask(folder.get(), &IMXFolder::MarkAsUnread, message),
                                 Ask(folder.get(), &IMXFolder::GetUnreadCount),
                                 Ask(folder.get(), &IMXFolder::MarkAsRead, message + 100),
                                 Ask(folder.get(), &IMXFolder::DeleteMessage, message + 100, 0)}));

    const std::wstring source = L"Subject: " + text.wide + L"\r\n\r\n" + text.wide + L"\r\n";
    com_ptr<IMXMessage> created = Ask(folder.get(), &IMXFolder::CreateMessage, B(source.c_str()).get());
    com_ptr<IMXMessage> empty = Ask(folder.get(), &IMXFolder::CreateMessage, nullptr);
    ASSERT_TRUE(created && empty) << "a null source stores an empty message";
    const auto created_id = static_cast<MESSAGEID>(Ask(created.get(), &IMXMessage::GetID));
    const auto empty_id = static_cast<MESSAGEID>(Ask(empty.get(), &IMXMessage::GetID));
    EXPECT_EQ("Subject: " + text.ansi + "\r\n\r\n" + text.ansi + "\r\n", Source(id, created_id));
    EXPECT_EQ("", Source(id, empty_id));
    EXPECT_EQ(1, Ask(folder.get(), &IMXFolder::DeleteMessage, message, 0));
    EXPECT_EQ(std::vector<MESSAGEID>({created_id, empty_id}), Ids(id));
    EXPECT_EQ(0, Ask(folder.get(), &IMXFolder::DeleteMessage, message, 0)) << "it is no longer in this folder";
}

TEST_F(FolderTest, ManagerWalkIsDepthFirstRestartsAndOutlivesTheDeletionOfItsCurrentFolder) {
    MakeTree();
    EXPECT_EQ(-1, Current()) << "no current folder before the walk";
    const auto tree = WalkOf({L"T", L"A", L"A1", L"B"});
    EXPECT_EQ(tree, Walk(manager_.get(), &IMXFolderManager::GetNextFolder)) << "a fresh walk starts at the root";
    EXPECT_EQ(-1, Current()) << "the walk's end leaves no current folder";
    EXPECT_EQ(tree, Walk(manager_.get(), &IMXFolderManager::GetNextFolder)) << "and the next call starts again";

    WalkTo(a1_);  // three enumerations deep
    com_ptr<IMXFolder> root = Ask(manager_.get(), &IMXFolderManager::GetFirstFolder);
    EXPECT_EQ(0, Ask(root.get(), &IMXFolder::GetID));
    EXPECT_EQ(root.get(), Ask(manager_.get(), &IMXFolderManager::GetCurrentFolder).get())
        << "GetCurrentFolder hands out the walk's own object";
    EXPECT_EQ(std::vector<std::wstring>(tree.begin() + 1, tree.end()),
              Walk(manager_.get(), &IMXFolderManager::GetNextFolder));

    // Deleting the walk's current folder moves the walk on first.
    WalkTo(a1_);
    EXPECT_EQ(1, Ask(manager_.get(), &IMXFolderManager::DeleteFolder, a1_));
    EXPECT_EQ(b_, Current()) << "after a deleted leaf, the next folder of the walk";

    const long again = NewFolder(L"A1", a_);
    WalkTo(a_);
    EXPECT_EQ(1, Ask(manager_.get(), &IMXFolderManager::DeleteFolder, b_));
    EXPECT_EQ(a_, Current()) << "deleting another folder leaves the walk alone";
    EXPECT_EQ(again, Ask(Ask(manager_.get(), &IMXFolderManager::GetNextFolder).get(), &IMXFolder::GetID));
    WalkTo(a_);
    EXPECT_EQ(1, Ask(manager_.get(), &IMXFolderManager::DeleteFolder, a_));
    EXPECT_EQ(again, Current()) << "a deleted parent's walk moves into its first child";
    EXPECT_EQ(WalkOf({L"T"}), WholeWalk());
}

TEST_F(FolderTest, TheManagerChangesFoldersByIdAndRefusesTheRootAndMissingOnes) {
    MakeTree();
    EXPECT_EQ(1, Ask(manager_.get(), &IMXFolderManager::RenameFolder, b_, B(L"B2").get()));
    EXPECT_EQ(1, Ask(manager_.get(), &IMXFolderManager::MoveFolder, b_, a1_));
    EXPECT_EQ(WalkOf({L"T", L"A", L"A1", L"B2"}), WholeWalk());
    for (long id : {0L, kMissing}) {
        EXPECT_EQ(0, Ask(manager_.get(), &IMXFolderManager::RenameFolder, id, B(L"x").get())) << id;
        EXPECT_EQ(0, Ask(manager_.get(), &IMXFolderManager::MoveFolder, id, t_)) << id;
        EXPECT_EQ(0, Ask(manager_.get(), &IMXFolderManager::DeleteFolder, id)) << id;
    }
    EXPECT_EQ(0, Ask(manager_.get(), &IMXFolderManager::MoveFolder, a_, kMissing));
    EXPECT_EQ(-1, Ask(manager_.get(), &IMXFolderManager::CreateFolder, kMissing, B(L"orphan").get()));
    EXPECT_EQ(WalkOf({L"T", L"A", L"A1", L"B2"}), WholeWalk());
    EXPECT_EQ(1, Ask(manager_.get(), &IMXFolderManager::DeleteFolder, t_));
    EXPECT_EQ(WalkOf({}), WholeWalk());
}

TEST_F(FolderTest, CopyKeepsTheSourceMoveTakesItAndBothKeepTheMessagesState) {
    const long source = NewFolder(L"Source"), target = NewFolder(L"Target");
    const char text[] = "Subject: hello\r\n\r\nbody\r\n";
    const long id = static_cast<long>(Put(source, text, MSG_UNREAD));
    EXPECT_EQ(0, Ask(manager_.get(), &IMXFolderManager::CopyMessage, kMissing, target, id));
    EXPECT_EQ(0, Ask(manager_.get(), &IMXFolderManager::MoveMessage, source, kMissing, id));
    EXPECT_EQ(0, Ask(manager_.get(), &IMXFolderManager::MoveMessage, source, target, id + 1000));
    EXPECT_EQ(0, Ask(manager_.get(), &IMXFolderManager::CopyMessage, 0, target, id)) << "the root holds no messages";
    EXPECT_TRUE(Ids(target).empty());
    EXPECT_EQ(1, Ask(manager_.get(), &IMXFolderManager::CopyMessage, source, target, id));
    EXPECT_EQ(1u, Ids(source).size());
    ASSERT_EQ(1u, Ids(target).size());
    EXPECT_EQ(text, Source(target, Ids(target)[0]));
    EXPECT_EQ(1, Ask(manager_.get(), &IMXFolderManager::MoveMessage, source, target, id));
    EXPECT_TRUE(Ids(source).empty());
    EXPECT_EQ(2, Ask(Folder(target).get(), &IMXFolder::GetUnreadCount)) << "both arrive unread, as they were";
}

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
