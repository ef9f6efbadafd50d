// The event sources of MXFolder and MXFolderManager as a client meets them through the COM
// runtime: the container, the connection point and its cookies, the connection enumerator over
// the live connections, and the firing of events into client sinks (raised here through the
// objects' own firing operations; the store's notifications that raise them are tested in
// store_events_test.cpp).
#include <olectl.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "folders/mx_folder.h"
#include "folders/mx_folder_manager.h"
#include "frame/object_creation.h"
#include "support/test_support.h"

namespace pelkary {
namespace {

using test::RecordingSink;
using test::SinkCall;

constexpr DISPID kFolderCreated = 1;
constexpr DISPID kFolderRenamed = 3;
constexpr DISPID kManagerNewMessage = 6;
constexpr DISPID kFolderOnDeletion = 3;

// An object that answers QueryInterface for IDispatch but not for any event interface.
class PlainDispatch : public IDispatch {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IDispatch)) return E_NOINTERFACE;
        *ppv = this;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs_; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        ADD_FAILURE() << "a sink that was never connected was called";
        return E_FAIL;
    }
    ULONG refs_ = 1;
};

// A sink that checks the raw DISPPARAMS of one call, beyond what RecordingSink records.
class RawSink : public PlainDispatch {
public:
    explicit RawSink(const IID& iid) : iid_(iid) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv && IsEqualIID(riid, iid_)) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        return PlainDispatch::QueryInterface(riid, ppv);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* excep, UINT* arg_err) override {
        ++calls;
        dispid = id;
        riid_null = IsEqualIID(riid, IID_NULL);
        locale = lcid;
        this->flags = flags;
        outs_null = !result && !excep && !arg_err;
        if (params) {
            cArgs = params->cArgs;
            named = params->cNamedArgs || params->rgdispidNamedArgs;
            rgvarg_null = params->rgvarg == nullptr;
            for (UINT i = 0; i < params->cArgs; ++i) {
                types.push_back(V_VT(&params->rgvarg[i]));
                raw.push_back(V_I4(&params->rgvarg[i]));
            }
        }
        return S_OK;
    }
    IID iid_;
    int calls = 0;
    DISPID dispid = 0;
    bool riid_null = false, outs_null = false, named = true, rgvarg_null = false;
    LCID locale = 0;
    WORD flags = 0;
    UINT cArgs = 99;
    std::vector<VARTYPE> types;
    std::vector<long> raw;  // as the array holds them: the last parameter first
};

class ConnectionPointTest : public ::testing::Test {
protected:
    void SetUp() override {
        manager_ = test::CreateManager();
        ASSERT_TRUE(manager_);
        point_ = PointOf(manager_.get(), DIID_IMXFolderManagerEvents);
        ASSERT_TRUE(point_);
    }

    static com_ptr<IConnectionPoint> PointOf(IUnknown* owner, REFIID iid) {
        com_ptr<IConnectionPointContainer> container;
        EXPECT_HR(S_OK, owner->QueryInterface(IID_IConnectionPointContainer, container.put_void()));
        com_ptr<IConnectionPoint> point;
        if (container) {
            EXPECT_HR(S_OK, container->FindConnectionPoint(iid, point.put()));
        }
        return point;
    }

    com_ptr<RecordingSink> ManagerSink(const char* name) {
        auto sink = RecordingSink::Create(DIID_IMXFolderManagerEvents, name);
        sink->AllowAll();
        return sink;
    }

    DWORD Advise(IUnknown* sink) {
        DWORD cookie = 0;
        EXPECT_HR(S_OK, point_->Advise(sink, &cookie));
        return cookie;
    }

    MXFolderManager* impl() { return ImplOf<MXFolderManager>(manager_.get()); }

    test::ComApartment apartment_;
    test::TempStore store_;
    com_ptr<IMXFolderManager> manager_;
    com_ptr<IConnectionPoint> point_;
};

// --- Container and connection point identity ---------------------------------------------------

TEST_F(ConnectionPointTest, ContainerFindsOnlyItsOwnEventInterface) {
    com_ptr<IConnectionPointContainer> container;
    ASSERT_HR(S_OK, manager_->QueryInterface(IID_IConnectionPointContainer, container.put_void()));

    // The out-pointer is overwritten with null, not left alone.
    IConnectionPoint* raw = reinterpret_cast<IConnectionPoint*>(0x1);
    EXPECT_HR(CONNECT_E_NOCONNECTION, container->FindConnectionPoint(DIID_IMXFolderEvents, &raw));
    EXPECT_EQ(raw, nullptr);
    EXPECT_HR(E_POINTER, container->FindConnectionPoint(DIID_IMXFolderManagerEvents, nullptr));

    com_ptr<IEnumConnectionPoints> points;
    EXPECT_HR(E_NOTIMPL, container->EnumConnectionPoints(points.put()));

    auto folder = test::CreateFolderObject();
    ASSERT_TRUE(folder);
    com_ptr<IConnectionPointContainer> folder_container;
    ASSERT_HR(S_OK, folder->QueryInterface(IID_IConnectionPointContainer, folder_container.put_void()));
    raw = reinterpret_cast<IConnectionPoint*>(0x1);
    EXPECT_HR(CONNECT_E_NOCONNECTION, folder_container->FindConnectionPoint(DIID_IMXFolderManagerEvents, &raw));
    EXPECT_EQ(raw, nullptr);
    com_ptr<IConnectionPoint> folder_point;
    EXPECT_HR(S_OK, folder_container->FindConnectionPoint(DIID_IMXFolderEvents, folder_point.put()));
    IID iid{};
    ASSERT_TRUE(folder_point);
    EXPECT_HR(S_OK, folder_point->GetConnectionInterface(&iid));
    EXPECT_TRUE(IsEqualIID(iid, DIID_IMXFolderEvents));

    com_ptr<IConnectionPoint> message_point;
    auto message = test::CreateMessageObject();
    ASSERT_TRUE(message);
    com_ptr<IConnectionPointContainer> message_container;
    EXPECT_HR(E_NOINTERFACE, message->QueryInterface(IID_IConnectionPointContainer, message_container.put_void()));
}

TEST_F(ConnectionPointTest, PointLeadsBackToItsOwnerAndHasAnIdentityOfItsOwn) {
    IID iid{};
    EXPECT_HR(S_OK, point_->GetConnectionInterface(&iid));
    EXPECT_TRUE(IsEqualIID(iid, DIID_IMXFolderManagerEvents));

    com_ptr<IConnectionPointContainer> container;
    ASSERT_HR(S_OK, point_->GetConnectionPointContainer(container.put()));
    com_ptr<IUnknown> owner_identity, container_identity, point_identity;
    manager_->QueryInterface(IID_IUnknown, owner_identity.put_void());
    container->QueryInterface(IID_IUnknown, container_identity.put_void());
    EXPECT_EQ(owner_identity.get(), container_identity.get()) << "the container is one of the owner's interfaces";

    EXPECT_HR(S_OK, point_->QueryInterface(IID_IUnknown, point_identity.put_void()));
    EXPECT_NE(point_identity.get(), owner_identity.get());
    com_ptr<ISupportErrorInfo> support;
    ASSERT_HR(S_OK, point_->QueryInterface(IID_ISupportErrorInfo, support.put_void()));
    EXPECT_HR(S_OK, support->InterfaceSupportsErrorInfo(IID_IConnectionPoint));
    com_ptr<IMXFolderManager> not_served;
    EXPECT_HR(E_NOINTERFACE, point_->QueryInterface(IID_IMXFolderManager, not_served.put_void()));
    EXPECT_HR(E_NOINTERFACE, point_->QueryInterface(IID_IConnectionPointContainer, container.put_void()));
}

TEST_F(ConnectionPointTest, PointAloneKeepsTheOwnerAndItsConnectionsAlive) {
    auto sink = ManagerSink("sink");
    Advise(sink.get());
    EXPECT_EQ(sink->ref_count(), 2);
    manager_ = nullptr;
    // The owner still lives: its connection still holds the sink, and it still fires.
    EXPECT_EQ(sink->ref_count(), 2);
    com_ptr<IConnectionPointContainer> container;
    ASSERT_HR(S_OK, point_->GetConnectionPointContainer(container.put()));
    com_ptr<IMXFolderManager> owner;
    ASSERT_HR(S_OK, container->QueryInterface(IID_IMXFolderManager, owner.put_void()));
    ImplOf<MXFolderManager>(owner.get())->FireOnFolderCreated(8);
    EXPECT_EQ(sink->calls(), (std::vector<SinkCall>{{kFolderCreated, {8}}}));
    owner = nullptr;
    container = nullptr;
    point_ = nullptr;
    EXPECT_EQ(sink->ref_count(), 1) << "destroying the owner drops its connections";
}

// --- Advise and Unadvise -----------------------------------------------------------------------

TEST_F(ConnectionPointTest, CookiesStartAtOneAndAreNeverReused) {
    auto a = ManagerSink("a"), b = ManagerSink("b"), c = ManagerSink("c");
    EXPECT_EQ(Advise(a.get()), 1u);
    EXPECT_EQ(Advise(b.get()), 2u);
    EXPECT_HR(S_OK, point_->Unadvise(1));
    EXPECT_EQ(Advise(c.get()), 3u);
    EXPECT_HR(CONNECT_E_NOCONNECTION, point_->Unadvise(1));
    EXPECT_HR(CONNECT_E_NOCONNECTION, point_->Unadvise(0));
    EXPECT_HR(CONNECT_E_NOCONNECTION, point_->Unadvise(4));
    EXPECT_EQ(a->ref_count(), 1) << "Unadvise releases the connection's reference";
    EXPECT_EQ(b->ref_count(), 2);
}

TEST_F(ConnectionPointTest, RefusedAdviseRegistersNothingAndUsesNoCookie) {
    auto a = ManagerSink("a");
    EXPECT_EQ(Advise(a.get()), 1u);

    PlainDispatch plain;
    DWORD cookie = 77;
    EXPECT_HR(CONNECT_E_CANNOTCONNECT, point_->Advise(&plain, &cookie));
    EXPECT_EQ(plain.refs_, 1u) << "no reference kept on a refused sink";
    // A sink of the folder's event interface is just as wrong for a manager.
    auto folder_sink = RecordingSink::Create(DIID_IMXFolderEvents, "folder sink");
    EXPECT_HR(CONNECT_E_CANNOTCONNECT, point_->Advise(folder_sink.get(), &cookie));
    EXPECT_EQ(folder_sink->ref_count(), 1);
    EXPECT_HR(E_POINTER, point_->Advise(nullptr, &cookie));
    EXPECT_HR(E_POINTER, point_->Advise(a.get(), nullptr));

    auto b = ManagerSink("b");
    EXPECT_EQ(Advise(b.get()), 2u);
    impl()->FireOnFolderCreated(1);
    EXPECT_EQ(a->calls().size(), 1u);
    EXPECT_EQ(b->calls().size(), 1u);
}

// --- Firing ------------------------------------------------------------------------------------

TEST_F(ConnectionPointTest, EveryEventReachesSinksInAdviseOrderWithItsArguments) {
    std::vector<std::string> order;
    auto a = ManagerSink("a"), b = ManagerSink("b");
    a->set_hook([&](const SinkCall&) { order.push_back("a"); });
    b->set_hook([&](const SinkCall&) { order.push_back("b"); });
    Advise(b.get());
    Advise(a.get());

    impl()->FireOnFolderCreated(11);
    impl()->FireOnFolderDeleted(12);
    impl()->FireOnFolderRenamed(13);
    impl()->FireOnFolderMoved(14);
    impl()->FireOnFolderUnreadChanged(15);
    impl()->FireOnNewMessage(16, 1017);

    const std::vector<SinkCall> expected = {{1, {11}}, {2, {12}}, {3, {13}}, {4, {14}}, {5, {15}}, {6, {16, 1017}}};
    EXPECT_EQ(a->calls(), expected);
    EXPECT_EQ(b->calls(), expected);
    EXPECT_EQ(order, (std::vector<std::string>{"b", "a", "b", "a", "b", "a", "b", "a", "b", "a", "b", "a"}));
}

TEST_F(ConnectionPointTest, InvokeGetsVt4ArgumentsLastFirstAndNothingElse) {
    RawSink raw(DIID_IMXFolderManagerEvents);
    Advise(&raw);
    impl()->FireOnNewMessage(40, 1234);
    ASSERT_EQ(raw.calls, 1);
    EXPECT_EQ(raw.dispid, kManagerNewMessage);
    EXPECT_TRUE(raw.riid_null);
    EXPECT_EQ(raw.locale, static_cast<LCID>(LOCALE_USER_DEFAULT));
    EXPECT_EQ(raw.flags, DISPATCH_METHOD);
    EXPECT_TRUE(raw.outs_null) << "no result, exception or argument-error pointer";
    EXPECT_FALSE(raw.named);
    EXPECT_EQ(raw.cArgs, 2u);
    EXPECT_EQ(raw.types, (std::vector<VARTYPE>{VT_I4, VT_I4}));
    EXPECT_EQ(raw.raw, (std::vector<long>{1234, 40})) << "rgvarg[0] is the message id";
    EXPECT_HR(S_OK, point_->Unadvise(1));

    auto folder = test::CreateFolderObject();
    ASSERT_TRUE(folder);
    RawSink folder_raw(DIID_IMXFolderEvents);
    auto folder_point = PointOf(folder.get(), DIID_IMXFolderEvents);
    DWORD cookie = 0;
    ASSERT_HR(S_OK, folder_point->Advise(&folder_raw, &cookie));
    ImplOf<MXFolder>(folder.get())->FireOnDeletion();
    ASSERT_EQ(folder_raw.calls, 1);
    EXPECT_EQ(folder_raw.dispid, kFolderOnDeletion);
    EXPECT_EQ(folder_raw.cArgs, 0u);
    EXPECT_TRUE(folder_raw.rgvarg_null);
    EXPECT_HR(S_OK, folder_point->Unadvise(cookie));
}

TEST_F(ConnectionPointTest, FailingSinkNeitherStopsTheWalkNorLeavesAnError) {
    auto a = ManagerSink("a"), b = ManagerSink("b"), c = ManagerSink("c");
    b->set_result(DISP_E_EXCEPTION);
    Advise(a.get());
    Advise(b.get());
    Advise(c.get());
    test::SetMarkerErrorInfo(L"marker");
    impl()->FireOnFolderRenamed(40);
    EXPECT_EQ(a->calls(), (std::vector<SinkCall>{{kFolderRenamed, {40}}}));
    EXPECT_EQ(b->calls().size(), 1u);
    EXPECT_EQ(c->calls(), (std::vector<SinkCall>{{kFolderRenamed, {40}}}));
    EXPECT_EQ(test::ErrorInfoOf().source, L"marker") << "firing leaves the thread's error object alone";
    // And the failing sink stays connected.
    impl()->FireOnFolderRenamed(41);
    EXPECT_EQ(b->calls().size(), 2u);
}

TEST_F(ConnectionPointTest, SinkMayUnadviseItselfDuringTheWalk) {
    auto a = ManagerSink("a"), b = ManagerSink("b");
    DWORD a_cookie = Advise(a.get());
    Advise(b.get());
    a->set_hook([&](const SinkCall&) { EXPECT_HR(S_OK, point_->Unadvise(a_cookie)); });
    impl()->FireOnFolderCreated(1);
    impl()->FireOnFolderCreated(2);
    EXPECT_EQ(a->calls(), (std::vector<SinkCall>{{kFolderCreated, {1}}}));
    EXPECT_EQ(b->calls(), (std::vector<SinkCall>{{kFolderCreated, {1}}, {kFolderCreated, {2}}}));
    EXPECT_EQ(a->ref_count(), 1);
}

TEST_F(ConnectionPointTest, SinkMayUnadviseAnotherOrAdviseANewOneDuringTheWalk) {
    auto a = ManagerSink("a"), b = ManagerSink("b"), c = ManagerSink("c"), late = ManagerSink("late");
    Advise(a.get());
    DWORD b_cookie = Advise(b.get());
    Advise(c.get());
    bool once = true;
    a->set_hook([&](const SinkCall&) {
        if (!once) return;
        once = false;
        EXPECT_HR(S_OK, point_->Unadvise(b_cookie));
        b = nullptr;  // the connection held the last reference: b is gone now
        DWORD cookie = 0;
        EXPECT_HR(S_OK, point_->Advise(late.get(), &cookie));
        EXPECT_EQ(cookie, 4u);
    });
    impl()->FireOnFolderMoved(9);
    EXPECT_EQ(c->calls().size(), 1u);
    EXPECT_EQ(late->calls().size(), 1u) << "the walk is over the live connections";
}

TEST_F(ConnectionPointTest, SinkMayDropTheLastClientReferenceToTheFiringObject) {
    auto a = ManagerSink("a"), b = ManagerSink("b");
    Advise(a.get());
    Advise(b.get());
    point_ = nullptr;
    MXFolderManager* firing = impl();
    a->set_hook([&](const SinkCall&) { manager_ = nullptr; });
    firing->FireOnFolderDeleted(3);
    EXPECT_EQ(b->calls().size(), 1u);
    EXPECT_EQ(a->ref_count(), 1) << "the object went away after its walk, dropping its connections";
    EXPECT_EQ(b->ref_count(), 1);
}

// --- The connection enumerator -----------------------------------------------------------------

class ConnectionEnumeratorTest : public ConnectionPointTest {
protected:
    com_ptr<IEnumConnections> Enumerate() {
        com_ptr<IEnumConnections> e;
        EXPECT_HR(S_OK, point_->EnumConnections(e.put()));
        return e;
    }
    // The cookies the next Next(n) call yields, releasing the sinks it hands out.
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
};

TEST_F(ConnectionEnumeratorTest, NextAndSkipStopAtTheEnd) {
    auto a = ManagerSink("a"), b = ManagerSink("b");
    Advise(a.get());
    Advise(b.get());
    auto e = Enumerate();
    ASSERT_TRUE(e);

    CONNECTDATA data[5] = {};
    ULONG fetched = 0;
    EXPECT_HR(S_FALSE, e->Next(5, data, &fetched));
    ASSERT_EQ(fetched, 2u);
    EXPECT_EQ(data[0].dwCookie, 1u);
    EXPECT_EQ(data[1].dwCookie, 2u);
    // pUnk is the connected event interface, with a reference for the caller.
    com_ptr<IDispatch> first;
    data[0].pUnk->QueryInterface(IID_IDispatch, first.put_void());
    EXPECT_EQ(static_cast<IDispatch*>(first.get()), static_cast<IDispatch*>(a.get()));
    first = nullptr;
    EXPECT_EQ(a->ref_count(), 3);
    com_ptr<IUnknown>::attach(data[0].pUnk);
    com_ptr<IUnknown>::attach(data[1].pUnk);
    EXPECT_EQ(a->ref_count(), 2);

    EXPECT_HR(S_OK, e->Reset());
    EXPECT_HR(S_FALSE, e->Skip(10));
    EXPECT_EQ(NextCookies(e.get(), 1, S_FALSE), std::vector<DWORD>{});
    EXPECT_HR(S_OK, e->Reset());
    EXPECT_HR(S_OK, e->Skip(1));
    EXPECT_EQ(NextCookies(e.get(), 1, S_OK), std::vector<DWORD>{2});
    EXPECT_HR(S_OK, e->Reset());
    EXPECT_HR(S_OK, e->Next(1, data, nullptr)) << "pcFetched may be null";
    com_ptr<IUnknown>::attach(data[0].pUnk);
    EXPECT_HR(E_POINTER, point_->EnumConnections(nullptr));
}

TEST_F(ConnectionEnumeratorTest, WalksTheLiveConnections) {
    auto a = ManagerSink("a"), b = ManagerSink("b"), c = ManagerSink("c"), d = ManagerSink("d");
    Advise(a.get());
    Advise(b.get());
    Advise(c.get());
    auto e = Enumerate();
    EXPECT_EQ(NextCookies(e.get(), 1, S_OK), std::vector<DWORD>{1});
    // Remove the connection the enumerator is about to visit, and one behind it.
    EXPECT_HR(S_OK, point_->Unadvise(2));
    EXPECT_HR(S_OK, point_->Unadvise(1));
    b = nullptr;
    Advise(d.get());
    EXPECT_EQ(NextCookies(e.get(), 5, S_FALSE), (std::vector<DWORD>{3, 4}));
    // Removing the last visited one while standing after it changes nothing either.
    EXPECT_HR(S_OK, point_->Unadvise(4));
    EXPECT_EQ(NextCookies(e.get(), 1, S_FALSE), std::vector<DWORD>{});
    EXPECT_HR(S_OK, e->Reset());
    EXPECT_EQ(NextCookies(e.get(), 5, S_FALSE), std::vector<DWORD>{3});
}

TEST_F(ConnectionEnumeratorTest, CloneStartsWhereTheOriginalStandsAndMovesAlone) {
    auto a = ManagerSink("a"), b = ManagerSink("b"), c = ManagerSink("c");
    Advise(a.get());
    Advise(b.get());
    Advise(c.get());
    auto e = Enumerate();
    EXPECT_HR(S_OK, e->Skip(1));
    com_ptr<IEnumConnections> clone;
    ASSERT_HR(S_OK, e->Clone(clone.put()));
    EXPECT_HR(E_POINTER, e->Clone(nullptr));
    EXPECT_EQ(NextCookies(clone.get(), 5, S_FALSE), (std::vector<DWORD>{2, 3}));
    EXPECT_EQ(NextCookies(e.get(), 1, S_OK), std::vector<DWORD>{2});
    com_ptr<IUnknown> unknown;
    EXPECT_HR(S_OK, clone->QueryInterface(IID_IUnknown, unknown.put_void()));
    com_ptr<IConnectionPoint> wrong;
    EXPECT_HR(E_NOINTERFACE, clone->QueryInterface(IID_IConnectionPoint, wrong.put_void()));
}

TEST_F(ConnectionEnumeratorTest, EnumeratorKeepsTheOwnerAndCountsInTheModuleLock) {
    test::ServerModule module;
    ASSERT_TRUE(module.loaded());
    auto a = ManagerSink("a");
    Advise(a.get());
    auto e = Enumerate();
    point_ = nullptr;
    manager_ = nullptr;
    EXPECT_EQ(a->ref_count(), 2) << "the enumerator keeps the owner and its connections";
    EXPECT_EQ(NextCookies(e.get(), 2, S_FALSE), std::vector<DWORD>{1});
    EXPECT_HR(S_FALSE, module.CanUnloadNow());
    e = nullptr;
    EXPECT_EQ(a->ref_count(), 1);
    EXPECT_HR(S_OK, module.CanUnloadNow());
}

}  // namespace
}  // namespace pelkary
