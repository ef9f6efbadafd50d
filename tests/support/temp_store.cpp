#include "support/temp_store.h"

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include <gtest/gtest.h>

namespace pelkary::test {

TempStore::TempStore() {
    if (DWORD n = GetEnvironmentVariableW(L"MAILSTORE_DIR", nullptr, 0)) {
        previous_.emplace(n, L'\0');
        previous_->resize(GetEnvironmentVariableW(L"MAILSTORE_DIR", previous_->data(), n));
    }
    wchar_t temp[MAX_PATH + 1] = {};
    DWORD n = GetTempPathW(MAX_PATH, temp);
    EXPECT_GT(n, 0u) << "GetTempPathW failed";
    // Process id, tick count and a counter keep parallel runs and repeated tests apart.
    static LONG counter = 0;
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
        std::wstring candidate = std::wstring(temp) + L"pelkary-store-" + std::to_wstring(GetCurrentProcessId()) +
                                 L"-" + std::to_wstring(GetTickCount()) + L"-" +
                                 std::to_wstring(InterlockedIncrement(&counter));
        if (CreateDirectoryW(candidate.c_str(), nullptr)) path_ = candidate;
    }
    EXPECT_FALSE(path_.empty()) << "could not create a temporary store directory";
    EXPECT_TRUE(SetEnvironmentVariableW(L"MAILSTORE_DIR", path_.c_str()));
}

TempStore::~TempStore() {
    SetEnvironmentVariableW(L"MAILSTORE_DIR", previous_ ? previous_->c_str() : nullptr);
    if (path_.empty()) return;
    std::error_code error;
    std::filesystem::remove_all(std::filesystem::path(path_), error);
    EXPECT_FALSE(error) << "could not remove the temporary store (still open?): " << error.message();
}

std::string FileBytes(const std::wstring& path) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return in ? bytes.str() : "<no file>";
}

}  // namespace pelkary::test
