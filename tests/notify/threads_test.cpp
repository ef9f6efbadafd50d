// Many client threads, each in its own apartment, using managers, folders and messages at once
// while another client of the store delivers mail and makes and deletes folders. Every object must
// go cleanly, and events must keep reaching the managers of live threads.
#include <atomic>
#include <cstdlib>
#include <thread>

#include "support/store_test.h"
#include "support/test_support.h"

namespace pelkary::test {
namespace {

constexpr DWORD kWait = 10000;
constexpr DISPID kFolderCreated = 1;

DWORD StressMilliseconds() {
    const char* seconds = std::getenv("PELKARY_STRESS_SECONDS");
    return seconds && std::atoi(seconds) > 0 ? static_cast<DWORD>(std::atoi(seconds)) * 1000 : 5000;
}

class ThreadsTest : public StoreTest {
protected:
    // A folder made by the store's own client, as another process would.
    void DirectFolder(const char* name, STOREFOLDERID* id) {
        ASSERT_HR(S_OK, direct_->CreateFolder(FOLDERID_ROOT, name, 0, id));
    }
};

// The store sink window of the session, on any thread; null while there is no session.
HWND StoreSinkWindow() {
    HWND window = FindWindowExA(nullptr, nullptr, "Store sink", nullptr);
    return window ? window : FindWindowExA(HWND_MESSAGE, nullptr, "Store sink", nullptr);
}

// One client thread's round: a manager listening, a walk over the tree, the Inbox's messages read.
void Round(std::atomic<long>& operations) {
    com_ptr<IMXFolderManager> manager = CreateObject<IMXFolderManager>(CLSID_MXFolderManager);
    if (!manager) return;
    auto sink = RecordingSink::Create(DIID_IMXFolderManagerEvents, "stress");
    com_ptr<IConnectionPoint> point = PointOf(manager.get(), DIID_IMXFolderManagerEvents);
    DWORD cookie = 0;
    if (point) point->Advise(sink.get(), &cookie);
    com_ptr<IMXFolder> folder;
    manager->GetFirstFolder(reinterpret_cast<::MXFolder**>(folder.put()));
    for (int i = 0; folder && i < 4; ++i) manager->GetNextFolder(reinterpret_cast<::MXFolder**>(folder.put()));
    manager->GetInboxFolder(reinterpret_cast<::MXFolder**>(folder.put()));
    com_ptr<IMXMessage> message;
    if (folder) folder->GetFirstMessage(reinterpret_cast<::MXMessage**>(message.put()));
    for (int i = 0; message && i < 3; ++i) {
        BSTR subject = nullptr;
        message->GetSubject(&subject);
        SysFreeString(subject);
        folder->GetNextMessage(reinterpret_cast<::MXMessage**>(message.put()));
    }
    PumpMessages(1);
    if (cookie) point->Unadvise(cookie);
    ++operations;
}

TEST_F(ThreadsTest, EightApartmentsSurviveDeliveriesAndReleaseEverything) {
    std::atomic<bool> stop{false};
    std::atomic<long> operations{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&] {
            ComApartment apartment;
            while (!stop) Round(operations);
        });
    const DWORD deadline = GetTickCount() + StressMilliseconds();
    for (int n = 0; GetTickCount() < deadline; ++n) {
        Put(Inbox(), "Subject: stress " + std::to_string(n) + "\r\n\r\nbody", MSG_UNREAD);
        STOREFOLDERID id = 0;
        DirectFolder(("Stress " + std::to_string(n)).c_str(), &id);
        PumpMessages(5);
        direct_->DeleteFolder(id, 0);
    }
    stop = true;
    for (std::thread& t : threads) t.join();
    std::printf("stress: %ld rounds on 8 threads in %lu ms\n", operations.load(), StressMilliseconds());
    EXPECT_GT(operations.load(), 8);

    {
        auto sink = RecordingSink::Create(DIID_IMXFolderManagerEvents, "after");
        EventConnection connection(manager_.get(), DIID_IMXFolderManagerEvents, sink.get());
        STOREFOLDERID id = 0;
        DirectFolder("After the storm", &id);
        EXPECT_TRUE(PumpUntil([&] { return !sink->calls().empty(); }, kWait)) << "events still reach a live manager";
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

// The thread that built the session ends while another thread's manager lives: that manager
// still hears the store's changes.
TEST_F(ThreadsTest, EventsOutliveTheThreadThatBuiltTheSession) {
    manager_ = nullptr;
    com_ptr<IMXFolderManager> builder_manager;
    HANDLE built = CreateEventW(nullptr, TRUE, FALSE, nullptr), joined = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread builder([&] {
        ComApartment apartment;
        com_ptr<IMXFolderManager> own = CreateManager();
        SetEvent(built);
        WaitForSingleObject(joined, kWait);
    });
    WaitForSingleObject(built, kWait);
    manager_ = CreateManager();
    SetEvent(joined);
    builder.join();
    CloseHandle(built);
    CloseHandle(joined);

    EXPECT_TRUE(PumpUntil([] { return GetWindowThreadProcessId(StoreSinkWindow(), nullptr) == GetCurrentThreadId(); },
                          kWait)) << "this thread took the session's windows over";
    auto sink = RecordingSink::Create(DIID_IMXFolderManagerEvents, "survivor");
    EventConnection connection(manager_.get(), DIID_IMXFolderManagerEvents, sink.get());
    STOREFOLDERID id = 0;
    DirectFolder("Later", &id);
    EXPECT_TRUE(PumpUntil([&] { return !sink->calls().empty(); }, kWait));
    if (!sink->calls().empty()) {
        EXPECT_EQ(sink->calls()[0], (SinkCall{kFolderCreated, {static_cast<long>(id)}}));
    }
}

}  // namespace
}  // namespace pelkary::test
