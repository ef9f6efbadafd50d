#include "support/server_module.h"

#include <gtest/gtest.h>

#include "comsupport/holders.h"
#include "pelkary.h"
#include "support/error_record.h"

namespace pelkary::test {

std::wstring RegisteredServerPath(REFCLSID clsid) {
    wchar_t guid[40] = {};
    StringFromGUID2(clsid, guid, 40);
    std::wstring key = std::wstring(L"CLSID\\") + guid + L"\\InprocServer32";
    wchar_t value[MAX_PATH * 2] = {};
    DWORD size = sizeof(value);
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS)
        return std::wstring();
    return value;
}

std::wstring BuiltBinaryPath(const wchar_t* file) {
    std::wstring path = L"Z:";
    for (const char* p = PELKARY_BIN_DIR; *p; ++p) path += *p == '/' ? L'\\' : static_cast<wchar_t>(*p);
    return path + L"\\" + file;
}

ServerModule::ServerModule() : path_(RegisteredServerPath(CLSID_MXFolderManager)) {
    if (path_.empty()) path_ = BuiltBinaryPath(L"pelkary.dll");
    Load();
}

ServerModule::ServerModule(const std::wstring& path) : path_(path) { Load(); }

namespace {

// GetProcAddress gives a generic function pointer; the export's real type is known by name.
template <typename Fn>
Fn Export(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

void ServerModule::Load() {
    module_ = LoadLibraryW(path_.c_str());
    if (!module_) {
        ADD_FAILURE() << "LoadLibrary(" << Narrow(path_) << ") failed with " << GetLastError();
        return;
    }
    get_class_object_ = Export<GetClassObjectFn>(module_, "DllGetClassObject");
    can_unload_now_ = Export<PlainFn>(module_, "DllCanUnloadNow");
    register_ = Export<PlainFn>(module_, "DllRegisterServer");
    unregister_ = Export<PlainFn>(module_, "DllUnregisterServer");
    EXPECT_TRUE(loaded()) << Narrow(path_) << " lacks one of the four exports";
}

ServerModule::~ServerModule() {
    if (module_) FreeLibrary(module_);
}

}  // namespace pelkary::test
