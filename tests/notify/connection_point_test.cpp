// The event sources of MXFolder and MXFolderManager as a client meets them through the COM
// runtime: the container, the connection point and its cookies, the connection enumerator over
// the live connections, and the firing of events into client sinks (raised here through the
// objects' own firing operations; the store's notifications that raise them, and which event
// each raises, are tested in store_events_test.cpp). The sinks check how each event is called.
#include <olectl.h>

#include "support/server_internals.h"
#include "support/test_support.h"

namespace pelkary::test {
namespace {

class ConnectionPointTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Built by this program's own copy of the server's code, whose firing operations the
        // tests call: the registered module refuses to hand its objects' insides to another copy.
        CreatedObject<MXFolderManager> built = BuildInModule<MXFolderManager>();
        manager_ = std::move(built.object);
        firing_ = built.impl;
        ASSERT_TRUE(manager_);
        point_ = PointOf(manager_.get(), DIID_IMXFolderManagerEvents);
        ASSERT_TRUE(point_);
    }
    static com_ptr<RecordingSink> Sink(const char* name) {
        return RecordingSink::Create(DIID_IMXFolderManagerEvents, name);
    }
    DWORD Advise(IUnknown* sink, Here at = Here::Caller()) {
        ::testing::ScopedTrace trace(at.file, at.line, "advise");
        DWORD cookie = 0;
        EXPECT_HR(S_OK, point_->Advise(sink, &cookie));
        return cookie;
    }
    MXFolderManager* Fire() { return firing_; }
    // The cookies the next Next(n) yields, releasing the sinks it hands out.
    static std::vector<DWORD> NextCookies(IEnumConnections* e, ULONG n, HRESULT expected_hr) {
        std::vector<CONNECTDATA> data(n);
        ULONG fetched = 99;
        EXPECT_HR(expected_hr, e->Next(n, data.data(), &fetched));
        std::vector<DWORD> cookies;
        for (ULONG i = 0; i < fetched && i < n; ++i) {
            cookies.push_back(data[i].dwCookie);
            com_ptr<IUnknown>::attach(data[i].pUnk);
        }
        return cookies;
    }

    ComApartment apartment_;
    TempStore store_;
    com_ptr<IMXFolderManager> manager_;
    MXFolderManager* firing_ = nullptr;
    com_ptr<IConnectionPoint> point_;
};

TEST_F(ConnectionPointTest, EachContainerFindsOnlyItsOwnEventInterface) {
    com_ptr<IConnectionPointContainer> container;
    ASSERT_HR(S_OK, manager_->QueryInterface(IID_IConnectionPointContainer, container.put_void()));
    IConnectionPoint* raw = reinterpret_cast<IConnectionPoint*>(0x1);
    EXPECT_HR(CONNECT_E_NOCONNECTION, container->FindConnectionPoint(DIID_IMXFolderEvents, &raw));
    EXPECT_EQ(raw, nullptr);
    EXPECT_HR(E_POINTER, container->FindConnectionPoint(DIID_IMXFolderManagerEvents, nullptr));
    com_ptr<IEnumConnectionPoints> points;
    EXPECT_HR(E_NOTIMPL, container->EnumConnectionPoints(points.put()));

    com_ptr<IConnectionPoint> folder_point = PointOf(CreateFolderObject().get(), DIID_IMXFolderEvents);
    IID iid{};
    EXPECT_HR(S_OK, folder_point->GetConnectionInterface(&iid));
    EXPECT_EQ(GuidText(iid), GuidText(DIID_IMXFolderEvents));
    ASSERT_HR(S_OK, folder_point->GetConnectionPointContainer(container.put()));
    EXPECT_HR(CONNECT_E_NOCONNECTION, container->FindConnectionPoint(DIID_IMXFolderManagerEvents, &raw));

    com_ptr<IUnknown> owner, via_container;
    manager_->QueryInterface(IID_IUnknown, owner.put_void());
    ASSERT_HR(S_OK, point_->GetConnectionPointContainer(container.put()));
    container->QueryInterface(IID_IUnknown, via_container.put_void());
    EXPECT_EQ(owner.get(), via_container.get()) << "the container is one of the owner's interfaces";
    EXPECT_HR(E_NOINTERFACE, point_->QueryInterface(IID_IConnectionPointContainer, container.put_void()))
        << "the point has an identity of its own";
}

TEST_F(ConnectionPointTest, CookiesStartAtOneAndAreNeitherReusedNorConsumedByARefusal) {
    auto a = Sink("a"), b = Sink("b"), c = Sink("c");
    EXPECT_EQ(Advise(a.get()), 1u);
    auto folder_sink = RecordingSink::Create(DIID_IMXFolderEvents, "folder sink");
    DWORD cookie = 77;
    EXPECT_HR(CONNECT_E_CANNOTCONNECT, point_->Advise(folder_sink.get(), &cookie)) << "lacks the event interface";
    EXPECT_EQ(folder_sink->ref_count(), 1) << "no reference kept on a refused sink";
    EXPECT_HR(E_POINTER, point_->Advise(nullptr, &cookie));
    EXPECT_HR(E_POINTER, point_->Advise(a.get(), nullptr));
    EXPECT_EQ(Advise(b.get()), 2u);
    EXPECT_HR(S_OK, point_->Unadvise(1));
    EXPECT_EQ(a->ref_count(), 1) << "Unadvise releases the connection's reference";
    EXPECT_EQ(Advise(c.get()), 3u);
    for (DWORD gone : {1u, 0u, 4u}) EXPECT_HR(CONNECT_E_NOCONNECTION, point_->Unadvise(gone)) << gone;
}

TEST_F(ConnectionPointTest, EveryEventReachesEverySinkInAdviseOrderEvenPastAFailingOne) {
    std::string order;
    auto a = Sink("a"), b = Sink("b"), c = Sink("c");
    b->set_result(DISP_E_EXCEPTION);
    for (auto* sink : {a.get(), b.get(), c.get()}) Advise(sink);
    for (auto [sink, name] : {std::pair{a.get(), "a"}, std::pair{b.get(), "b"}, std::pair{c.get(), "c"}})
        sink->set_hook([&order, name = name](const SinkCall&) { order += name; });
    SetMarkerErrorInfo(L"marker");
    // Which event each store change raises, folders' events too, is store_events_test.cpp's.
    Fire()->FireOnFolderCreated(11);
    Fire()->FireOnNewMessage(16, 1017);
    const std::vector<SinkCall> expected = {{1, {11}}, {6, {16, 1017}}};
    for (auto* sink : {a.get(), b.get(), c.get()}) EXPECT_EQ(sink->calls(), expected);
    EXPECT_EQ(order, "abcabc");
    EXPECT_EQ(ErrorInfoOf().source, L"marker") << "a failing sink leaves no error object";
}

TEST_F(ConnectionPointTest, HandlersMayChangeTheConnectionsAndDropTheOwnerDuringTheWalk) {
    auto a = Sink("a"), b = Sink("b"), c = Sink("c"), late = Sink("late");
    const DWORD a_cookie = Advise(a.get()), b_cookie = Advise(b.get());
    Advise(c.get());
    a->set_hook([&](const SinkCall& call) {
        if (call.args != std::vector<long>{1}) return;
        EXPECT_HR(S_OK, point_->Unadvise(a_cookie));
        EXPECT_HR(S_OK, point_->Unadvise(b_cookie));
        b = nullptr;  // the connection held the last reference: b is gone now
        EXPECT_EQ(Advise(late.get()), 4u);
    });
    Fire()->FireOnFolderCreated(1);
    EXPECT_EQ(c->calls().size(), 1u);
    EXPECT_EQ(late->calls().size(), 1u) << "the walk is over the live connections";
    EXPECT_EQ(a->ref_count(), 1);

    // The owner goes when a handler drops the client's last reference, after its walk.
    point_ = nullptr;
    MXFolderManager* firing = Fire();
    c->set_hook([&](const SinkCall&) { manager_ = nullptr; });
    firing->FireOnFolderDeleted(3);
    EXPECT_EQ(late->calls().size(), 2u);
    EXPECT_EQ(c->ref_count(), 1) << "the owner was destroyed and dropped its connections";
    EXPECT_EQ(late->ref_count(), 1);
}

TEST_F(ConnectionPointTest, TheEnumeratorWalksTheLiveConnectionsAndKeepsTheOwner) {
    auto a = Sink("a"), b = Sink("b"), c = Sink("c"), d = Sink("d");
    for (auto* sink : {a.get(), b.get(), c.get()}) Advise(sink);
    com_ptr<IEnumConnections> e;
    ASSERT_HR(S_OK, point_->EnumConnections(e.put()));
    EXPECT_HR(E_POINTER, point_->EnumConnections(nullptr));
    CONNECTDATA data[5] = {};
    ULONG fetched = 0;
    EXPECT_HR(S_FALSE, e->Next(5, data, &fetched));
    ASSERT_EQ(fetched, 3u);
    EXPECT_EQ(data[0].dwCookie, 1u);
    EXPECT_EQ(a->ref_count(), 3) << "pUnk is the connected sink, with a reference for the caller";
    for (ULONG i = 0; i < fetched; ++i) com_ptr<IUnknown>::attach(data[i].pUnk);
    EXPECT_HR(S_OK, e->Reset());
    EXPECT_HR(S_FALSE, e->Skip(10));
    EXPECT_EQ(NextCookies(e.get(), 1, S_FALSE), std::vector<DWORD>{});
    EXPECT_HR(S_OK, e->Reset());
    EXPECT_HR(S_OK, e->Skip(1));
    com_ptr<IEnumConnections> clone;
    ASSERT_HR(S_OK, e->Clone(clone.put()));
    EXPECT_EQ(NextCookies(clone.get(), 5, S_FALSE), (std::vector<DWORD>{2, 3})) << "a clone starts where it stands";
    EXPECT_EQ(NextCookies(e.get(), 1, S_OK), std::vector<DWORD>{2}) << "and moves alone";
    // Connections removed before it, and after it, and added behind it.
    EXPECT_HR(S_OK, point_->Unadvise(3));
    EXPECT_HR(S_OK, point_->Unadvise(1));
    Advise(d.get());
    EXPECT_EQ(NextCookies(e.get(), 5, S_FALSE), std::vector<DWORD>{4});

    // The manager is of this program's copy of the server's code: its module lock is counted here.
    point_ = nullptr;
    manager_ = nullptr;
    EXPECT_EQ(d->ref_count(), 2) << "the enumerator keeps the owner and its connections";
    EXPECT_HR(S_FALSE, ModuleLock::CanUnloadNow());
    e = nullptr;
    clone = nullptr;
    EXPECT_EQ(d->ref_count(), 1);
    EXPECT_HR(S_OK, ModuleLock::CanUnloadNow());
}

}  // namespace
}  // namespace pelkary::test
