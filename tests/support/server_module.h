// pelkary.dll loaded into the test process by LoadLibrary, to call its exports directly. The
// module is the registered one (the InprocServer32 path of MXFolderManager), so it is the very
// module instance the COM runtime uses: lock counts seen through DllCanUnloadNow include objects
// made with CoCreateInstance.
#pragma once

#include <string>

#include <objbase.h>

namespace pelkary::test {

// The Windows path (Z:\...) of a file in the build's bin folder.
std::wstring BuiltBinaryPath(const wchar_t* file);

class ServerModule {
public:
    // Loads the registered pelkary.dll; a failure to load or to find an export is a test failure
    // (loaded() is then false).
    ServerModule();
    ~ServerModule();
    ServerModule(const ServerModule&) = delete;
    ServerModule& operator=(const ServerModule&) = delete;

    bool loaded() const noexcept { return module_ && get_class_object_ && can_unload_now_ && register_ && unregister_; }
    const std::wstring& path() const noexcept { return path_; }

    HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** ppv) const {
        return get_class_object_(clsid, riid, ppv);
    }
    HRESULT CanUnloadNow() const { return can_unload_now_(); }
    HRESULT RegisterServer() const { return register_(); }
    HRESULT UnregisterServer() const { return unregister_(); }

private:
    std::wstring path_;
    HMODULE module_ = nullptr;
    HRESULT(STDAPICALLTYPE* get_class_object_)(REFCLSID, REFIID, void**) = nullptr;
    HRESULT(STDAPICALLTYPE* can_unload_now_)() = nullptr;
    HRESULT(STDAPICALLTYPE* register_)() = nullptr;
    HRESULT(STDAPICALLTYPE* unregister_)() = nullptr;
};

}  // namespace pelkary::test
