// The error model at the edge of every method, driven in-process through the frame's own code
// (the boundary, the class objects' failure path and the teardown in Release) with the real error
// objects of the COM runtime.
#include <new>
#include <stdexcept>

#include "support/server_internals.h"
#include "support/test_support.h"

namespace pelkary::test {
namespace {

const ClassIdentity kFolder = {L"MXFolder", &CLSID_MXFolder, &IID_IMXFolder};
const ClassIdentity kMessage = {L"MXMessage", &CLSID_MXMessage, &IID_IMXMessage};

class ErrorBoundaryTest : public ::testing::Test {
protected:
    void SetUp() override { SetErrorInfo(0, nullptr); }
    ComApartment apartment_;
    TempStore store_;
};

void ExpectError(const wchar_t* source, const wchar_t* description, REFGUID guid, Here at = Here::Caller()) {
    ::testing::ScopedTrace trace(at.file, at.line, "error object");
    ErrorRecord record = ErrorInfoOf();
    ASSERT_TRUE(record.present);
    EXPECT_EQ(record.source, source);
    EXPECT_EQ(record.description, description);
    EXPECT_EQ(GuidText(record.guid), GuidText(guid));
}

TEST_F(ErrorBoundaryTest, OutValuesStartNullAndASuccessLeavesTheErrorObjectAlone) {
    SetMarkerErrorInfo(L"marker");
    long value = 0;
    bool ran = false;
    EXPECT_HR(E_POINTER, error_boundary::run(kFolder, L"GetFirstChild", [&] { ran = true; }, &value,
                                             static_cast<BSTR*>(nullptr)));
    EXPECT_FALSE(ran) << "a null out-pointer refuses the call before its work";
    BSTR text = reinterpret_cast<BSTR>(0x1234);
    IUnknown* object = reinterpret_cast<IUnknown*>(0x1234);
    EXPECT_HR(S_OK, error_boundary::run(kFolder, L"Name", [&] { EXPECT_TRUE(!text && !object); }, &text, &object));
    EXPECT_EQ(ErrorInfoOf().source, L"marker") << "neither a refusal nor a success touches the error object";
}

TEST_F(ErrorBoundaryTest, ThrownFailuresBecomeTheirCodeWithClassAndMethodAsSource) {
    BSTR out = nullptr;
    EXPECT_HR(REGDB_E_CLASSNOTREG, error_boundary::run(kFolder, L"GetFirstChild", [] {
        throw com_error(REGDB_E_CLASSNOTREG);
    }, &out));
    ExpectError(L"MXFolder.GetFirstChild", L"", IID_IMXFolder);

    EXPECT_HR(E_FAIL, error_boundary::run(kMessage, L"GetBodyText", [] { throw std::bad_alloc(); }, &out));
    ExpectError(L"MXMessage.GetBodyText", L"bad allocation", IID_IMXMessage);
    EXPECT_HR(E_FAIL, error_boundary::run(kMessage, L"GetSubject", [] {
        throw std::runtime_error("MultiByteToWideChar has failed");
    }, &out));
    ExpectError(L"MXMessage.GetSubject", L"MultiByteToWideChar has failed", IID_IMXMessage);
    // Nothing leaves a method, not even what is no standard exception.
    EXPECT_HR(E_UNEXPECTED, error_boundary::run(kFolder, L"GetName", [] { throw 7; }, &out));
    ExpectError(L"MXFolder.GetName", L"", IID_IMXFolder);
}

TEST_F(ErrorBoundaryTest, ACalleesErrorObjectPassesThroughUnchanged) {
    com_ptr<IMXMessage> inner = CreateMessageObject();
    ASSERT_TRUE(inner);
    long result = 0;
    // Without an error object of the callee, the outer method is the source.
    EXPECT_HR(E_ACCESSDENIED, error_boundary::run(kFolder, L"DeleteMessage", [&] {
        check_callee(inner.get(), E_ACCESSDENIED);
    }, &result));
    ExpectError(L"MXFolder.DeleteMessage", L"", IID_IMXFolder);

    com_ptr<ICreateErrorInfo> create;
    ASSERT_HR(S_OK, CreateErrorInfo(create.put()));
    create->SetSource(const_cast<LPOLESTR>(L"MXMessage.Delete"));
    create->SetDescription(const_cast<LPOLESTR>(L"inner text"));
    create->SetGUID(IID_IMXMessage);
    SetErrorInfo(0, create.try_query<IErrorInfo>().get());
    EXPECT_HR(E_ACCESSDENIED, error_boundary::run(kFolder, L"DeleteMessage", [&] {
        check_callee(inner.get(), E_ACCESSDENIED);
    }, &result));
    ExpectError(L"MXMessage.Delete", L"inner text", IID_IMXMessage);
}

IUnknown* FailingBuilder() { throw std::runtime_error("constructor failed"); }

TEST_F(ErrorBoundaryTest, AClassObjectReportsABuildFailureAsEFail) {
    ClassFactory factory(&FailingBuilder);
    void* out = reinterpret_cast<void*>(1);
    EXPECT_HR(E_FAIL, factory.CreateInstance(nullptr, IID_IMXFolderManager, &out));
    EXPECT_EQ(out, nullptr);
    ExpectError(L"ClassFactory.CreateInstance({ba6e24c0-44e7-4ce6-8d2e-232b7b140cca})", L"", IID_IUnknown);
    EXPECT_EQ(Module::Get().lock_count(), 0);
}

// The smallest automation object (an event interface has no methods of its own), with a
// teardown that throws.
class Probe : public AutomationObject<Probe, IMXFolderEvents> {
public:
    static const ClassIdentity kIdentity;
    explicit Probe(std::exception_ptr failure) : failure_(failure) {}
    void Teardown() { std::rethrow_exception(failure_); }

private:
    std::exception_ptr failure_;
};
const ClassIdentity Probe::kIdentity = {L"Probe", &CLSID_MXFolder, &DIID_IMXFolderEvents};

TEST_F(ErrorBoundaryTest, ReleaseTearsDownInsideABoundaryAndStillUnlocks) {
    Probe* probe = new Probe(std::make_exception_ptr(com_error(E_ACCESSDENIED)));
    EXPECT_EQ(probe->AddRef(), 1u);
    EXPECT_EQ(Module::Get().lock_count(), 1);
    EXPECT_EQ(probe->Release(), 0u);
    EXPECT_EQ(Module::Get().lock_count(), 0);
    ExpectError(L"Release", L"", IID_IUnknown);

    probe = new Probe(std::make_exception_ptr(std::runtime_error("teardown text")));
    probe->AddRef();
    EXPECT_EQ(probe->Release(), 0u);
    EXPECT_EQ(ErrorInfoOf().description, L"teardown text");
    EXPECT_EQ(Module::Get().lock_count(), 0);
}

}  // namespace
}  // namespace pelkary::test
