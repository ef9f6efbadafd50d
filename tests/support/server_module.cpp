#include "support/server_module.h"

#include <gtest/gtest.h>

#include "pelkary.h"
#include "support/error_record.h"

namespace pelkary::test {

std::wstring BuiltBinaryPath(const wchar_t* file) {
    std::wstring path = L"Z:";
    for (const char* p = PELKARY_BIN_DIR; *p; ++p) path += *p == '/' ? L'\\' : static_cast<wchar_t>(*p);
    return path + L"\\" + file;
}

ServerModule::ServerModule() {
    wchar_t value[MAX_PATH * 2] = {};
    DWORD size = sizeof value;
    const std::string clsid = GuidText(CLSID_MXFolderManager);
    const std::wstring key = L"CLSID\\" + std::wstring(clsid.begin(), clsid.end()) + L"\\InprocServer32";
    EXPECT_EQ(ERROR_SUCCESS, RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, value, &size))
        << "pelkary.dll is not registered";
    path_ = value;
    module_ = LoadLibraryW(path_.c_str());
    EXPECT_TRUE(module_) << "LoadLibrary(" << Narrow(path_) << ") failed with " << GetLastError();
}

}  // namespace pelkary::test
