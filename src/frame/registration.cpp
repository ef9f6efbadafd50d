#include "frame/registration.h"

#include <cstdlib>
#include <exception>
#include <string>

#include "frame/error_boundary.h"
#include "frame/module.h"
#include "frame/text.h"
#include "pelkary.h"

#include <olectl.h>

namespace pelkary {

const ClassRegistration kClassRegistrations[3] = {
    {&CLSID_MXMessage, "MXMessage", "PELKARY.MXMessage"},
    {&CLSID_MXFolder, "MXFolder", "PELKARY.MXFolder"},
    {&CLSID_MXFolderManager, "MXFolderManager", "PELKARY.MXFolderManager"},
};

namespace {

std::string ModulePath() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(Module::Get().instance(), path, MAX_PATH);
    return path;
}

// Upper-case braced form, as StringFromCLSID writes it, in the ANSI code page.
std::string GuidText(const GUID& guid) {
    unique_cotaskmem<wchar_t> text;
    check_hr(StringFromCLSID(guid, text.put()));
    return to_ansi(text.get());
}

// Creates `key` (with its parents) and sets one REG_SZ value, terminator included.
void SetValue(const std::string& key, const char* name, const std::string& data) {
    unique_hkey handle;
    LONG status = RegCreateKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  handle.put(), nullptr);
    if (status != ERROR_SUCCESS) throw_win32(status);
    status = RegSetValueExA(handle.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                            static_cast<DWORD>(data.size() + 1));
    if (status != ERROR_SUCCESS) throw_win32(status);
}

void DeleteKey(const std::string& key) { RegDeleteKeyA(HKEY_CLASSES_ROOT, key.c_str()); }

void RegisterClass(const ClassRegistration& c, const std::string& module, const std::string& libid) {
    const std::string clsid_key = "CLSID\\" + GuidText(*c.clsid);
    SetValue(clsid_key + "\\InprocServer32", "", module);
    SetValue(clsid_key + "\\InprocServer32", "ThreadingModel", "Apartment");
    SetValue(clsid_key + "\\TypeLib", "", libid);
    SetValue(clsid_key + "\\ProgID", "", c.prog_id);
    SetValue(std::string(c.prog_id) + "\\CLSID", "", GuidText(*c.clsid));
    SetValue(c.prog_id, "", c.description);
    SetValue(clsid_key, "", c.description);
}

void UnregisterClass(const ClassRegistration& c) {
    const std::string clsid_key = "CLSID\\" + GuidText(*c.clsid);
    // Subkeys first: RegDeleteKeyA removes only keys without subkeys. The key of the threading
    // model's value is the same as the server path's, so the second deletion finds nothing.
    DeleteKey(clsid_key + "\\InprocServer32");
    DeleteKey(clsid_key + "\\InprocServer32");
    DeleteKey(clsid_key + "\\TypeLib");
    DeleteKey(clsid_key + "\\ProgID");
    DeleteKey(std::string(c.prog_id) + "\\CLSID");
    DeleteKey(c.prog_id);
    DeleteKey(clsid_key);
}

std::wstring WidePath(const std::string& path) {
    wchar_t wide[MAX_PATH + 1] = {};
    mbstowcs(wide, path.c_str(), MAX_PATH);
    return wide;
}

void UnregisterTypeLibrary(const std::string& module) noexcept {
    com_ptr<ITypeLib> library;
    if (FAILED(LoadTypeLib(WidePath(module).c_str(), library.put())) || !library) return;
    TLIBATTR* attr = nullptr;
    if (FAILED(library->GetLibAttr(&attr)) || !attr) return;
    UnRegisterTypeLib(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid, attr->syskind);
    library->ReleaseTLibAttr(attr);
}

}  // namespace

HRESULT RegisterServer() noexcept {
    try {
        const std::string module = ModulePath();
        {
            std::wstring path = WidePath(module);
            com_ptr<ITypeLib> library;
            if (FAILED(LoadTypeLib(path.c_str(), library.put())) || !library ||
                FAILED(RegisterTypeLib(library.get(), const_cast<LPOLESTR>(path.c_str()), nullptr)))
                return SELFREG_E_TYPELIB;
        }
        const std::string libid = GuidText(LIBID_PELKARY);
        for (const ClassRegistration& c : kClassRegistrations) RegisterClass(c, module, libid);
        return S_OK;
    } catch (const com_error& e) {
        UnregisterServer();
        try {
            unique_bstr description = e.description();
            unique_bstr source = e.source();
            unique_bstr help_file = e.help_file();
            return set_error_object(e.hr(), description.get(), source.get(), e.guid(), help_file.get(),
                                    e.help_context());
        } catch (const std::exception&) {
            return e.hr();
        }
    } catch (const std::exception& e) {
        UnregisterServer();
        OutputDebugStringA(e.what());
        return E_FAIL;
    }
}

HRESULT UnregisterServer() noexcept {
    try {
        const std::string module = ModulePath();
        UnregisterTypeLibrary(module);
        for (const ClassRegistration& c : kClassRegistrations) {
            try {
                UnregisterClass(c);
            } catch (const std::exception&) {
            }
        }
    } catch (const std::exception&) {
    }
    return S_OK;
}

}  // namespace pelkary

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() { return pelkary::RegisterServer(); }
extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() { return pelkary::UnregisterServer(); }
