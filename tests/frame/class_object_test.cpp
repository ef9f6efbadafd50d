// The module's exports and class objects, called directly on the registered pelkary.dll (the same
// module instance the COM runtime uses), the module lock that every object and class-object
// reference holds, and the shape of every object's QueryInterface.
#include "support/test_support.h"

namespace pelkary::test {
namespace {

const CLSID* const kClasses[] = {&CLSID_MXMessage, &CLSID_MXFolder, &CLSID_MXFolderManager};

class ClassObjectTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(module_.loaded());
        ASSERT_HR(S_OK, module_.CanUnloadNow()) << "nothing of pelkary's is alive between tests";
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
        out = reinterpret_cast<void*>(1);
        EXPECT_HR(E_NOINTERFACE, module_.GetClassObject(*clsid, IID_IDispatch, &out));
        EXPECT_EQ(out, nullptr);
        EXPECT_HR(E_POINTER, module_.GetClassObject(*clsid, IID_IClassFactory, nullptr));
    }
}

TEST_F(ClassObjectTest, ClassObjectReferencesAndServerLocksAreModuleLocks) {
    com_ptr<IClassFactory> factory = Factory(CLSID_MXFolder);
    ASSERT_TRUE(factory);
    EXPECT_HR(S_FALSE, module_.CanUnloadNow());
    // No count of its own: AddRef answers 2 and Release 1, whatever is held.
    EXPECT_EQ(factory->AddRef(), 2u);
    EXPECT_EQ(factory->Release(), 1u);
    EXPECT_HR(S_OK, factory->LockServer(TRUE));
    EXPECT_HR(S_OK, factory->LockServer(TRUE));
    EXPECT_HR(S_OK, factory->LockServer(FALSE));
    factory = nullptr;
    EXPECT_HR(S_FALSE, module_.CanUnloadNow()) << "one LockServer(TRUE) is still outstanding";
    EXPECT_HR(S_OK, Factory(CLSID_MXMessage)->LockServer(FALSE));
}

TEST_F(ClassObjectTest, CreateInstanceRefusals) {
    com_ptr<IClassFactory> factory = Factory(CLSID_MXMessage);
    ASSERT_TRUE(factory);
    void* out = reinterpret_cast<void*>(0x1234);
    EXPECT_HR(CLASS_E_NOAGGREGATION, factory->CreateInstance(factory.get(), IID_IUnknown, &out));
    EXPECT_EQ(out, reinterpret_cast<void*>(0x1234)) << "refused before the out-pointer is touched";
    EXPECT_HR(E_NOINTERFACE, factory->CreateInstance(nullptr, IID_IConnectionPointContainer, &out));
    EXPECT_EQ(out, nullptr);  // and the object built and thrown away leaves no lock (TearDown)
}

// One identity and one count behind every interface of an object.
void CheckIdentity(IUnknown* main, REFIID main_iid) {
    const bool has_event_source = !IsEqualIID(main_iid, IID_IMXMessage);
    std::vector<IID> served = {IID_IUnknown, IID_IDispatch, main_iid, IID_IProvideClassInfo, IID_ISupportErrorInfo};
    if (has_event_source) served.push_back(IID_IConnectionPointContainer);
    for (const IID& iid : served) {
        com_ptr<IUnknown> sub, back;
        ASSERT_HR(S_OK, main->QueryInterface(iid, sub.put_void())) << GuidText(iid);
        if (&iid - served.data() < 3) {
            EXPECT_EQ(sub.get(), main) << "the main interface's pointer";
        }
        EXPECT_HR(S_OK, sub->QueryInterface(IID_IUnknown, back.put_void()));
        EXPECT_EQ(back.get(), main) << "IUnknown through " << GuidText(iid);
        const ULONG via_sub = sub->AddRef();
        EXPECT_EQ(main->AddRef(), via_sub + 1) << "the count of " << GuidText(iid) << " is the object's";
        main->Release();
        sub->Release();
    }
    void* out = reinterpret_cast<void*>(1);
    const IID& unserved = has_event_source ? IID_IClassFactory : IID_IConnectionPointContainer;
    EXPECT_HR(E_NOINTERFACE, main->QueryInterface(unserved, &out));
    EXPECT_EQ(out, nullptr);
    EXPECT_HR(E_POINTER, main->QueryInterface(IID_IUnknown, nullptr));
}

// Each object made through the runtime holds a lock of this very module while referenced (and
// leaves none behind: TearDown), and has one identity.
TEST_F(ClassObjectTest, EveryObjectHoldsAModuleLockAndHasOneIdentity) {
    for (auto [clsid, iid] : {std::pair{&CLSID_MXFolderManager, &IID_IMXFolderManager},
                              std::pair{&CLSID_MXFolder, &IID_IMXFolder}, std::pair{&CLSID_MXMessage, &IID_IMXMessage}}) {
        com_ptr<IUnknown> object = CreateObject<IUnknown>(*clsid);
        ASSERT_TRUE(object);
        EXPECT_HR(S_FALSE, module_.CanUnloadNow()) << GuidText(*clsid);
        CheckIdentity(object.get(), *iid);
    }
}

}  // namespace
}  // namespace pelkary::test
