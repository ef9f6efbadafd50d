// Events raised by the store's own notifications, as a client sees them through the COM runtime:
// folder events through each folder's sink window, manager events through the store sink window
// of the session, the new-message watcher, and the deleted-items purge of permanently deleted
// messages. Events arrive only while this thread pumps messages. And many client threads, each in
// its own apartment, using managers, folders and messages at once while another client of the store
// delivers mail and makes and deletes folders: every object must go cleanly, and events must keep
// reaching the managers of live threads.
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <mutex>
#include <set>
#include <thread>

#include "support/store_test.h"

namespace pelkary::test {
namespace {

constexpr DWORD kWait = 10000;
enum FolderEvent : DISPID { kNewMessage = 1, kMessageDeleted = 2, kDeletion = 3 };
enum ManagerEvent : DISPID { kCreated = 1, kDeleted = 2, kRenamed = 3, kMoved = 4, kUnreadChanged = 5, kNewMail = 6 };

std::vector<SinkCall> Only(const std::vector<SinkCall>& calls, std::initializer_list<DISPID> ids) {
    std::vector<SinkCall> out;
    std::copy_if(calls.begin(), calls.end(), std::back_inserter(out),
                 [&](const SinkCall& c) { return std::find(ids.begin(), ids.end(), c.dispid) != ids.end(); });
    return out;
}

// The windows of one class, top-level or (without a display driver) message-only, of this
// process's thread or, with `any_thread`, of every thread of this process, each once. The search
// sees every process's windows (Wine reuses small thread ids: another process's thread may have
// ours), and while a new prefix's desktop is still starting, a message-only window is also found
// among the top-level ones.
std::vector<HWND> Windows(const char* class_name, bool any_thread = false) {
    std::vector<HWND> found;
    for (HWND parent : {HWND(nullptr), HWND_MESSAGE}) {
        for (HWND w = nullptr; (w = FindWindowExA(parent, w, class_name, nullptr));) {
            DWORD process = 0;
            const DWORD thread = GetWindowThreadProcessId(w, &process);
            if (process == GetCurrentProcessId() && (any_thread || thread == GetCurrentThreadId()) &&
                std::find(found.begin(), found.end(), w) == found.end())
                found.push_back(w);
        }
    }
    return found;
}

// A folder-change record as the store posts it to the store sink window.
void PostFolderChange(DWORD type, DWORD folder_id) {
    std::vector<HWND> sinks = Windows("Store sink");
    ASSERT_EQ(sinks.size(), 1u) << "one store sink window on the thread that built the session";
    auto* record = static_cast<FOLDERNOTIFYEX*>(CoTaskMemAlloc(sizeof(FOLDERNOTIFYEX)));
    *record = FOLDERNOTIFYEX{type, 0, folder_id};
    ASSERT_TRUE(PostMessageA(sinks[0], WM_FOLDERNOTIFY, 0, reinterpret_cast<LPARAM>(record)));
}

// The blocks of task memory allocated while it is registered and not freed since, on any thread.
class TaskMemorySpy : public IMallocSpy {
public:
    std::set<void*> live;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        *ppv = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IMallocSpy) ? this : nullptr;
        return *ppv ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    SIZE_T STDMETHODCALLTYPE PreAlloc(SIZE_T size) override { return size; }
    void* STDMETHODCALLTYPE PostAlloc(void* block) override { return Track(block, nullptr); }
    void* STDMETHODCALLTYPE PreFree(void* block, BOOL) override { return Track(nullptr, block); }
    void STDMETHODCALLTYPE PostFree(BOOL) override {}
    SIZE_T STDMETHODCALLTYPE PreRealloc(void* block, SIZE_T size, void** out, BOOL) override {
        *out = Track(nullptr, block);
        return size;
    }
    void* STDMETHODCALLTYPE PostRealloc(void* block, BOOL) override { return Track(block, nullptr); }
    void* STDMETHODCALLTYPE PreGetSize(void* block, BOOL) override { return block; }
    SIZE_T STDMETHODCALLTYPE PostGetSize(SIZE_T size, BOOL) override { return size; }
    void* STDMETHODCALLTYPE PreDidAlloc(void* block, BOOL) override { return block; }
    int STDMETHODCALLTYPE PostDidAlloc(void*, BOOL, int actual) override { return actual; }
    void STDMETHODCALLTYPE PreHeapMinimize() override {}
    void STDMETHODCALLTYPE PostHeapMinimize() override {}

private:
    void* Track(void* allocated, void* freed) {
        std::lock_guard<std::mutex> guard(lock_);
        if (allocated) live.insert(allocated); else live.erase(freed);
        return allocated ? allocated : freed;
    }
    std::mutex lock_;
};

class StoreEventsTest : public StoreTest {
protected:
    static com_ptr<RecordingSink> ManagerSink(const char* name) {
        return RecordingSink::Create(DIID_IMXFolderManagerEvents, name);
    }
    // A message saved through `folder` (the store keeps it as read), or saved and marked unread as
    // new mail arrives; its id.
    long Save(IMXFolder* folder, const std::string& subject, const std::string& header = "") {
        std::string source = "From: a@example.com\r\nSubject: " + subject + "\r\n" + header + "\r\nBody\r\n";
        const std::wstring text(source.begin(), source.end());
        com_ptr<IMXMessage> m = Ask(folder, &IMXFolder::CreateMessage, B(text.c_str()).get());
        return m ? Ask(m.get(), &IMXMessage::GetID) : -1;
    }
    long SaveUnread(IMXFolder* folder, const std::string& subject) {
        const long id = Save(folder, subject);
        EXPECT_EQ(1, Ask(folder, &IMXFolder::MarkAsUnread, id));
        return id;
    }
    // Waits until the session's scan has ended: a change record is dispatched only after it, so a
    // record for a folder that does not exist comes back as soon as the scan is over. Messages that
    // arrive while the scan runs may count as seen, so tests about new messages start after it.
    // Clears `listening`, a sink of manager_ connected before, of the record's event.
    void AwaitScan(RecordingSink* listening = nullptr) {
        auto barrier = ManagerSink("scan barrier");
        EventConnection connection(manager_.get(), DIID_IMXFolderManagerEvents, barrier.get());
        PostFolderChange(UNREAD_CHANGE, 0x7FFF0000);
        EXPECT_TRUE(barrier->WaitFor(kUnreadChanged, 1, kWait));
        if (listening) listening->Clear();
    }
    // Every folder and manager gone: the session ends, and a new manager builds a new one.
    void RestartSession() {
        manager_ = nullptr;
        EXPECT_TRUE(Windows("Store sink").empty()) << "the session's windows end with it";
        EXPECT_TRUE(Windows("NUVAK Outbox sink").empty());
        manager_ = CreateManager();
    }
};

TEST_F(StoreEventsTest, FolderEventsComeFromTheFoldersWindowOnlyWhenTheThreadPumps) {
    com_ptr<IMXFolder> inbox = Folder(Inbox());
    auto sink = RecordingSink::Create(DIID_IMXFolderEvents, "inbox");
    EventConnection connection(inbox.get(), DIID_IMXFolderEvents, sink.get());
    const long first = Save(inbox.get(), "first"), second = Save(inbox.get(), "second");
    EXPECT_TRUE(sink->calls().empty()) << "no client code runs inside the store's notification";
    EXPECT_EQ(1, Ask(inbox.get(), &IMXFolder::DeleteMessage, second, 0));
    // Events come in the order of the changes: once the last change's has come, nothing else is due.
    const long last = Save(inbox.get(), "last");
    ASSERT_TRUE(sink->WaitFor(kNewMessage, 3, kWait));
    EXPECT_EQ(sink->calls(), (std::vector<SinkCall>{{kNewMessage, {first}}, {kNewMessage, {second}},
                                                    {kMessageDeleted, {second}}, {kNewMessage, {last}}}));

    // The store's list of deleted ids need not outlive its notification: the first id is kept.
    AwaitScan();
    sink->Clear();
    std::vector<HWND> windows = Windows("NUVAK Folder sink");
    ASSERT_EQ(windows.size(), 1u);
    DWORD ids[2] = {12, 13}, later[1] = {14};
    ASSERT_TRUE(PostMessageA(windows[0], WM_DELETEMSGS, reinterpret_cast<WPARAM>(ids), 0));
    ASSERT_TRUE(sink->WaitFor(kMessageDeleted, 1, kWait));
    ids[0] = 99;
    ASSERT_TRUE(PostMessageA(windows[0], WM_DELETEMSGS, reinterpret_cast<WPARAM>(later), 0));
    ASSERT_TRUE(sink->WaitFor(kMessageDeleted, 2, kWait));
    EXPECT_EQ(sink->calls(), (std::vector<SinkCall>{{kMessageDeleted, {12}}, {kMessageDeleted, {14}}}));

    const long doomed_id = NewFolder(L"Doomed");
    com_ptr<IMXFolder> doomed = Folder(doomed_id);
    auto doomed_sink = RecordingSink::Create(DIID_IMXFolderEvents, "doomed");
    EventConnection doomed_connection(doomed.get(), DIID_IMXFolderEvents, doomed_sink.get());
    EXPECT_EQ(1, Ask(manager_.get(), &IMXFolderManager::DeleteFolder, doomed_id));
    ASSERT_TRUE(doomed_sink->WaitFor(kDeletion, 1, kWait));
    EXPECT_EQ(doomed_sink->calls(), (std::vector<SinkCall>{{kDeletion, {}}}));
}

TEST_F(StoreEventsTest, HiddenSinkWindowsGoWithTheirFolderAndTakeItsQueuedEvents) {
    com_ptr<IMXFolder> inbox = Folder(Inbox());
    auto sink = RecordingSink::Create(DIID_IMXFolderEvents, "inbox");
    DWORD cookie = 0;  // connected, holding neither the folder nor its connection point
    ASSERT_HR(S_OK, PointOf(inbox.get(), DIID_IMXFolderEvents)->Advise(sink.get(), &cookie));
    AwaitScan();
    for (const char* class_name : {"Store sink", "NUVAK Outbox sink", "NUVAK Folder sink"}) {
        std::vector<HWND> windows = Windows(class_name);
        ASSERT_EQ(windows.size(), 1u) << class_name << ": one window, on the thread that made the folder";
        EXPECT_FALSE(IsWindowVisible(windows[0])) << class_name;
    }
    std::vector<HWND> windows = Windows("NUVAK Folder sink");
    ASSERT_TRUE(PostMessageA(windows[0], WM_NEWMSGS, 57, 0));
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, windows[0], WM_NEWMSGS, WM_NEWMSGS, PM_REMOVE));
    DispatchMessageA(&msg);  // re-posted under the window's own number
    EXPECT_TRUE(sink->calls().empty()) << "nothing is fired before the deferred message";
    inbox = nullptr;
    EXPECT_TRUE(Windows("NUVAK Folder sink").empty());
    EXPECT_EQ(sink->ref_count(), 1);
    PumpMessages(200);
    EXPECT_TRUE(sink->calls().empty());
}

TEST_F(StoreEventsTest, FolderChangesReachEveryManagerByTypeOnlyWhenPumped) {
    com_ptr<IMXFolderManager> second = CreateManager();
    auto a = ManagerSink("first"), b = ManagerSink("second");
    EventConnection ca(manager_.get(), DIID_IMXFolderManagerEvents, a.get());
    EventConnection cb(second.get(), DIID_IMXFolderManagerEvents, b.get());
    const long moving = NewFolder(L"Moving"), parent = NewFolder(L"Parent");
    EXPECT_EQ(1, Ask(manager_.get(), &IMXFolderManager::RenameFolder, moving, B(L"Moved").get()));
    EXPECT_EQ(1, Ask(manager_.get(), &IMXFolderManager::MoveFolder, moving, parent));
    EXPECT_EQ(1, Ask(manager_.get(), &IMXFolderManager::DeleteFolder, moving));
    ASSERT_TRUE(a->WaitFor(kDeleted, 1, kWait));
    ASSERT_TRUE(b->WaitFor(kDeleted, 1, kWait));
    const std::vector<SinkCall> changes = {{kCreated, {moving}}, {kCreated, {parent}}, {kRenamed, {moving}},
                                           {kMoved, {moving}}, {kDeleted, {moving}}};
    EXPECT_EQ(Only(a->calls(), {kCreated, kDeleted, kRenamed, kMoved}), changes);
    EXPECT_EQ(Only(b->calls(), {kCreated, kDeleted, kRenamed, kMoved}), changes);

    a->Clear();
    b->Clear();
    PostFolderChange(3, 40);
    PostFolderChange(8, 41);  // never forwarded
    PostFolderChange(6, 42);  // forwarded, but no event answers it
    PostFolderChange(5, 43);  // no folder 43: the detection finds nothing
    EXPECT_TRUE(a->calls().empty());
    // The last record is answered last: once it has reached both sinks, nothing else is on its way.
    EXPECT_TRUE(a->WaitFor(kUnreadChanged, 1, kWait) && b->WaitFor(kUnreadChanged, 1, kWait));
    EXPECT_EQ(a->calls(), (std::vector<SinkCall>{{kRenamed, {40}}, {kUnreadChanged, {43}}}));
    EXPECT_EQ(b->calls(), a->calls());
}

TEST_F(StoreEventsTest, AHandlerMayReleaseEveryManagerDuringTheDispatch) {
    com_ptr<IMXFolderManager> second = CreateManager();
    auto a = ManagerSink("first"), b = ManagerSink("second");
    auto ca = std::make_unique<EventConnection>(manager_.get(), DIID_IMXFolderManagerEvents, a.get());
    auto cb = std::make_unique<EventConnection>(second.get(), DIID_IMXFolderManagerEvents, b.get());
    a->set_hook([&](const SinkCall&) {
        ca.reset();
        cb.reset();
        second = nullptr;
        manager_ = nullptr;
    });
    PostFolderChange(1, 77);
    EXPECT_TRUE(a->WaitFor(kCreated, 1, kWait));
    PumpMessages(100);
    EXPECT_EQ(a->calls(), (std::vector<SinkCall>{{kCreated, {77}}}));
    EXPECT_TRUE(b->calls().empty()) << "the second manager was gone before its turn";
    EXPECT_TRUE(Windows("Store sink").empty()) << "the session ended once the dispatch was over";
    manager_ = CreateManager();
    EXPECT_EQ(Windows("Store sink").size(), 1u) << "and a new one starts cleanly";
}

// The session released at once, while its scan runs (the release waits for the scan): the next
// session scans afresh and sees the old message too. New unread mail after the scan is reported
// after the folder's unread change; read mail and the Sent folder's never.
TEST_F(StoreEventsTest, OnlyNewUnreadMessagesAfterTheScanAreReportedAfterTheUnreadChange) {
    const long watched = NewFolder(L"Watched");
    const long before = Save(Folder(watched).get(), "seen by the scan");
    RestartSession();
    RestartSession();
    com_ptr<IMXFolderManager> second = CreateManager();
    auto a = ManagerSink("first"), b = ManagerSink("second");
    EventConnection ca(manager_.get(), DIID_IMXFolderManagerEvents, a.get());
    EventConnection cb(second.get(), DIID_IMXFolderManagerEvents, b.get());
    AwaitScan(a.get());
    b->Clear();
    com_ptr<IMXFolder> folder = Folder(watched);
    EXPECT_EQ(1, Ask(folder.get(), &IMXFolder::MarkAsUnread, before));
    const long first = SaveUnread(folder.get(), "new one"), next = SaveUnread(folder.get(), "new two");
    const long last = SaveUnread(folder.get(), "new three");  // what comes before it has come then
    ASSERT_TRUE(a->WaitFor(kNewMail, 3, kWait));
    ASSERT_TRUE(b->WaitFor(kNewMail, 3, kWait));
    for (RecordingSink* sink : {a.get(), b.get()}) {
        EXPECT_EQ(Only(sink->calls(), {kUnreadChanged, kNewMail}).front(), (SinkCall{kUnreadChanged, {watched}}));
        EXPECT_EQ(Only(sink->calls(), {kNewMail}), (std::vector<SinkCall>{{kNewMail, {watched, first}},
                                                                         {kNewMail, {watched, next}},
                                                                         {kNewMail, {watched, last}}}))
            << "the message the scan saw is not new, though unread again";
    }

    // Read mail and the Sent folder give no new message, a folder made after the scan its newest only.
    a->Clear();
    com_ptr<IMXFolder> inbox = Folder(Inbox()), sent = Folder(FolderId(FOLDER_SENT));
    SaveUnread(sent.get(), "sent mail");
    ASSERT_TRUE(a->WaitFor(kUnreadChanged, 1, kWait));
    const long read = SaveUnread(inbox.get(), "read at once");
    EXPECT_EQ(1, Ask(inbox.get(), &IMXFolder::MarkAsRead, read));  // before this thread dispatches

    // Events come in the order of the changes: a new message that the Sent folder or the read mail
    // gave would come before those of the later changes below.
    const long fresh = NewFolder(L"Fresh");
    folder = Folder(fresh);
    SaveUnread(folder.get(), "older");
    const long newest = SaveUnread(folder.get(), "newest");
    ASSERT_TRUE(a->WaitFor(kNewMail, 1, kWait));
    const long later = SaveUnread(folder.get(), "later");
    ASSERT_TRUE(a->WaitFor(kNewMail, 2, kWait));
    EXPECT_EQ(Only(a->calls(), {kNewMail}),
              (std::vector<SinkCall>{{kNewMail, {fresh, newest}}, {kNewMail, {fresh, later}}}));
}

// Only the mark of a permanent delete, sealed by it, is purged; mail that arrives carrying the mark
// in its own text, even with a seal of its own making, stays recoverable.
TEST_F(StoreEventsTest, OnlyAPermanentDeletesSealedMarkIsPurgedFromDeletedItems) {
    com_ptr<IMXFolder> inbox = Folder(Inbox()), deleted = Folder(FolderId(FOLDER_DELETED));
    EXPECT_EQ(1, Ask(inbox.get(), &IMXFolder::DeleteMessage, Save(inbox.get(), "kept in the bin"), 0));
    EXPECT_EQ(1, Ask(inbox.get(), &IMXFolder::DeleteMessage, Save(inbox.get(), "gone for good"), 1));
    std::vector<long> forged;
    for (const char* header : {"X_NUVAK_DELETED: true\r\n", "X_NUVAK_DELETED: True\r\n",
                               "X_NUVAK_DELETED: True\r\nX-Pelkary-Deletion-Seal: {00000000-0000-0000-0000-000000000000}\r\n"})
        forged.push_back(Save(deleted.get(), "forged", header));
    EXPECT_TRUE(PumpUntil([&] { return Ask(deleted.get(), &IMXFolder::GetMessageCount) == 4; }, kWait));
    // A permanent delete after them: once it is purged, the purge has passed the forged ones.
    EXPECT_EQ(1, Ask(inbox.get(), &IMXFolder::DeleteMessage, Save(inbox.get(), "gone last"), 1));
    EXPECT_EQ(5, Ask(deleted.get(), &IMXFolder::GetMessageCount));
    EXPECT_TRUE(PumpUntil([&] { return Ask(deleted.get(), &IMXFolder::GetMessageCount) == 4; }, kWait));
    for (long id : forged) EXPECT_TRUE(Ask(deleted.get(), &IMXFolder::GetMessage, id)) << id;
    EXPECT_EQ(0, Ask(inbox.get(), &IMXFolder::GetMessageCount));
}

// The store hands out message records and change records in task memory; pelkary gives every one
// back, also the change records still queued when the session ends.
TEST_F(StoreEventsTest, TaskMemoryFromTheStoreIsGivenBack) {
    const long inbox = Inbox();
    for (int i = 0; i < 3; ++i) Put(inbox, "Subject: m\r\n\r\nx\r\n");
    AwaitScan();
    static TaskMemorySpy spy;  // never destroyed: the runtime may call it until every block is back
    ASSERT_HR(S_OK, CoRegisterMallocSpy(&spy));
    {
        com_ptr<IMXFolder> folder = Folder(inbox);
        while (com_ptr<IMXMessage> m = Ask(folder.get(), &IMXFolder::GetNextMessage)) {
            EXPECT_TRUE(Ask(folder.get(), &IMXFolder::GetMessage, Ask(m.get(), &IMXMessage::GetID)));
        }
        PostFolderChange(1, 77);
        PostFolderChange(5, 78);
    }
    manager_ = nullptr;  // the session ends with the records still queued
    const size_t left = spy.live.size();
    CoRevokeMallocSpy();
    EXPECT_EQ(left, 0u) << "blocks of task memory were never freed";
}

// One client thread's round: a manager listening, a short walk, the Inbox's first messages read.
void Round() {
    com_ptr<IMXFolderManager> manager = CreateManager();
    auto sink = RecordingSink::Create(DIID_IMXFolderManagerEvents, "stress");
    // Listening starts and stops often: events of the store meet changes of the connections.
    for (int i = 0; i < 8; ++i) EventConnection(manager.get(), DIID_IMXFolderManagerEvents, sink.get());
    EventConnection connection(manager.get(), DIID_IMXFolderManagerEvents, sink.get());
    com_ptr<IMXFolder> folder;
    manager->GetFirstFolder(reinterpret_cast<::MXFolder**>(folder.put()));
    for (int i = 0; folder && i < 4; ++i) manager->GetNextFolder(reinterpret_cast<::MXFolder**>(folder.put()));
    manager->GetInboxFolder(reinterpret_cast<::MXFolder**>(folder.put()));
    com_ptr<IMXMessage> message;
    if (folder) folder->GetFirstMessage(reinterpret_cast<::MXMessage**>(message.put()));
    for (int i = 0; message && i < 3; ++i) {
        unique_bstr subject;
        message->GetSubject(subject.put());
        folder->GetNextMessage(reinterpret_cast<::MXMessage**>(message.put()));
    }
    PumpMessages(1);
}

TEST_F(StoreEventsTest, EightApartmentsSurviveDeliveriesAndReleaseEverything) {
    const char* seconds = std::getenv("PELKARY_STRESS_SECONDS");
    const DWORD duration = seconds && std::atoi(seconds) > 0 ? std::atoi(seconds) * 1000u : 5000u;
    std::atomic<bool> stop{false};
    std::atomic<long> rounds{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&] {
            ComApartment apartment;
            for (; !stop; ++rounds) Round();
        });
    STOREFOLDERID id = 0;
    for (DWORD start = GetTickCount(), n = 0; GetTickCount() - start < duration; ++n) {
        Put(Inbox(), "Subject: stress " + std::to_string(n) + "\r\n\r\nbody", MSG_UNREAD);
        const HRESULT made = direct_->CreateFolder(FOLDERID_ROOT, ("Stress " + std::to_string(n)).c_str(), 0, &id);
        EXPECT_HR(S_OK, made);
        if (FAILED(made)) break;  // a failure ends the test only after the threads are joined
        PumpMessages(2);
        direct_->DeleteFolder(id, 0);
    }
    stop = true;
    for (std::thread& t : threads) t.join();
    std::printf("stress: %ld rounds on 8 threads in %lu ms\n", rounds.load(), duration);
    {
        auto sink = RecordingSink::Create(DIID_IMXFolderManagerEvents, "after");
        EventConnection connection(manager_.get(), DIID_IMXFolderManagerEvents, sink.get());
        ASSERT_HR(S_OK, direct_->CreateFolder(FOLDERID_ROOT, "After", 0, &id));
        EXPECT_TRUE(sink->WaitFor(kCreated, 1, kWait)) << "events still reach a live manager";
    }
    manager_ = nullptr;
    ServerModule module;
    EXPECT_TRUE(PumpUntil([&] { return module.CanUnloadNow() == S_OK; }, kWait)) << "every object released";
}

// A message reads through the session: another object's last release must not end it.
TEST_F(StoreEventsTest, AMessageKeepsTheSessionItReadsThrough) {
    com_ptr<IMXMessage> message = PutAndOpen("Subject: kept\r\n\r\nbody");
    manager_ = nullptr;
    EXPECT_EQ(Windows("Store sink").size(), 1u) << "the message still holds the session";
    message = nullptr;
    EXPECT_TRUE(Windows("Store sink").empty()) << "and the session ends with it";
}

// The thread that built the session ends while this thread's manager lives: changes the store
// posted to the session's windows while their thread ran no message loop, and changes made after
// it ended but before this thread took the windows over, all reach this thread's manager.
TEST_F(StoreEventsTest, ChangesQueuedAtTheEndOfTheSinkThreadAreNotLost) {
    manager_ = nullptr;
    unique_handle changed(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::thread builder([&] {
        ComApartment apartment;
        com_ptr<IMXFolderManager> own = CreateManager();
        WaitForSingleObject(changed.get(), kWait);  // and ends without dispatching what was posted
    });
    // A failed assertion below ends the test only after the thread is joined.
    auto join = scope_exit([&] {
        SetEvent(changed.get());
        if (builder.joinable()) builder.join();
    });
    ASSERT_TRUE(PumpUntil([] { return !Windows("Store sink", true).empty(); }, kWait));
    manager_ = CreateManager();
    auto sink = RecordingSink::Create(DIID_IMXFolderManagerEvents, "survivor");
    EventConnection connection(manager_.get(), DIID_IMXFolderManagerEvents, sink.get());
    STOREFOLDERID queued = 0, meanwhile = 0;
    ASSERT_HR(S_OK, direct_->CreateFolder(FOLDERID_ROOT, "Queued", 0, &queued));
    SetEvent(changed.get());
    builder.join();
    ASSERT_HR(S_OK, direct_->CreateFolder(FOLDERID_ROOT, "Meanwhile", 0, &meanwhile));  // nobody pumped yet
    ASSERT_TRUE(sink->WaitFor(kCreated, 2, kWait));
    // Once the windows are taken over, a later change comes after everything before it.
    STOREFOLDERID last = 0;
    ASSERT_HR(S_OK, direct_->CreateFolder(FOLDERID_ROOT, "Last", 0, &last));
    EXPECT_TRUE(sink->WaitFor(kCreated, 3, kWait));
    EXPECT_EQ((std::vector<SinkCall>{{kCreated, {static_cast<long>(queued)}},
                                     {kCreated, {static_cast<long>(meanwhile)}}, {kCreated, {static_cast<long>(last)}}}),
              sink->calls());
}

}  // namespace
}  // namespace pelkary::test
