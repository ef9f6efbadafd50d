// pelkary.dll loaded into the test process by LoadLibrary, to call its exports directly. The
// module is the registered one (the InprocServer32 path of MXFolderManager), so it is the very
// module instance the COM runtime uses: lock counts seen through DllCanUnloadNow include objects
// made with CoCreateInstance.
#pragma once

#include <string>

#include <objbase.h>

namespace pelkary::test {

// The default value of HKCR\CLSID\{clsid}\InprocServer32, or empty.
std::wstring RegisteredServerPath(REFCLSID clsid);

// The Windows path (Z:\...) of a file in the build's bin folder.
std::wstring BuiltBinaryPath(const wchar_t* file);

class ServerModule {
public:
    // Loads the registered pelkary.dll, else the one in the build's bin folder. A failure to load
    // or to find an export is a test failure (loaded() is then false).
    ServerModule();
    // Loads the given file.
    explicit ServerModule(const std::wstring& path);
    ~ServerModule();
    ServerModule(const ServerModule&) = delete;
    ServerModule& operator=(const ServerModule&) = delete;

    bool loaded() const noexcept { return module_ && get_class_object_ && can_unload_now_ && register_ && unregister_; }
    HMODULE handle() const noexcept { return module_; }
    const std::wstring& path() const noexcept { return path_; }

    HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** ppv) const { return get_class_object_(clsid, riid, ppv); }
    HRESULT CanUnloadNow() const { return can_unload_now_(); }
    HRESULT RegisterServer() const { return register_(); }
    HRESULT UnregisterServer() const { return unregister_(); }

private:
    void Load();

    using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    using PlainFn = HRESULT(STDAPICALLTYPE*)();

    std::wstring path_;
    HMODULE module_ = nullptr;
    GetClassObjectFn get_class_object_ = nullptr;
    PlainFn can_unload_now_ = nullptr;
    PlainFn register_ = nullptr;
    PlainFn unregister_ = nullptr;
};

}  // namespace pelkary::test
