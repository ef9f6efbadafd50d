#include "bench_script.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "comsupport/holders.h"

namespace pelkary::bench {

std::string RunCscript(const char* unix_path, const std::wstring& arguments) {
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    unique_handle read_end, write_end;
    if (!CreatePipe(read_end.put(), write_end.put(), &inherit, 0)) return "(no pipe)";
    SetHandleInformation(read_end.get(), HANDLE_FLAG_INHERIT, 0);
    std::wstring script = L"Z:";
    for (const char* p = unix_path; *p; ++p) script += *p == '/' ? L'\\' : static_cast<wchar_t>(*p);
    std::wstring command = L"cscript.exe //nologo \"" + script + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = write_end.get();
    startup.hStdError = write_end.get();
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                        &startup, &process);
    // Only the child may hold the write end now, so the reads below end when it exits.
    write_end.reset();
    if (!started) return "(cscript did not start)";
    unique_handle child(process.hProcess), thread(process.hThread);
    std::string output;
    char buffer[512];
    DWORD got = 0;
    while (ReadFile(read_end.get(), buffer, sizeof(buffer), &got, nullptr) && got > 0) output.append(buffer, got);
    WaitForSingleObject(child.get(), INFINITE);
    while (!output.empty() && (output.back() == '\n' || output.back() == '\r')) output.pop_back();
    return output;
}

void Check(const char* what, HRESULT hr) {
    if (SUCCEEDED(hr)) return;
    char program[MAX_PATH] = "bench";
    GetModuleFileNameA(nullptr, program, MAX_PATH);
    const char* name = program;
    for (const char* p = program; *p; ++p)
        if (*p == '\\' || *p == '/') name = p + 1;
    std::fprintf(stderr, "%s: %s failed (0x%08lX)\n", name, what, static_cast<unsigned long>(hr));
    std::exit(1);
}

double SecondsOf(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

namespace {

std::wstring& FreshStore() {
    static std::wstring dir;
    return dir;
}

}  // namespace

std::wstring NewTempDirectory(const wchar_t* prefix) {
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring base = std::wstring(temp) + prefix + std::to_wstring(GetCurrentProcessId()) + L"-";
    // CreateDirectory fails on a directory that is there already: only a new one is taken.
    for (unsigned n = GetTickCount();; ++n) {
        std::wstring dir = base + std::to_wstring(n);
        if (CreateDirectoryW(dir.c_str(), nullptr)) return dir;
        if (GetLastError() != ERROR_ALREADY_EXISTS) Check("creating a directory", HRESULT_FROM_WIN32(GetLastError()));
    }
}

std::wstring UseFreshStore(const wchar_t* prefix) {
    const std::wstring dir = NewTempDirectory(prefix);
    SetEnvironmentVariableW(L"MAILSTORE_DIR", dir.c_str());
    FreshStore() = dir;
    // At exit the bench has released the store; its files would otherwise pile up run after run.
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(std::filesystem::path(FreshStore()), ignored);
    });
    return dir;
}

com_ptr<IStoreNamespace> OpenStore() {
    com_ptr<IStoreNamespace> store;
    Check("creating the store namespace", CoCreateInstance(CLSID_StoreNamespace, nullptr, CLSCTX_INPROC_SERVER,
                                                           IID_IStoreNamespace, store.put_void()));
    Check("Initialize", store->Initialize(nullptr, 1));
    return store;
}

}  // namespace pelkary::bench
