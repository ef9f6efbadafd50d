#include "support/script_runner.h"

#include <gtest/gtest.h>

#include "comsupport/holders.h"

namespace pelkary::test {

namespace {

std::wstring WriteScriptFile(const std::string& text, const wchar_t* ext) {
    wchar_t dir[MAX_PATH + 1] = {};
    wchar_t name[MAX_PATH + 1] = {};
    if (!GetTempPathW(MAX_PATH, dir) || !GetTempFileNameW(dir, L"pks", 0, name)) return std::wstring();
    DeleteFileW(name);  // GetTempFileNameW created it without the extension cscript needs
    std::wstring path = std::wstring(name) + ext;
    unique_hfile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return std::wstring();
    DWORD written = 0;
    if (!WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
        written != text.size())
        return std::wstring();
    return path;
}

void DrainPipe(HANDLE pipe, std::string& out) {
    DWORD available = 0;
    while (PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
        char buffer[4096];
        DWORD read = 0;
        if (!ReadFile(pipe, buffer, available < sizeof buffer ? available : sizeof buffer, &read, nullptr) || !read)
            return;
        out.append(buffer, read);
    }
}

}  // namespace

ScriptResult RunScript(const std::string& text, const wchar_t* ext, DWORD timeout_ms) {
    ScriptResult result;
    const std::wstring script = WriteScriptFile(text, ext);
    if (script.empty()) {
        ADD_FAILURE() << "could not write the script file";
        return result;
    }
    auto remove_script = scope_exit([&] { DeleteFileW(script.c_str()); });

    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    unique_handle read_end, write_end;
    if (!CreatePipe(read_end.put(), write_end.put(), &inherit, 0)) {
        ADD_FAILURE() << "CreatePipe failed";
        return result;
    }
    SetHandleInformation(read_end.get(), HANDLE_FLAG_INHERIT, 0);

    wchar_t system[MAX_PATH + 1] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(system) + L"\\cscript.exe\" //nologo \"" + script + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = write_end.get();
    startup.hStdError = write_end.get();
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        ADD_FAILURE() << "could not start cscript: error " << GetLastError();
        return result;
    }
    unique_handle process_handle(process.hProcess), thread_handle(process.hThread);
    write_end.reset();  // the child holds the only write end now

    const DWORD deadline = GetTickCount() + timeout_ms;
    for (;;) {
        DrainPipe(read_end.get(), result.output);
        if (WaitForSingleObject(process_handle.get(), 20) == WAIT_OBJECT_0) break;
        if (static_cast<LONG>(deadline - GetTickCount()) <= 0) {
            TerminateProcess(process_handle.get(), 0xFFFFFFFF);
            WaitForSingleObject(process_handle.get(), 5000);
            result.timed_out = true;
            break;
        }
    }
    DrainPipe(read_end.get(), result.output);
    GetExitCodeProcess(process_handle.get(), &result.exit_code);
    return result;
}

}  // namespace pelkary::test
