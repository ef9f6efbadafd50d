// The module's exports and class objects, called directly on the registered pelkary.dll (the same
// module instance the COM runtime uses), and the shape of every object's QueryInterface.
#include "support/test_support.h"

namespace pelkary::test {
namespace {

const CLSID* const kClasses[] = {&CLSID_MXMessage, &CLSID_MXFolder, &CLSID_MXFolderManager};

class ClassObjectTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(module_.loaded());
        // Nothing of pelkary's is alive between tests: the lock count is back to zero.
        ASSERT_HR(S_OK, module_.CanUnloadNow());
    }
    void TearDown() override { EXPECT_HR(S_OK, module_.CanUnloadNow()) << "a test left a module lock behind"; }

    com_ptr<IClassFactory> Factory(REFCLSID clsid) {
        com_ptr<IClassFactory> factory;
        EXPECT_HR(S_OK, module_.GetClassObject(clsid, IID_IClassFactory, factory.put_void()));
        return factory;
    }

    ComApartment apartment_;
    TempStore store_;
    ServerModule module_;
};

TEST_F(ClassObjectTest, GetClassObjectServesTheThreeClassesOnly) {
    void* out = reinterpret_cast<void*>(1);
    EXPECT_HR(CLASS_E_CLASSNOTAVAILABLE, module_.GetClassObject(IID_IMXFolder, IID_IClassFactory, &out));
    for (const CLSID* clsid : kClasses) {
        com_ptr<IUnknown> unknown;
        EXPECT_HR(S_OK, module_.GetClassObject(*clsid, IID_IUnknown, unknown.put_void()));
        EXPECT_TRUE(unknown);
        void* wrong = reinterpret_cast<void*>(1);
        EXPECT_HR(E_NOINTERFACE, module_.GetClassObject(*clsid, IID_IDispatch, &wrong));
        EXPECT_EQ(wrong, nullptr);
        EXPECT_HR(E_POINTER, module_.GetClassObject(*clsid, IID_IClassFactory, nullptr));
    }
}

TEST_F(ClassObjectTest, EachClassObjectReferenceIsAModuleLock) {
    com_ptr<IClassFactory> factory = Factory(CLSID_MXFolder);
    ASSERT_TRUE(factory);
    EXPECT_HR(S_FALSE, module_.CanUnloadNow());
    // No count of its own: AddRef answers 2 and Release 1, whatever is held.
    EXPECT_EQ(factory->AddRef(), 2u);
    EXPECT_EQ(factory->Release(), 1u);
    factory = nullptr;
    EXPECT_HR(S_OK, module_.CanUnloadNow());
}

TEST_F(ClassObjectTest, LockServerCountsEachCall) {
    com_ptr<IClassFactory> factory = Factory(CLSID_MXMessage);
    ASSERT_TRUE(factory);
    EXPECT_HR(S_OK, factory->LockServer(TRUE));
    EXPECT_HR(S_OK, factory->LockServer(TRUE));
    EXPECT_HR(S_OK, factory->LockServer(FALSE));
    factory = nullptr;
    EXPECT_HR(S_FALSE, module_.CanUnloadNow()) << "one LockServer(TRUE) is still outstanding";
    factory = Factory(CLSID_MXMessage);
    EXPECT_HR(S_OK, factory->LockServer(FALSE));
    factory = nullptr;
}

TEST_F(ClassObjectTest, CreateInstanceRefusesAggregationBeforeTouchingTheOutPointer) {
    com_ptr<IClassFactory> factory = Factory(CLSID_MXMessage);
    ASSERT_TRUE(factory);
    void* out = reinterpret_cast<void*>(0x1234);
    EXPECT_HR(CLASS_E_NOAGGREGATION, factory->CreateInstance(factory.get(), IID_IUnknown, &out));
    EXPECT_EQ(out, reinterpret_cast<void*>(0x1234));
}

TEST_F(ClassObjectTest, CreateInstanceForAnUnservedInterfaceDestroysTheObjectAgain) {
    com_ptr<IClassFactory> factory = Factory(CLSID_MXMessage);
    ASSERT_TRUE(factory);
    void* out = reinterpret_cast<void*>(0x1234);
    EXPECT_HR(E_NOINTERFACE, factory->CreateInstance(nullptr, IID_IConnectionPointContainer, &out));
    EXPECT_EQ(out, nullptr);
    factory = nullptr;
    // The object built and thrown away again left no lock of its own.
    EXPECT_HR(S_OK, module_.CanUnloadNow());
}

TEST_F(ClassObjectTest, EveryObjectHoldsOneModuleLockWhileReferenced) {
    for (const CLSID* clsid : kClasses) {
        com_ptr<IUnknown> object;
        {
            com_ptr<IClassFactory> factory = Factory(*clsid);
            ASSERT_TRUE(factory);
            EXPECT_HR(S_OK, factory->CreateInstance(nullptr, IID_IUnknown, object.put_void()));
        }
        ASSERT_TRUE(object);
        EXPECT_HR(S_FALSE, module_.CanUnloadNow());
        EXPECT_EQ(object->AddRef(), 2u);
        EXPECT_EQ(object->Release(), 1u);
        object = nullptr;
        EXPECT_HR(S_OK, module_.CanUnloadNow()) << GuidText(*clsid);
    }
    // Objects that the runtime makes come from the same module and count the same way.
    com_ptr<IMXMessage> message = CreateMessageObject();
    EXPECT_HR(S_FALSE, module_.CanUnloadNow());
    message = nullptr;
    EXPECT_HR(S_OK, module_.CanUnloadNow());
}

// One identity and one count behind every interface of an object.
void CheckIdentity(IUnknown* main, REFIID main_iid, bool has_event_source) {
    com_ptr<IUnknown> identity;
    ASSERT_HR(S_OK, main->QueryInterface(IID_IUnknown, identity.put_void()));
    EXPECT_EQ(identity.get(), main) << "IUnknown is the main interface's pointer";
    com_ptr<IUnknown> dispatch;
    ASSERT_HR(S_OK, main->QueryInterface(IID_IDispatch, dispatch.put_void()));
    EXPECT_EQ(dispatch.get(), main) << "IDispatch is the main interface's pointer";

    std::vector<IID> served = {main_iid, IID_IProvideClassInfo, IID_ISupportErrorInfo};
    if (has_event_source) served.push_back(IID_IConnectionPointContainer);
    for (const IID& iid : served) {
        com_ptr<IUnknown> sub;
        ASSERT_HR(S_OK, main->QueryInterface(iid, sub.put_void())) << GuidText(iid);
        com_ptr<IUnknown> back;
        EXPECT_HR(S_OK, sub->QueryInterface(IID_IUnknown, back.put_void()));
        EXPECT_EQ(back.get(), main) << "IUnknown through " << GuidText(iid);
        com_ptr<IUnknown> main_again;
        EXPECT_HR(S_OK, sub->QueryInterface(main_iid, main_again.put_void()));
        EXPECT_EQ(main_again.get(), main);
        // The sub-object forwards its count to the object.
        ULONG via_sub = sub->AddRef();
        EXPECT_EQ(main->AddRef(), via_sub + 1) << GuidText(iid);
        main->Release();
        sub->Release();
    }
    void* out = reinterpret_cast<void*>(1);
    EXPECT_HR(E_NOINTERFACE, main->QueryInterface(IID_IClassFactory, &out));
    EXPECT_EQ(out, nullptr);
    if (!has_event_source) {
        out = reinterpret_cast<void*>(1);
        EXPECT_HR(E_NOINTERFACE, main->QueryInterface(IID_IConnectionPointContainer, &out));
        EXPECT_EQ(out, nullptr);
    }
    EXPECT_HR(E_POINTER, main->QueryInterface(IID_IUnknown, nullptr));
}

TEST_F(ClassObjectTest, QueryInterfaceGivesEachObjectOneIdentity) {
    com_ptr<IMXFolderManager> manager = CreateManager();
    com_ptr<IMXFolder> folder = CreateFolderObject();
    com_ptr<IMXMessage> message = CreateMessageObject();
    ASSERT_TRUE(manager && folder && message);
    CheckIdentity(manager.get(), IID_IMXFolderManager, true);
    CheckIdentity(folder.get(), IID_IMXFolder, true);
    CheckIdentity(message.get(), IID_IMXMessage, false);
}

}  // namespace
}  // namespace pelkary::test
