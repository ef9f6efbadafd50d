// The parts of the test support that other tests lean on without seeing them: the sink's
// argument order and its verdicts, and the store directory's export and removal.
#include <gtest/gtest-spi.h>

#include "support/test_support.h"

namespace pelkary::test {
namespace {

// Invokes `sink` the way a connection point fires an event: arguments in reverse order.
HRESULT Fire(IDispatch* sink, DISPID id, std::vector<long> args) {
    std::vector<VARIANT> reversed(args.size());
    for (size_t i = 0; i < args.size(); ++i) {
        VariantInit(&reversed[args.size() - 1 - i]);
        V_VT(&reversed[args.size() - 1 - i]) = VT_I4;
        V_I4(&reversed[args.size() - 1 - i]) = args[i];
    }
    DISPPARAMS params = {reversed.data(), nullptr, static_cast<UINT>(args.size()), 0};
    return sink->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
}

TEST(RecordingSinkTest, RecordsArgumentsInDeclarationOrderAndAnswersItsInterfaces) {
    ComApartment apartment;
    auto sink = RecordingSink::Create(DIID_IMXFolderManagerEvents);
    sink->Expect(6);
    sink->set_result(E_UNEXPECTED);
    int hooked = 0;
    sink->set_hook([&](const SinkCall& call) { hooked += call.dispid; });
    EXPECT_HR(E_UNEXPECTED, Fire(sink.get(), 6, {12, 34}));
    ASSERT_EQ(sink->calls().size(), 1u);
    EXPECT_EQ(sink->calls()[0], (SinkCall{6, {12, 34}}));
    EXPECT_EQ(hooked, 6);
    sink->VerifyExpected();

    com_ptr<IUnknown> events;
    EXPECT_HR(S_OK, sink->QueryInterface(DIID_IMXFolderManagerEvents, events.put_void()));
    com_ptr<IUnknown> other;
    EXPECT_HR(E_NOINTERFACE, sink->QueryInterface(DIID_IMXFolderEvents, other.put_void()));
}

TEST(RecordingSinkTest, FailsOnUnexpectedCallsAndMissingExpectedOnes) {
    auto sink = RecordingSink::Create(DIID_IMXFolderEvents, "folder sink");
    sink->Allow(1);
    Fire(sink.get(), 1, {5});
    EXPECT_NONFATAL_FAILURE(Fire(sink.get(), 2, {7}), "folder sink: unexpected call: event 2(7)");
    sink->Expect(3);
    EXPECT_NONFATAL_FAILURE(sink->VerifyExpected(), "expected event 3 never arrived");
}

TEST(TempStoreTest, ExportsAFreshDirectoryAndRemovesIt) {
    SetEnvironmentVariableW(L"MAILSTORE_DIR", L"C:\\before");
    std::wstring path;
    {
        TempStore store;
        path = store.path();
        wchar_t value[MAX_PATH] = {};
        ASSERT_GT(GetEnvironmentVariableW(L"MAILSTORE_DIR", value, MAX_PATH), 0u);
        EXPECT_EQ(path, value);
        EXPECT_NE(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
        TempStore second;
        EXPECT_NE(second.path(), path);
        // Something inside, as a store would leave.
        CloseHandle(CreateFileW((path + L"\\index").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    }
    EXPECT_EQ(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
    wchar_t value[MAX_PATH] = {};
    GetEnvironmentVariableW(L"MAILSTORE_DIR", value, MAX_PATH);
    EXPECT_STREQ(value, L"C:\\before");
    SetEnvironmentVariableW(L"MAILSTORE_DIR", nullptr);
}

bool g_timer_fired = false;
void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD) { g_timer_fired = true; }

TEST(MessagePumpTest, DispatchesPostedMessagesUntilTheConditionHolds) {
    // A thread timer's callback runs only when the loop dispatches its WM_TIMER.
    UINT_PTR timer = SetTimer(nullptr, 0, 10, &OnTimer);
    ASSERT_NE(timer, 0u);
    EXPECT_TRUE(PumpUntil([] { return g_timer_fired; }, 2000));
    KillTimer(nullptr, timer);
    EXPECT_FALSE(PumpUntil([] { return false; }, 30));
}

TEST(ScriptRunnerTest, ReportsExitCodeAndOutput) {
    ScriptResult vbs = RunScript("WScript.Echo \"hello\"\r\nWScript.Quit 3\r\n", L".vbs");
    EXPECT_FALSE(vbs.timed_out);
    EXPECT_EQ(vbs.exit_code, 3u);
    EXPECT_NE(vbs.output.find("hello"), std::string::npos) << vbs.output;
    ScriptResult js = RunScript("WScript.Echo(1 + 1);\r\n", L".js");
    EXPECT_EQ(js.exit_code, 0u);
    EXPECT_NE(js.output.find("2"), std::string::npos) << js.output;
}

}  // namespace
}  // namespace pelkary::test
