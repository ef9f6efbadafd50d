#include "frame/registration.h"

#include <exception>
#include <sstream>
#include <string>

#include <olectl.h>

#include "comsupport/com_error.h"
#include "comsupport/com_ptr.h"
#include "comsupport/error_boundary.h"
#include "comsupport/registration_writer.h"
#include "comsupport/text.h"
#include "frame/module.h"
#include "pelkary.h"
#include "pelkary_scripting.h"

namespace pelkary {

const ClassRegistration kClassRegistrations[3] = {
    {&CLSID_MXMessage, L"MXMessage", L"PELKARY.MXMessage"},
    {&CLSID_MXFolder, L"MXFolder", L"PELKARY.MXFolder"},
    {&CLSID_MXFolderManager, L"MXFolderManager", L"PELKARY.MXFolderManager"},
};

namespace {

// The scripting library's class: a versioned ProgID and the version-independent one that scripts
// use, which names the current version (CurVer).
constexpr wchar_t kStoreDescription[] = L"MXStore";
constexpr wchar_t kStoreProgId[] = L"PELKARY.MXStore.1";
constexpr wchar_t kStoreIndependentProgId[] = L"PELKARY.MXStore";

// Where LoadTypeLib finds each library: the module's file is resource 1, "\2" after it resource 2.
std::wstring PublishedLibrary(const std::wstring& module) { return module; }
std::wstring ScriptingLibrary(const std::wstring& module) { return module + L"\\2"; }

// The module's file name, wide, so that a folder whose name the ANSI code page cannot hold is
// registered as it is.
std::wstring ModulePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(Module::Get().instance(), path.data(), static_cast<DWORD>(path.size()));
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

// Upper-case braced form, as StringFromCLSID writes it.
std::wstring GuidText(const GUID& guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

// Every class key and value, class by class in table order. Within a class the subkeys come
// first, so that removing the keys in the same order deletes every key after its subkeys (the
// server path's key is listed twice: once for the path, once for the threading model).
RegistrationWriter ClassKeys(const std::wstring& path) {
    const std::wstring libid = GuidText(LIBID_PELKARY);
    RegistrationWriter keys;
    for (const ClassRegistration& c : kClassRegistrations) {
        const std::wstring clsid = GuidText(*c.clsid);
        const std::wstring clsid_key = L"CLSID\\" + clsid;
        keys.AddInprocServer(clsid_key, path, L"Apartment");
        keys.Add(clsid_key + L"\\TypeLib", L"", libid);
        keys.Add(clsid_key + L"\\ProgID", L"", c.prog_id);
        keys.Add(std::wstring(c.prog_id) + L"\\CLSID", L"", clsid);
        keys.Add(c.prog_id, L"", c.description);
        keys.Add(clsid_key, L"", c.description);
    }
    const std::wstring store = GuidText(CLSID_MXStore);
    const std::wstring store_key = L"CLSID\\" + store;
    keys.AddInprocServer(store_key, path, L"Apartment");
    keys.Add(store_key + L"\\TypeLib", L"", GuidText(LIBID_PELKARY_SCRIPTING));
    keys.Add(store_key + L"\\ProgID", L"", kStoreProgId);
    keys.Add(store_key + L"\\VersionIndependentProgID", L"", kStoreIndependentProgId);
    keys.Add(std::wstring(kStoreProgId) + L"\\CLSID", L"", store);
    keys.Add(kStoreProgId, L"", kStoreDescription);
    keys.Add(std::wstring(kStoreIndependentProgId) + L"\\CLSID", L"", store);
    keys.Add(std::wstring(kStoreIndependentProgId) + L"\\CurVer", L"", kStoreProgId);
    keys.Add(kStoreIndependentProgId, L"", kStoreDescription);
    keys.Add(store_key, L"", kStoreDescription);
    return keys;
}

// Loads the library at `path` and registers it (its interface keys with it). False on failure.
bool RegisterTypeLibrary(const std::wstring& path) {
    com_ptr<ITypeLib> library;
    return SUCCEEDED(LoadTypeLib(path.c_str(), library.put())) && library &&
           SUCCEEDED(RegisterTypeLib(library.get(), const_cast<LPOLESTR>(path.c_str()), nullptr));
}

void UnregisterTypeLibrary(const std::wstring& path) noexcept {
    com_ptr<ITypeLib> library;
    if (FAILED(LoadTypeLib(path.c_str(), library.put())) || !library) return;
    TLIBATTR* attr = nullptr;
    if (FAILED(library->GetLibAttr(&attr)) || !attr) return;
    if (RegistrationWriter::RegisteredInOtherView(L"CLSID\\" + GuidText(CLSID_MXFolderManager))) {
        // The other architecture's registration shares the library's key and the interface keys
        // (one for both registry views); only this architecture's own path goes.
        std::wostringstream key;  // TypeLib\{libid}\major.minor\lcid\win32, the numbers in hex
        key << L"TypeLib\\" << GuidText(attr->guid) << std::hex << L"\\" << attr->wMajorVerNum << L"."
            << attr->wMinorVerNum << L"\\" << attr->lcid << (attr->syskind == SYS_WIN64 ? L"\\win64" : L"\\win32");
        RegDeleteKeyW(HKEY_CLASSES_ROOT, key.str().c_str());
    } else {
        UnRegisterTypeLib(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid, attr->syskind);
    }
    library->ReleaseTLibAttr(attr);
}

}  // namespace

HRESULT RegisterServer() noexcept {
    try {
        const std::wstring module = ModulePath();
        if (!RegisterTypeLibrary(PublishedLibrary(module))) return SELFREG_E_TYPELIB;
        if (!RegisterTypeLibrary(ScriptingLibrary(module))) {
            UnregisterTypeLibrary(PublishedLibrary(module));
            return SELFREG_E_TYPELIB;
        }
        ClassKeys(module).Write();
        return S_OK;
    } catch (const com_error&) {
        UnregisterServer();
        // The error object carries only what the exception carries: no source or GUID of its own.
        return translate_current_exception(ErrorSource{});
    } catch (const std::exception& e) {
        UnregisterServer();
        OutputDebugStringA(e.what());
        return E_FAIL;
    }
}

HRESULT UnregisterServer() noexcept {
    try {
        const std::wstring module = ModulePath();
        UnregisterTypeLibrary(PublishedLibrary(module));
        UnregisterTypeLibrary(ScriptingLibrary(module));
        ClassKeys(module).Remove();
    } catch (const std::exception&) {
    }
    return S_OK;
}

}  // namespace pelkary

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() { return pelkary::RegisterServer(); }
extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() { return pelkary::UnregisterServer(); }
