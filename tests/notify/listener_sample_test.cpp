// The event listener sample, built from the SDK alone with its README's build line
// (build_listener_from_sdk.sh) and run as a user runs it: in a process of its own, while mxstore
// delivers a message into the Inbox from another process.
#include <filesystem>
#include <fstream>

#include "support/test_support.h"

namespace pelkary::test {
namespace {

// Starts `command` with its output and errors going to `output`.
unique_handle Start(std::wstring command, const std::wstring& output) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    unique_hfile out(CreateFileW(output.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                 CREATE_ALWAYS, 0, nullptr));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = out.get();
    PROCESS_INFORMATION info{};
    EXPECT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info));
    unique_handle thread(info.hThread);
    return unique_handle(info.hProcess);
}

DWORD ExitCode(HANDLE process) {
    DWORD code = STILL_ACTIVE;
    if (WaitForSingleObject(process, 60000) == WAIT_OBJECT_0) GetExitCodeProcess(process, &code);
    return code;
}

TEST(ListenerSample, PrintsTheEventsOfMailDeliveredByAnotherProcess) {
    ComApartment apartment;
    TempStore store;
    const std::wstring out = store.path() + L"\\listener.txt", eml = store.path() + L"\\hello.eml";
    std::ofstream(std::filesystem::path(eml), std::ios::binary)
        << "From: a@example.com\r\nTo: b@example.com\r\nSubject: hello\r\n\r\nHello.\r\n";
    unique_handle listener =
        Start(L"\"" + BuiltBinaryPath(L"listener.exe") + L"\" --seconds 60 --exit-after-new 1", out);
    ASSERT_TRUE(PumpUntil([&] { return FileBytes(out).find("listening") != std::string::npos; }, 30000))
        << FileBytes(out);
    Sleep(1000);  // mail that comes during the listener's first scan counts as already seen
    unique_handle importer = Start(L"\"" + BuiltBinaryPath(L"mxstore.exe") + L"\" import Inbox \"" + eml + L"\"",
                                   store.path() + L"\\import.txt");
    EXPECT_EQ(ExitCode(importer.get()), 0u) << FileBytes(store.path() + L"\\import.txt");
    const DWORD code = ExitCode(listener.get());
    if (code == STILL_ACTIVE) TerminateProcess(listener.get(), 1);
    const std::string printed = FileBytes(out);
    EXPECT_EQ(code, 0u) << printed;
    for (const char* line : {"(Inbox): message ", "manager: unread count changed: folder ",
                             "manager: new unread message "})
        EXPECT_NE(printed.find(line), std::string::npos) << printed;
}

}  // namespace
}  // namespace pelkary::test
