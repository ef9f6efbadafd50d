// The error model at the edge of every method, driven in-process through the frame's own code
// (the boundary, the class objects' failure path and the teardown in Release) with the real
// error objects of the COM runtime.
#include <functional>
#include <new>
#include <stdexcept>

#include "comsupport/class_factory.h"
#include "comsupport/text.h"
#include "frame/automation_object.h"
#include "frame/module.h"
#include "support/test_support.h"

namespace pelkary::test {
namespace {

const ClassIdentity kFolderIdentity = {L"MXFolder", &CLSID_MXFolder, &IID_IMXFolder};

class ErrorBoundaryTest : public ::testing::Test {
protected:
    void SetUp() override { ClearErrorInfo(); }
    void TearDown() override { ClearErrorInfo(); }
    ComApartment apartment_;
    TempStore store_;
};

TEST_F(ErrorBoundaryTest, NullOutPointerGivesEPointerAndLeavesTheErrorObjectAlone) {
    SetMarkerErrorInfo(L"marker");
    long value = 0;
    bool ran = false;
    EXPECT_HR(E_POINTER, error_boundary::run(kFolderIdentity, L"GetFirstChild", [&] { ran = true; },
                                             &value, static_cast<BSTR*>(nullptr)));
    EXPECT_FALSE(ran);
    ErrorRecord record = ErrorInfoOf();
    EXPECT_TRUE(record.present);
    EXPECT_EQ(record.source, L"marker");
}

TEST_F(ErrorBoundaryTest, OutValuesStartNullAndSuccessKeepsAnEarlierErrorObject) {
    SetMarkerErrorInfo(L"earlier");
    BSTR text = reinterpret_cast<BSTR>(0x1234);
    IUnknown* object = reinterpret_cast<IUnknown*>(0x1234);
    EXPECT_HR(S_OK, error_boundary::run(kFolderIdentity, L"Name", [&] {
        EXPECT_EQ(text, nullptr);
        EXPECT_EQ(object, nullptr);
    }, &text, &object));
    EXPECT_EQ(ErrorInfoOf().source, L"earlier");
}

TEST_F(ErrorBoundaryTest, PlatformFailureBecomesItsCodeWithTheComposedSource) {
    BSTR out = nullptr;
    EXPECT_HR(REGDB_E_CLASSNOTREG, error_boundary::run(kFolderIdentity, L"GetFirstChild", [] {
        throw com_error(REGDB_E_CLASSNOTREG);
    }, &out));
    ErrorRecord record = ErrorInfoOf();
    ASSERT_TRUE(record.present);
    EXPECT_EQ(record.source, L"MXFolder.GetFirstChild");
    EXPECT_TRUE(IsEqualGUID(record.guid, IID_IMXFolder)) << GuidText(record.guid);
    EXPECT_TRUE(record.description.empty()) << Narrow(record.description);
}

TEST_F(ErrorBoundaryTest, CalleeErrorObjectPassesThroughUnchanged) {
    // What a failing inner IMXMessage call leaves behind, carried by throw_callee_failure.
    com_ptr<IMXMessage> inner = CreateMessageObject();
    ASSERT_TRUE(inner);
    com_ptr<ICreateErrorInfo> create;
    ASSERT_HR(S_OK, CreateErrorInfo(create.put()));
    create->SetSource(const_cast<LPOLESTR>(L"MXMessage.Delete"));
    create->SetDescription(const_cast<LPOLESTR>(L"inner text"));
    create->SetGUID(IID_IMXMessage);
    SetErrorInfo(0, create.try_query<IErrorInfo>().get());

    long result = 7;
    EXPECT_HR(E_ACCESSDENIED, error_boundary::run(kFolderIdentity, L"DeleteMessage", [&] {
        check_callee(inner.get(), E_ACCESSDENIED);
    }, &result));
    ErrorRecord record = ErrorInfoOf();
    EXPECT_EQ(record.source, L"MXMessage.Delete");
    EXPECT_EQ(record.description, L"inner text");
    EXPECT_TRUE(IsEqualGUID(record.guid, IID_IMXMessage)) << GuidText(record.guid);
}

TEST_F(ErrorBoundaryTest, CalleeWithoutErrorObjectReportsTheOuterMethod) {
    com_ptr<IMXMessage> inner = CreateMessageObject();
    ASSERT_TRUE(inner);
    long result = 0;
    EXPECT_HR(E_ACCESSDENIED, error_boundary::run(kFolderIdentity, L"DeleteMessage", [&] {
        check_callee(inner.get(), E_ACCESSDENIED);
    }, &result));
    ErrorRecord record = ErrorInfoOf();
    EXPECT_EQ(record.source, L"MXFolder.DeleteMessage");
    EXPECT_TRUE(IsEqualGUID(record.guid, IID_IMXFolder));
}

TEST_F(ErrorBoundaryTest, StandardExceptionsBecomeEFailWithTheirText) {
    const ClassIdentity message = {L"MXMessage", &CLSID_MXMessage, &IID_IMXMessage};
    BSTR out = nullptr;
    EXPECT_HR(E_FAIL, error_boundary::run(message, L"GetBodyText", [] { throw std::bad_alloc(); }, &out));
    ErrorRecord record = ErrorInfoOf();
    EXPECT_EQ(record.description, L"bad allocation");
    EXPECT_EQ(record.source, L"MXMessage.GetBodyText");
    EXPECT_TRUE(IsEqualGUID(record.guid, IID_IMXMessage));

    EXPECT_HR(E_FAIL, error_boundary::run(message, L"GetSubject", [] {
        throw std::runtime_error("MultiByteToWideChar has failed");
    }, &out));
    record = ErrorInfoOf();
    EXPECT_EQ(record.description, L"MultiByteToWideChar has failed");
    EXPECT_EQ(record.source, L"MXMessage.GetSubject");
}

TEST_F(ErrorBoundaryTest, Win32FailureConvertsTheStatus) {
    EXPECT_HR(0x80070005, hresult_from_win32(ERROR_ACCESS_DENIED));
    EXPECT_HR(0x800703FD, hresult_from_win32(1021));
    EXPECT_HR(0, hresult_from_win32(0));
    EXPECT_HR(-5, hresult_from_win32(-5));
    try {
        throw_win32(ERROR_FILE_NOT_FOUND);
        ADD_FAILURE() << "no throw";
    } catch (const com_error& e) {
        EXPECT_HR(0x80070002, e.hr());
        EXPECT_STRNE(e.what(), "") << "the system's text for the code";
    }
}

TEST_F(ErrorBoundaryTest, TextConversionsKeepNullAndEmbeddedCharacters) {
    EXPECT_FALSE(ansi_to_bstr(nullptr));
    unique_bstr empty = ansi_to_bstr("");
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty.length(), 0u);
    unique_bstr text = ansi_to_bstr("ab\0cd", 5);
    EXPECT_EQ(text.length(), 5u);
    EXPECT_EQ(bstr_to_ansi(text.get()), std::string("ab\0cd", 5));
    EXPECT_EQ(to_ansi(nullptr), "");
    EXPECT_EQ(to_ansi(L"plain"), "plain");
}

// A class object whose builder fails the way a constructor can.
IUnknown* FailingBuilder() { throw std::runtime_error("constructor failed"); }

TEST_F(ErrorBoundaryTest, ClassObjectReportsABuildFailureAsEFail) {
    ClassFactory factory(&FailingBuilder);
    void* out = reinterpret_cast<void*>(1);
    EXPECT_HR(E_FAIL, factory.CreateInstance(nullptr, IID_IMXFolderManager, &out));
    EXPECT_EQ(out, nullptr);
    ErrorRecord record = ErrorInfoOf();
    ASSERT_TRUE(record.present);
    EXPECT_EQ(record.source, L"ClassFactory.CreateInstance({ba6e24c0-44e7-4ce6-8d2e-232b7b140cca})");
    EXPECT_TRUE(IsEqualGUID(record.guid, IID_IUnknown)) << GuidText(record.guid);
    EXPECT_TRUE(record.description.empty());
    EXPECT_EQ(Module::Get().lock_count(), 0);
}

// The smallest automation object: IMXFolderManager answering E_NOTIMPL, with a teardown that
// fails on demand.
class Probe : public AutomationObject<Probe, IMXFolderManager> {
public:
    using MainInterface = IMXFolderManager;
    static const ClassIdentity kIdentity;
    static inline int destroyed = 0;

    explicit Probe(std::function<void()> teardown) : teardown_(std::move(teardown)) {}
    void Teardown() { teardown_(); }

    HRESULT STDMETHODCALLTYPE ActivateGlobalNotification() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetInboxFolder(::MXFolder**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetOutboxFolder(::MXFolder**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSentFolder(::MXFolder**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDeletedFolder(::MXFolder**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDraftFolder(::MXFolder**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetFolder(long, ::MXFolder**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetFirstFolder(::MXFolder**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetNextFolder(::MXFolder**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCurrentFolder(::MXFolder**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RenameFolder(long, BSTR, long*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE MoveFolder(long, long, long*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DeleteFolder(long, long*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CreateFolder(long, BSTR, long*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CopyMessage(long, long, long, long*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE MoveMessage(long, long, long, long*) override { return E_NOTIMPL; }

protected:
    ~Probe() override { ++destroyed; }

private:
    std::function<void()> teardown_;
};
const ClassIdentity Probe::kIdentity = {L"MXFolderManager", &CLSID_MXFolderManager, &IID_IMXFolderManager};

TEST_F(ErrorBoundaryTest, ReleaseRunsTheTeardownInsideABoundaryAndStillUnlocks) {
    const int destroyed = Probe::destroyed;
    Probe* probe = new Probe([] { throw com_error(E_ACCESSDENIED); });
    EXPECT_EQ(probe->AddRef(), 1u);
    EXPECT_EQ(Module::Get().lock_count(), 1);
    EXPECT_EQ(probe->Release(), 0u);
    EXPECT_EQ(Probe::destroyed, destroyed + 1);
    EXPECT_EQ(Module::Get().lock_count(), 0);
    ErrorRecord record = ErrorInfoOf();
    ASSERT_TRUE(record.present);
    EXPECT_EQ(record.source, L"Release");
    EXPECT_TRUE(IsEqualGUID(record.guid, IID_IUnknown)) << GuidText(record.guid);

    probe = new Probe([] { throw std::runtime_error("teardown text"); });
    probe->AddRef();
    EXPECT_EQ(probe->Release(), 0u);
    EXPECT_EQ(ErrorInfoOf().description, L"teardown text");
    EXPECT_EQ(Module::Get().lock_count(), 0);
}

TEST_F(ErrorBoundaryTest, InterfaceSupportsErrorInfoForAnyInterface) {
    com_ptr<IMXFolder> folder = CreateFolderObject();
    com_ptr<ISupportErrorInfo> support = folder.try_query<ISupportErrorInfo>();
    ASSERT_TRUE(support);
    EXPECT_HR(S_OK, support->InterfaceSupportsErrorInfo(IID_IMXFolder));
    EXPECT_HR(S_OK, support->InterfaceSupportsErrorInfo(IID_IClassFactory));
}

}  // namespace
}  // namespace pelkary::test
