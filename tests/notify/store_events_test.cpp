// Events raised by the store's own notifications, as a client sees them through the COM runtime:
// folder events through each folder's sink window, manager events through the store sink window
// of the session, the new-message watcher, the deleted-items purge of permanently deleted
// messages, and a message delivered by another process. Events arrive only while this thread
// pumps messages.
#include <olectl.h>

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "comsupport/text.h"
#include "store_api.h"
#include "support/test_support.h"

namespace pelkary {
namespace {

using test::PumpMessages;
using test::PumpUntil;
using test::RecordingSink;
using test::SinkCall;

constexpr DWORD kWait = 10000;

// IMXFolderEvents
constexpr DISPID kOnNewMessage = 1;
constexpr DISPID kOnMessageDeleted = 2;
constexpr DISPID kOnDeletion = 3;
// IMXFolderManagerEvents
constexpr DISPID kOnFolderCreated = 1;
constexpr DISPID kOnFolderDeleted = 2;
constexpr DISPID kOnFolderRenamed = 3;
constexpr DISPID kOnFolderMoved = 4;
constexpr DISPID kOnFolderUnreadChanged = 5;
constexpr DISPID kOnManagerNewMessage = 6;

std::string Source(const std::string& subject, const std::string& extra_header = "") {
    return "From: sender@example.com\r\nTo: reader@example.com\r\nSubject: " + subject + "\r\n" + extra_header +
           "\r\nBody of " + subject + "\r\n";
}

com_ptr<IMXFolder> Held(::MXFolder* folder) { return com_ptr<IMXFolder>::attach(reinterpret_cast<IMXFolder*>(folder)); }

long IdOf(IMXFolder* folder) {
    long id = -1;
    EXPECT_HR(S_OK, folder->GetID(&id));
    return id;
}

long CountIn(IMXFolder* folder) {
    long count = -1;
    EXPECT_HR(S_OK, folder->GetMessageCount(&count));
    return count;
}

// A message saved into `folder` (the store keeps it as read); its id, or -1.
long Save(IMXFolder* folder, const std::string& subject, const std::string& extra_header = "") {
    ::MXMessage* raw = nullptr;
    unique_bstr source(ansi_to_bstr(Source(subject, extra_header).c_str()));
    EXPECT_HR(S_OK, folder->CreateMessage(source.get(), &raw));
    com_ptr<IMXMessage> message = com_ptr<IMXMessage>::attach(reinterpret_cast<IMXMessage*>(raw));
    if (!message) {
        ADD_FAILURE() << "CreateMessage gave no message";
        return -1;
    }
    long id = -1;
    EXPECT_HR(S_OK, message->GetID(&id));
    return id;
}

// A message saved into `folder` and marked unread, as new mail arrives.
long SaveUnread(IMXFolder* folder, const std::string& subject) {
    long id = Save(folder, subject);
    long done = 0;
    EXPECT_HR(S_OK, folder->MarkAsUnread(id, &done));
    EXPECT_EQ(done, 1);
    return id;
}

std::vector<SinkCall> Only(const std::vector<SinkCall>& calls, std::initializer_list<DISPID> ids) {
    std::vector<SinkCall> out;
    for (const SinkCall& c : calls)
        if (std::find(ids.begin(), ids.end(), c.dispid) != ids.end()) out.push_back(c);
    return out;
}

// The windows of one class that belong to this thread (top-level or message-only).
std::vector<HWND> ThreadWindows(const char* class_name) {
    struct Search {
        const char* name;
        std::vector<HWND> found;
    } search{class_name, {}};
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND hwnd, LPARAM param) -> BOOL {
            auto* s = reinterpret_cast<Search*>(param);
            char name[64] = {};
            GetClassNameA(hwnd, name, sizeof name);
            if (std::string(name) == s->name) s->found.push_back(hwnd);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    // Without a display driver the sinks are message-only windows, which EnumThreadWindows skips.
    for (HWND hwnd = FindWindowExA(HWND_MESSAGE, nullptr, class_name, nullptr); hwnd;
         hwnd = FindWindowExA(HWND_MESSAGE, hwnd, class_name, nullptr)) {
        if (GetWindowThreadProcessId(hwnd, nullptr) == GetCurrentThreadId()) search.found.push_back(hwnd);
    }
    return search.found;
}

// A folder-change record as the store posts it to the store sink window.
void PostFolderChange(DWORD type, DWORD folder_id) {
    std::vector<HWND> sinks = ThreadWindows("Store sink");
    ASSERT_EQ(sinks.size(), 1u) << "one store sink window on the thread that built the session";
    auto* record = static_cast<FOLDERNOTIFYEX*>(CoTaskMemAlloc(sizeof(FOLDERNOTIFYEX)));
    ASSERT_NE(record, nullptr);
    record->type = type;
    record->idFolder2 = 0;
    record->idFolder = folder_id;
    ASSERT_TRUE(PostMessageA(sinks[0], WM_FOLDERNOTIFY, 0, reinterpret_cast<LPARAM>(record)));
}

// Waits until the session's scan has ended: a change record is dispatched only after the scan,
// so a record for a folder that does not exist comes back as soon as the scan is over. `sink`
// must be connected to a manager; its calls are cleared afterwards. Messages that arrive while the
// scan runs may be counted as already seen, so tests about new messages start after it.
void AwaitScan(RecordingSink* sink) {
    constexpr DWORD kNoSuchFolder = 0x7FFF0000;
    PostFolderChange(UNREAD_CHANGE, kNoSuchFolder);
    EXPECT_TRUE(PumpUntil([&] { return !sink->CallsTo(kOnFolderUnreadChanged).empty(); }, kWait));
    sink->Clear();
}

class StoreEventsTest : public ::testing::Test {
protected:
    void SetUp() override {
        manager_ = test::CreateManager();
        ASSERT_TRUE(manager_);
    }

    com_ptr<IMXFolder> Inbox(IMXFolderManager* manager = nullptr) {
        ::MXFolder* raw = nullptr;
        EXPECT_HR(S_OK, (manager ? manager : manager_.get())->GetInboxFolder(&raw));
        return Held(raw);
    }
    com_ptr<IMXFolder> Special(HRESULT (STDMETHODCALLTYPE IMXFolderManager::*get)(::MXFolder**)) {
        ::MXFolder* raw = nullptr;
        EXPECT_HR(S_OK, (manager_.get()->*get)(&raw));
        return Held(raw);
    }
    com_ptr<IMXFolder> FolderById(long id) {
        ::MXFolder* raw = nullptr;
        EXPECT_HR(S_OK, manager_->GetFolder(id, &raw));
        return Held(raw);
    }
    long NewFolder(long parent, const wchar_t* name) {
        unique_bstr bstr(SysAllocString(name));
        long id = -1;
        EXPECT_HR(S_OK, manager_->CreateFolder(parent, bstr.get(), &id));
        EXPECT_GT(id, 0) << "creating folder";
        return id;
    }

    static com_ptr<RecordingSink> FolderSink(const char* name) {
        auto sink = RecordingSink::Create(DIID_IMXFolderEvents, name);
        sink->Allow(kOnNewMessage);
        sink->Allow(kOnMessageDeleted);
        sink->Allow(kOnDeletion);
        return sink;
    }
    static com_ptr<RecordingSink> ManagerSink(const char* name) {
        auto sink = RecordingSink::Create(DIID_IMXFolderManagerEvents, name);
        sink->AllowAll();
        return sink;
    }

    // The scan's own folders (on the scan thread) come and go with sink windows of the same class
    // as this thread's; looking windows up is reliable once the scan is over.
    void SettleScan() {
        auto sink = ManagerSink("scan barrier");
        test::EventConnection connection(manager_.get(), DIID_IMXFolderManagerEvents, sink.get());
        AwaitScan(sink.get());
    }

    // Every folder and manager gone: the session ends; the next object builds a new one, whose
    // scan records the store as it is then.
    void RestartSession() {
        manager_ = nullptr;
        manager_ = test::CreateManager();
        ASSERT_TRUE(manager_);
    }

    test::ComApartment apartment_;
    test::TempStore store_;
    com_ptr<IMXFolderManager> manager_;
};

// --- Folder events -----------------------------------------------------------------------------

TEST_F(StoreEventsTest, NewMessageReachesTheFolderOnlyWhenTheThreadPumps) {
    auto inbox = Inbox();
    auto sink = FolderSink("inbox");
    test::EventConnection connection(inbox.get(), DIID_IMXFolderEvents, sink.get());
    long id = Save(inbox.get(), "arriving");
    ASSERT_GT(id, 0);
    EXPECT_TRUE(sink->calls().empty()) << "no client code runs inside the store's notification";
    ASSERT_TRUE(sink->WaitFor(kOnNewMessage, 1, kWait));
    EXPECT_EQ(sink->calls(), (std::vector<SinkCall>{{kOnNewMessage, {id}}}));
}

TEST_F(StoreEventsTest, DeletedMessageIsReportedWithItsId) {
    auto inbox = Inbox();
    long first = Save(inbox.get(), "first");
    long second = Save(inbox.get(), "second");
    PumpMessages(100);
    auto sink = FolderSink("inbox");
    test::EventConnection connection(inbox.get(), DIID_IMXFolderEvents, sink.get());
    long done = 0;
    ASSERT_HR(S_OK, inbox->DeleteMessage(second, 0, &done));
    ASSERT_EQ(done, 1);
    ASSERT_TRUE(sink->WaitFor(kOnMessageDeleted, 1, kWait));
    PumpMessages(100);
    EXPECT_EQ(sink->CallsTo(kOnMessageDeleted), (std::vector<SinkCall>{{kOnMessageDeleted, {second}}}));
    (void)first;
}

TEST_F(StoreEventsTest, DeletedIdsNotificationReportsTheFirstIdOnce) {
    auto inbox = Inbox();
    auto sink = FolderSink("inbox");
    test::EventConnection connection(inbox.get(), DIID_IMXFolderEvents, sink.get());
    SettleScan();
    std::vector<HWND> windows = ThreadWindows("NUVAK Folder sink");
    ASSERT_EQ(windows.size(), 1u);
    DWORD ids[2] = {12, 13};
    ASSERT_TRUE(PostMessageA(windows[0], WM_DELETEMSGS, reinterpret_cast<WPARAM>(ids), 0));
    ASSERT_TRUE(sink->WaitFor(kOnMessageDeleted, 1, kWait));
    ids[0] = 99;  // the store's list need not outlive its notification
    PumpMessages(100);
    EXPECT_EQ(sink->calls(), (std::vector<SinkCall>{{kOnMessageDeleted, {12}}}));
}

TEST_F(StoreEventsTest, DeletedFolderTellsItsFolderObject) {
    long id = NewFolder(0, L"Doomed");
    auto doomed = FolderById(id);
    auto sink = FolderSink("doomed");
    test::EventConnection connection(doomed.get(), DIID_IMXFolderEvents, sink.get());
    long done = 0;
    ASSERT_HR(S_OK, manager_->DeleteFolder(id, &done));
    ASSERT_EQ(done, 1);
    ASSERT_TRUE(sink->WaitFor(kOnDeletion, 1, kWait));
    EXPECT_EQ(sink->CallsTo(kOnDeletion), (std::vector<SinkCall>{{kOnDeletion, {}}}));
}

TEST_F(StoreEventsTest, ReleasedFolderDropsItsQueuedEvents) {
    auto inbox = Inbox();
    auto sink = FolderSink("inbox");
    // Connected, but holding neither the folder nor its connection point: releasing the folder
    // ends it, and its connections with it.
    {
        com_ptr<IConnectionPointContainer> container;
        ASSERT_HR(S_OK, inbox->QueryInterface(IID_IConnectionPointContainer, container.put_void()));
        com_ptr<IConnectionPoint> point;
        ASSERT_HR(S_OK, container->FindConnectionPoint(DIID_IMXFolderEvents, point.put()));
        DWORD cookie = 0;
        ASSERT_HR(S_OK, point->Advise(sink.get(), &cookie));
    }
    SettleScan();
    std::vector<HWND> windows = ThreadWindows("NUVAK Folder sink");
    ASSERT_EQ(windows.size(), 1u);
    ASSERT_TRUE(PostMessageA(windows[0], WM_NEWMSGS, 57, 0));
    // The store's message is re-posted when dispatched; the folder goes in between.
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, windows[0], WM_NEWMSGS, WM_NEWMSGS, PM_REMOVE));
    DispatchMessageA(&msg);
    EXPECT_TRUE(sink->calls().empty()) << "nothing is fired before the deferred message";
    inbox = nullptr;
    EXPECT_TRUE(ThreadWindows("NUVAK Folder sink").empty());
    EXPECT_EQ(sink->ref_count(), 1);
    PumpMessages(200);
    EXPECT_TRUE(sink->calls().empty());
}

TEST_F(StoreEventsTest, SinkWindowsAreHiddenTopLevelWindowsOfTheSessionThread) {
    auto inbox = Inbox();
    long is_null = 1;
    ASSERT_HR(S_OK, inbox->IsNull(&is_null));
    ASSERT_EQ(is_null, 0);
    SettleScan();
    const bool can_make_top_level = [] {
        unique_hwnd probe(CreateWindowExA(0, "STATIC", "probe", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, nullptr, nullptr,
                                          nullptr, nullptr));
        return static_cast<bool>(probe);
    }();
    struct Expected {
        const char* class_name;
        const char* title;
    };
    for (Expected e : {Expected{"Store sink", "NUVAK"}, Expected{"NUVAK Outbox sink", "Folder"},
                       Expected{"NUVAK Folder sink", "Folder"}}) {
        std::vector<HWND> windows = ThreadWindows(e.class_name);
        ASSERT_EQ(windows.size(), 1u) << e.class_name;
        HWND hwnd = windows[0];
        char title[32] = {};
        GetWindowTextA(hwnd, title, sizeof title);
        EXPECT_STREQ(title, e.title) << e.class_name;
        EXPECT_FALSE(IsWindowVisible(hwnd)) << e.class_name;
        EXPECT_EQ(GetWindowLongA(hwnd, GWL_STYLE) & WS_OVERLAPPEDWINDOW, WS_OVERLAPPEDWINDOW) << e.class_name;
        // Top-level when the thread can make top-level windows at all (not without a display
        // driver, where the sinks fall back to message-only windows).
        if (can_make_top_level) {
            EXPECT_EQ(GetAncestor(hwnd, GA_PARENT), GetDesktopWindow()) << e.class_name << " is not message-only";
        }
    }
    inbox = nullptr;
    manager_ = nullptr;
    EXPECT_TRUE(ThreadWindows("Store sink").empty()) << "the session's windows end with it";
    EXPECT_TRUE(ThreadWindows("NUVAK Outbox sink").empty());
}

// --- Manager events ----------------------------------------------------------------------------

TEST_F(StoreEventsTest, FolderChangesReachEveryManager) {
    auto second = test::CreateManager();
    auto a = ManagerSink("first manager"), b = ManagerSink("second manager");
    test::EventConnection ca(manager_.get(), DIID_IMXFolderManagerEvents, a.get());
    test::EventConnection cb(second.get(), DIID_IMXFolderManagerEvents, b.get());

    long moving = NewFolder(0, L"Moving");
    ASSERT_TRUE(a->WaitFor(kOnFolderCreated, 1, kWait));
    long parent = NewFolder(0, L"Parent");
    ASSERT_TRUE(a->WaitFor(kOnFolderCreated, 2, kWait));
    unique_bstr name(SysAllocString(L"Moved"));
    long done = 0;
    ASSERT_HR(S_OK, manager_->RenameFolder(moving, name.get(), &done));
    ASSERT_EQ(done, 1);
    ASSERT_TRUE(a->WaitFor(kOnFolderRenamed, 1, kWait));
    ASSERT_HR(S_OK, manager_->MoveFolder(moving, parent, &done));
    ASSERT_EQ(done, 1);
    ASSERT_TRUE(a->WaitFor(kOnFolderMoved, 1, kWait));
    ASSERT_HR(S_OK, manager_->DeleteFolder(moving, &done));
    ASSERT_EQ(done, 1);
    ASSERT_TRUE(a->WaitFor(kOnFolderDeleted, 1, kWait));
    PumpMessages(100);

    const std::vector<SinkCall> expected = {{kOnFolderCreated, {moving}}, {kOnFolderCreated, {parent}},
                                            {kOnFolderRenamed, {moving}}, {kOnFolderMoved, {moving}},
                                            {kOnFolderDeleted, {moving}}};
    const auto changes = {kOnFolderCreated, kOnFolderDeleted, kOnFolderRenamed, kOnFolderMoved};
    EXPECT_EQ(Only(a->calls(), changes), expected);
    EXPECT_EQ(Only(b->calls(), changes), expected);
}

TEST_F(StoreEventsTest, ChangeRecordsAreDispatchedByTypeAndOnlyWhenPumped) {
    auto second = test::CreateManager();
    auto a = ManagerSink("first manager"), b = ManagerSink("second manager");
    test::EventConnection ca(manager_.get(), DIID_IMXFolderManagerEvents, a.get());
    test::EventConnection cb(second.get(), DIID_IMXFolderManagerEvents, b.get());
    PumpMessages(100);

    PostFolderChange(3, 40);
    PostFolderChange(8, 41);  // never forwarded
    PostFolderChange(6, 42);  // forwarded, but no event answers it
    PostFolderChange(5, 43);  // no folder 43: the detection finds nothing
    EXPECT_TRUE(a->calls().empty());
    PumpMessages(300);
    const std::vector<SinkCall> expected = {{kOnFolderRenamed, {40}}, {kOnFolderUnreadChanged, {43}}};
    EXPECT_EQ(a->calls(), expected);
    EXPECT_EQ(b->calls(), expected);
}

TEST_F(StoreEventsTest, HandlerMayReleaseEveryManagerDuringTheDispatch) {
    auto second = test::CreateManager();
    auto a = ManagerSink("first manager"), b = ManagerSink("second manager");
    auto ca = std::make_unique<test::EventConnection>(manager_.get(), DIID_IMXFolderManagerEvents, a.get());
    auto cb = std::make_unique<test::EventConnection>(second.get(), DIID_IMXFolderManagerEvents, b.get());
    PumpMessages(100);
    // The first handler lets go of both managers: the second is gone before its turn comes, and the
    // session outlives the dispatch that it is running.
    a->set_hook([&](const SinkCall&) {
        ca.reset();
        cb.reset();
        second = nullptr;
        manager_ = nullptr;
    });
    PostFolderChange(1, 77);
    PumpMessages(300);
    EXPECT_EQ(a->calls(), (std::vector<SinkCall>{{kOnFolderCreated, {77}}}));
    EXPECT_TRUE(b->calls().empty());
    EXPECT_TRUE(ThreadWindows("Store sink").empty()) << "the session ended once the dispatch was over";
    EXPECT_EQ(b->ref_count(), 1);

    // A new session starts cleanly afterwards.
    manager_ = test::CreateManager();
    ASSERT_TRUE(manager_);
    EXPECT_EQ(ThreadWindows("Store sink").size(), 1u);
}

// --- The new-message watcher -------------------------------------------------------------------

TEST_F(StoreEventsTest, NewUnreadMessagesAfterTheScanComeAfterTheUnreadChange) {
    long watched = NewFolder(0, L"Watched");
    long before = -1;
    {
        auto folder = FolderById(watched);
        before = Save(folder.get(), "seen by the scan");
    }
    RestartSession();
    auto second = test::CreateManager();
    auto a = ManagerSink("first manager"), b = ManagerSink("second manager");
    test::EventConnection ca(manager_.get(), DIID_IMXFolderManagerEvents, a.get());
    test::EventConnection cb(second.get(), DIID_IMXFolderManagerEvents, b.get());
    AwaitScan(a.get());
    b->Clear();

    auto folder = FolderById(watched);
    long first = SaveUnread(folder.get(), "new one");
    long next = SaveUnread(folder.get(), "new two");
    ASSERT_LT(before, first);
    ASSERT_LT(first, next);
    ASSERT_TRUE(a->WaitFor(kOnManagerNewMessage, 2, kWait));
    ASSERT_TRUE(b->WaitFor(kOnManagerNewMessage, 2, kWait));
    PumpMessages(200);

    for (RecordingSink* sink : {a.get(), b.get()}) {
        const auto calls = Only(sink->calls(), {kOnFolderUnreadChanged, kOnManagerNewMessage});
        ASSERT_FALSE(calls.empty());
        EXPECT_EQ(calls.front(), (SinkCall{kOnFolderUnreadChanged, {watched}})) << "the unread change comes first";
        EXPECT_EQ(sink->CallsTo(kOnManagerNewMessage),
                  (std::vector<SinkCall>{{kOnManagerNewMessage, {watched, first}},
                                         {kOnManagerNewMessage, {watched, next}}}));
    }
}

TEST_F(StoreEventsTest, ReadMessagesAndTheSentFolderGiveNoNewMessage) {
    auto a = ManagerSink("manager");
    test::EventConnection ca(manager_.get(), DIID_IMXFolderManagerEvents, a.get());
    auto inbox = Inbox();
    auto sent = Special(&IMXFolderManager::GetSentFolder);
    long inbox_id = IdOf(inbox.get());
    AwaitScan(a.get());

    SaveUnread(sent.get(), "sent mail");
    ASSERT_TRUE(PumpUntil([&] { return !Only(a->calls(), {kOnFolderUnreadChanged}).empty(); }, kWait));
    // Unread, then read again before this thread dispatches the change.
    long read = SaveUnread(inbox.get(), "read at once");
    long done = 0;
    ASSERT_HR(S_OK, inbox->MarkAsRead(read, &done));
    PumpMessages(500);
    EXPECT_EQ(a->CountOf(kOnManagerNewMessage), 0u);
    EXPECT_TRUE(a->CountOf(kOnFolderUnreadChanged) >= 1u);

    long unread = SaveUnread(inbox.get(), "unread");
    ASSERT_TRUE(a->WaitFor(kOnManagerNewMessage, 1, kWait));
    PumpMessages(200);
    EXPECT_EQ(a->CallsTo(kOnManagerNewMessage), (std::vector<SinkCall>{{kOnManagerNewMessage, {inbox_id, unread}}}));
}

TEST_F(StoreEventsTest, FolderMadeAfterTheScanReportsOnlyItsNewestMessage) {
    auto a = ManagerSink("manager");
    test::EventConnection ca(manager_.get(), DIID_IMXFolderManagerEvents, a.get());
    AwaitScan(a.get());
    long fresh = NewFolder(0, L"Fresh");
    auto folder = FolderById(fresh);
    SaveUnread(folder.get(), "older");
    long newest = SaveUnread(folder.get(), "newest");
    ASSERT_TRUE(a->WaitFor(kOnManagerNewMessage, 1, kWait));
    PumpMessages(300);
    EXPECT_EQ(a->CallsTo(kOnManagerNewMessage), (std::vector<SinkCall>{{kOnManagerNewMessage, {fresh, newest}}}));

    long later = SaveUnread(folder.get(), "later");
    ASSERT_TRUE(a->WaitFor(kOnManagerNewMessage, 2, kWait));
    EXPECT_EQ(a->CallsTo(kOnManagerNewMessage).back(), (SinkCall{kOnManagerNewMessage, {fresh, later}}));
}

TEST_F(StoreEventsTest, ActivateGlobalNotificationChangesNothing) {
    EXPECT_HR(S_OK, manager_->ActivateGlobalNotification());
    auto a = ManagerSink("manager");
    test::EventConnection ca(manager_.get(), DIID_IMXFolderManagerEvents, a.get());
    AwaitScan(a.get());
    auto inbox = Inbox();
    long id = SaveUnread(inbox.get(), "new");
    ASSERT_TRUE(a->WaitFor(kOnManagerNewMessage, 1, kWait));
    EXPECT_EQ(a->CallsTo(kOnManagerNewMessage).front().args, (std::vector<long>{IdOf(inbox.get()), id}));
}

TEST_F(StoreEventsTest, ReleasingEverythingDuringTheScanEndsTheSessionAndTheNextObjectStartsAFreshOne) {
    // Objects made before: the new session's scan sees the folder's message as already there.
    long watched = NewFolder(0, L"Watched");
    long seen = Save(FolderById(watched).get(), "seen");
    // Released at once, while its scan still runs: the release waits for the scan, then the
    // session ends with its windows.
    RestartSession();
    manager_ = nullptr;
    EXPECT_TRUE(ThreadWindows("Store sink").empty());
    EXPECT_TRUE(ThreadWindows("NUVAK Outbox sink").empty());

    manager_ = test::CreateManager();
    ASSERT_TRUE(manager_);
    EXPECT_EQ(ThreadWindows("Store sink").size(), 1u) << "one session, one store sink";
    auto a = ManagerSink("manager");
    test::EventConnection ca(manager_.get(), DIID_IMXFolderManagerEvents, a.get());
    AwaitScan(a.get());
    auto folder = FolderById(watched);
    long done = 0;
    ASSERT_HR(S_OK, folder->MarkAsUnread(seen, &done));
    ASSERT_TRUE(PumpUntil([&] { return !a->CallsTo(kOnFolderUnreadChanged).empty(); }, kWait));
    PumpMessages(300);
    EXPECT_EQ(a->CountOf(kOnManagerNewMessage), 0u) << "the fresh scan recorded the old message";
    long fresh = SaveUnread(folder.get(), "fresh");
    ASSERT_TRUE(a->WaitFor(kOnManagerNewMessage, 1, kWait));
    EXPECT_EQ(a->CallsTo(kOnManagerNewMessage), (std::vector<SinkCall>{{kOnManagerNewMessage, {watched, fresh}}}));
}

// --- The deleted-items purge -------------------------------------------------------------------

TEST_F(StoreEventsTest, PermanentDeleteVanishesFromDeletedItems) {
    auto inbox = Inbox();
    auto deleted = Special(&IMXFolderManager::GetDeletedFolder);
    long kept = Save(inbox.get(), "kept in the bin");
    long gone = Save(inbox.get(), "gone for good");
    long done = 0;
    ASSERT_HR(S_OK, inbox->DeleteMessage(kept, 0, &done));
    ASSERT_EQ(done, 1);
    PumpMessages(200);
    ASSERT_EQ(CountIn(deleted.get()), 1);

    ASSERT_HR(S_OK, inbox->DeleteMessage(gone, 1, &done));
    ASSERT_EQ(done, 1);
    EXPECT_TRUE(PumpUntil([&] { return CountIn(deleted.get()) == 1 && CountIn(inbox.get()) == 0; }, kWait));
    PumpMessages(200);
    EXPECT_EQ(CountIn(deleted.get()), 1);
}

TEST_F(StoreEventsTest, OnlyTheExactMarkIsPurged) {
    auto deleted = Special(&IMXFolderManager::GetDeletedFolder);
    long lower = Save(deleted.get(), "lower", "X_NUVAK_DELETED: true\r\n");
    long other = Save(deleted.get(), "other", "X_NUVAK_DELETED: Yes\r\n");
    long marked = Save(deleted.get(), "marked", "X_NUVAK_DELETED: True\r\n");
    long plain = Save(deleted.get(), "plain");
    EXPECT_TRUE(PumpUntil([&] { return CountIn(deleted.get()) == 3; }, kWait));
    PumpMessages(200);
    EXPECT_EQ(CountIn(deleted.get()), 3);
    auto held = [&](long id) {
        ::MXMessage* raw = nullptr;
        EXPECT_HR(S_OK, deleted->GetMessage(id, &raw));
        return static_cast<bool>(com_ptr<IMXMessage>::attach(reinterpret_cast<IMXMessage*>(raw)));
    };
    EXPECT_TRUE(held(lower));
    EXPECT_TRUE(held(other));
    EXPECT_TRUE(held(plain));
    EXPECT_FALSE(held(marked));
}

// --- Across processes --------------------------------------------------------------------------

TEST_F(StoreEventsTest, MailDeliveredByAnotherProcessRaisesNewMessage) {
    auto a = ManagerSink("manager");
    test::EventConnection ca(manager_.get(), DIID_IMXFolderManagerEvents, a.get());
    AwaitScan(a.get());
    auto inbox = Inbox();
    auto folder_sink = FolderSink("inbox");
    test::EventConnection cf(inbox.get(), DIID_IMXFolderEvents, folder_sink.get());
    PumpMessages(200);

    wchar_t dir[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    std::wstring eml = std::wstring(dir) + L"pelkary-delivered.eml";
    {
        unique_hfile file(CreateFileW(eml.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(file);
        const std::string text = Source("delivered");
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr));
    }
    auto remove_eml = scope_exit([&] { DeleteFileW(eml.c_str()); });
    std::wstring command = L"\"" + test::BuiltBinaryPath(L"mxstore.exe") + L"\" import Inbox \"" + eml + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process));
    unique_handle process_handle(process.hProcess), thread_handle(process.hThread);
    // Keep pumping while the other process runs: the events may come before it ends.
    ASSERT_TRUE(PumpUntil([&] { return WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0; }, 60000));
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    ASSERT_EQ(code, 0u) << "mxstore import failed";

    ASSERT_TRUE(a->WaitFor(kOnManagerNewMessage, 1, kWait));
    ASSERT_TRUE(folder_sink->WaitFor(kOnNewMessage, 1, kWait));
    const SinkCall arrived = a->CallsTo(kOnManagerNewMessage).front();
    EXPECT_EQ(arrived.args[0], IdOf(inbox.get()));
    EXPECT_EQ(folder_sink->CallsTo(kOnNewMessage).front().args, std::vector<long>{arrived.args[1]});
}

}  // namespace
}  // namespace pelkary
