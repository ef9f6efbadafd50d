// The event listener sample, run as a user runs it: in a process of its own, while mxstore
// delivers a message into the Inbox from another process.
#include <string>

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace pelkary {
namespace {

// A child process whose standard output and error go into a file.
struct Child {
    unique_handle process;
    DWORD ExitCode(DWORD wait_ms) {
        if (WaitForSingleObject(process.get(), wait_ms) != WAIT_OBJECT_0) return STILL_ACTIVE;
        DWORD code = 1;
        GetExitCodeProcess(process.get(), &code);
        return code;
    }
};

Child Start(std::wstring command, const std::wstring& output_file) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    unique_hfile output(CreateFileW(output_file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                    CREATE_ALWAYS, 0, nullptr));
    EXPECT_TRUE(output);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = output.get();
    startup.hStdError = output.get();
    PROCESS_INFORMATION info{};
    EXPECT_TRUE(CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info));
    Child child;
    child.process.reset(info.hProcess);
    if (info.hThread) CloseHandle(info.hThread);
    return child;
}

std::string ReadAll(const std::wstring& file) {
    unique_hfile f(CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                               0, nullptr));
    std::string text;
    if (!f) return text;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(f.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) text.append(buffer, got);
    return text;
}

TEST(ListenerSample, PrintsTheEventsOfMailDeliveredByAnotherProcess) {
    test::ComApartment apartment;
    test::TempStore store;
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring out = std::wstring(temp) + L"pelkary-listener.txt";
    const std::wstring eml = std::wstring(temp) + L"pelkary-listener.eml";
    auto cleanup = scope_exit([&] {
        DeleteFileW(out.c_str());
        DeleteFileW(eml.c_str());
    });
    {
        unique_hfile file(CreateFileW(eml.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(file);
        const std::string text = "From: a@example.com\r\nTo: b@example.com\r\nSubject: hello\r\n\r\nHello.\r\n";
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr));
    }

    Child listener = Start(L"\"" + test::BuiltBinaryPath(L"listener.exe") + L"\" --seconds 60 --exit-after-new 1", out);
    ASSERT_TRUE(test::PumpUntil([&] { return ReadAll(out).find("listening") != std::string::npos; }, 30000))
        << ReadAll(out);
    // The listener's session first records what the store holds; mail that comes during that
    // scan counts as already seen.
    Sleep(1000);
    std::wstring import = L"\"" + test::BuiltBinaryPath(L"mxstore.exe") + L"\" import Inbox \"" + eml + L"\"";
    const std::wstring import_out = std::wstring(temp) + L"pelkary-listener-import.txt";
    Child importer = Start(import, import_out);
    EXPECT_EQ(importer.ExitCode(60000), 0u) << ReadAll(import_out);
    DeleteFileW(import_out.c_str());

    const DWORD code = listener.ExitCode(60000);
    const std::string printed = ReadAll(out);
    if (code == STILL_ACTIVE) TerminateProcess(listener.process.get(), 1);
    EXPECT_EQ(code, 0u) << printed;
    EXPECT_NE(printed.find("(Inbox): message "), std::string::npos) << printed;
    EXPECT_NE(printed.find("manager: unread count changed: folder "), std::string::npos) << printed;
    EXPECT_NE(printed.find("manager: new unread message "), std::string::npos) << printed;
}

}  // namespace
}  // namespace pelkary
