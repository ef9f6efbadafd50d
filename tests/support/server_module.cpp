#include "support/server_module.h"

#include <gtest/gtest.h>

#include "comsupport/holders.h"
#include "pelkary.h"
#include "support/error_record.h"

namespace pelkary::test {

std::wstring BuiltBinaryPath(const wchar_t* file) {
    std::wstring path = L"Z:";
    for (const char* p = PELKARY_BIN_DIR; *p; ++p) path += *p == '/' ? L'\\' : static_cast<wchar_t>(*p);
    return path + L"\\" + file;
}

namespace {

// GetProcAddress gives a generic function pointer; the export's real type is known by name.
template <typename Fn>
void Export(HMODULE module, const char* name, Fn* out) {
    *out = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

ServerModule::ServerModule() {
    wchar_t value[MAX_PATH * 2] = {};
    DWORD size = sizeof value;
    const std::string clsid = GuidText(CLSID_MXFolderManager);
    const std::wstring key = L"CLSID\\" + std::wstring(clsid.begin(), clsid.end()) + L"\\InprocServer32";
    const LONG status = RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, value, &size);
    EXPECT_EQ(ERROR_SUCCESS, status) << "pelkary.dll is not registered";
    path_ = value;
    module_ = LoadLibraryW(path_.c_str());
    if (!module_) {
        ADD_FAILURE() << "LoadLibrary(" << Narrow(path_) << ") failed with " << GetLastError();
        return;
    }
    Export(module_, "DllGetClassObject", &get_class_object_);
    Export(module_, "DllCanUnloadNow", &can_unload_now_);
    Export(module_, "DllRegisterServer", &register_);
    Export(module_, "DllUnregisterServer", &unregister_);
    EXPECT_TRUE(loaded()) << Narrow(path_) << " lacks one of the four exports";
}

ServerModule::~ServerModule() {
    if (module_) FreeLibrary(module_);
}

}  // namespace pelkary::test
