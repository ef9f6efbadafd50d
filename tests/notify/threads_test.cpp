// Many client threads, each in its own apartment, using managers, folders and messages at once
// while another client of the store delivers mail and makes and deletes folders. Every object must
// go cleanly, and events must keep reaching the managers of live threads.
#include <atomic>
#include <cstdlib>
#include <thread>

#include "support/store_test.h"

namespace pelkary::test {
namespace {

constexpr DWORD kWait = 10000;
constexpr DISPID kFolderCreated = 1;

using ThreadsTest = StoreTest;

// The store sink window of the session, on any thread; null while there is no session.
HWND StoreSinkWindow() {
    HWND window = FindWindowExA(nullptr, nullptr, "Store sink", nullptr);
    return window ? window : FindWindowExA(HWND_MESSAGE, nullptr, "Store sink", nullptr);
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

TEST_F(ThreadsTest, EightApartmentsSurviveDeliveriesAndReleaseEverything) {
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
        ASSERT_HR(S_OK, direct_->CreateFolder(FOLDERID_ROOT, ("Stress " + std::to_string(n)).c_str(), 0, &id));
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
        EXPECT_TRUE(sink->WaitFor(kFolderCreated, 1, kWait)) << "events still reach a live manager";
    }
    manager_ = nullptr;
    ServerModule module;
    EXPECT_TRUE(PumpUntil([&] { return module.CanUnloadNow() == S_OK; }, kWait)) << "every object released";
}

// A message reads through the session: another object's last release must not end it.
TEST_F(ThreadsTest, AMessageKeepsTheSessionItReadsThrough) {
    com_ptr<IMXMessage> message = PutAndOpen("Subject: kept\r\n\r\nbody");
    manager_ = nullptr;
    EXPECT_TRUE(StoreSinkWindow()) << "the message still holds the session";
    message = nullptr;
    EXPECT_FALSE(StoreSinkWindow()) << "and the session ends with it";
}

// The thread that built the session ends while this thread's manager lives: changes the store
// posted to the session's windows while their thread ran no message loop, and changes made after
// it ended but before this thread took the windows over, all reach this thread's manager.
TEST_F(ThreadsTest, ChangesQueuedAtTheEndOfTheSinkThreadAreNotLost) {
    manager_ = nullptr;
    HANDLE changed = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread builder([&] {
        ComApartment apartment;
        com_ptr<IMXFolderManager> own = CreateManager();
        WaitForSingleObject(changed, kWait);  // and ends without dispatching what was posted
    });
    ASSERT_TRUE(PumpUntil([] { return StoreSinkWindow() != nullptr; }, kWait));
    manager_ = CreateManager();
    auto sink = RecordingSink::Create(DIID_IMXFolderManagerEvents, "survivor");
    EventConnection connection(manager_.get(), DIID_IMXFolderManagerEvents, sink.get());
    STOREFOLDERID queued = 0, meanwhile = 0;
    ASSERT_HR(S_OK, direct_->CreateFolder(FOLDERID_ROOT, "Queued", 0, &queued));
    SetEvent(changed);
    builder.join();
    CloseHandle(changed);
    ASSERT_HR(S_OK, direct_->CreateFolder(FOLDERID_ROOT, "Meanwhile", 0, &meanwhile));  // nobody pumped yet
    EXPECT_TRUE(sink->WaitFor(kFolderCreated, 2, kWait));
    PumpMessages(200);
    EXPECT_EQ((std::vector<SinkCall>{{kFolderCreated, {static_cast<long>(queued)}},
                                     {kFolderCreated, {static_cast<long>(meanwhile)}}}),
              sink->calls());
}

}  // namespace
}  // namespace pelkary::test
