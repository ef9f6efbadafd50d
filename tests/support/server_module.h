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
    // Loads the registered pelkary.dll; a failure to load is a test failure (loaded() is then false).
    ServerModule();
    ~ServerModule() {
        if (module_) FreeLibrary(module_);
    }
    ServerModule(const ServerModule&) = delete;
    ServerModule& operator=(const ServerModule&) = delete;

    bool loaded() const noexcept { return module_ != nullptr; }
    const std::wstring& path() const noexcept { return path_; }

    HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** ppv) const {
        return Export<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>("DllGetClassObject")(clsid, riid, ppv);
    }
    HRESULT CanUnloadNow() const { return Export<HRESULT(STDAPICALLTYPE*)()>("DllCanUnloadNow")(); }
    HRESULT RegisterServer() const { return Export<HRESULT(STDAPICALLTYPE*)()>("DllRegisterServer")(); }
    HRESULT UnregisterServer() const { return Export<HRESULT(STDAPICALLTYPE*)()>("DllUnregisterServer")(); }

private:
    // GetProcAddress gives a generic function pointer; the export's real type is known by name.
    template <typename Fn>
    Fn Export(const char* name) const {
        return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
    }

    std::wstring path_;
    HMODULE module_ = nullptr;
};

}  // namespace pelkary::test
