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
#include "frame/class_map.h"
#include "frame/module.h"
#include "pelkary.h"

namespace pelkary {

namespace {

// Where LoadTypeLib finds a library of the module: resource 1 is the file itself, any other
// resource n the file's name followed by "\n".
std::wstring LibraryPath(const std::wstring& module, const TypeLibrary& library) {
    return library.resource == 1 ? module : module + L"\\" + std::to_wstring(library.resource);
}

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

// Every key and value of the creatable classes, class by class in the map's order. Within a class
// the subkeys come first, so that removing the keys in the same order deletes every key after its
// subkeys (the server path's key is listed twice: once for the path, once for the threading
// model). A class with a versioned ProgID registers that one as its ProgID and names it as the
// current version (CurVer) of the version-independent one.
RegistrationWriter ClassKeys(const std::wstring& path) {
    RegistrationWriter keys;
    for (const ClassInfo& c : ClassMap()) {
        if (!c.creatable()) continue;
        const wchar_t* description = c.identity->class_name;
        const std::wstring clsid = GuidText(*c.identity->clsid);
        const std::wstring clsid_key = L"CLSID\\" + clsid;
        const std::wstring prog_id = c.prog_id;
        keys.AddInprocServer(clsid_key, path, L"Apartment");
        keys.Add(clsid_key + L"\\TypeLib", L"", GuidText(*c.library->libid));
        if (c.versioned_prog_id) {
            const std::wstring versioned = c.versioned_prog_id;
            keys.Add(clsid_key + L"\\ProgID", L"", versioned);
            keys.Add(clsid_key + L"\\VersionIndependentProgID", L"", prog_id);
            keys.Add(versioned + L"\\CLSID", L"", clsid);
            keys.Add(versioned, L"", description);
            keys.Add(prog_id + L"\\CLSID", L"", clsid);
            keys.Add(prog_id + L"\\CurVer", L"", versioned);
        } else {
            keys.Add(clsid_key + L"\\ProgID", L"", prog_id);
            keys.Add(prog_id + L"\\CLSID", L"", clsid);
        }
        keys.Add(prog_id, L"", description);
        keys.Add(clsid_key, L"", description);
    }
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
        for (const TypeLibrary* library : kTypeLibraries) {
            if (!RegisterTypeLibrary(LibraryPath(module, *library))) {
                for (const TypeLibrary* written : kTypeLibraries) {
                    if (written == library) break;
                    UnregisterTypeLibrary(LibraryPath(module, *written));
                }
                return SELFREG_E_TYPELIB;
            }
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
    } catch (...) {
        UnregisterServer();
        return translate_current_exception(ErrorSource{});  // E_UNEXPECTED
    }
}

HRESULT UnregisterServer() noexcept {
    try {
        const std::wstring module = ModulePath();
        for (const TypeLibrary* library : kTypeLibraries) UnregisterTypeLibrary(LibraryPath(module, *library));
        ClassKeys(module).Remove();
    } catch (...) {
    }
    return S_OK;
}

}  // namespace pelkary

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() { return pelkary::RegisterServer(); }
extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() { return pelkary::UnregisterServer(); }
