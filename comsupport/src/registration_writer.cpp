#include "comsupport/registration_writer.h"

#include <olectl.h>

#include "comsupport/com_error.h"
#include "comsupport/unique_any.h"

// The base address of the module (DLL or program) that this library is linked into.
extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace pelkary {

void RegistrationWriter::Add(std::wstring key, std::wstring name, std::wstring data) {
    values_.push_back(Value{std::move(key), std::move(name), std::move(data)});
}

void RegistrationWriter::AddInprocServer(const std::wstring& clsid_key, const std::wstring& path,
                                         const wchar_t* threading_model) {
    Add(clsid_key + L"\\InprocServer32", L"", path);
    Add(clsid_key + L"\\InprocServer32", L"ThreadingModel", threading_model);
}

void RegistrationWriter::Write() const {
    for (const Value& value : values_) {
        unique_hkey key;
        LONG status = RegCreateKeyExW(root_, value.key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(),
                                      nullptr);
        if (status == ERROR_SUCCESS)
            status = RegSetValueExW(key.get(), value.name.c_str(), 0, REG_SZ,
                                    reinterpret_cast<const BYTE*>(value.data.c_str()),
                                    static_cast<DWORD>((value.data.size() + 1) * sizeof(wchar_t)));
        if (status != ERROR_SUCCESS) {
            Remove();
            throw_win32(status);
        }
    }
}

namespace {

bool IsClassKey(const std::wstring& key) { return key.compare(0, 6, L"CLSID\\") == 0; }

// The registry view of the other architecture, or 0 where there is none (32-bit Windows).
REGSAM OtherView() noexcept {
#ifdef _WIN64
    return KEY_WOW64_32KEY;
#else
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64 ? KEY_WOW64_64KEY : 0;
#endif
}

}  // namespace

bool RegistrationWriter::RegisteredInOtherView(const std::wstring& clsid_key) noexcept {
    const REGSAM other = OtherView();
    unique_hkey key;
    return other && RegOpenKeyExW(HKEY_CLASSES_ROOT, (clsid_key + L"\\InprocServer32").c_str(), 0, KEY_READ | other,
                                  key.put()) == ERROR_SUCCESS;
}

HRESULT RegistrationWriter::Remove() const noexcept {
    bool shared_in_use = false;
    for (const Value& value : values_)
        if (IsClassKey(value.key) && value.key.find(L'\\', 6) == std::wstring::npos &&
            RegisteredInOtherView(value.key))
            shared_in_use = true;
    HRESULT first_failure = S_OK;
    for (const Value& value : values_) {
        if (shared_in_use && !IsClassKey(value.key)) continue;
        const LONG status = RegDeleteKeyW(root_, value.key.c_str());
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND && SUCCEEDED(first_failure))
            first_failure = hresult_from_win32(status);
    }
    return first_failure;
}

namespace {

// The full path of the file of the module this code is linked into.
std::wstring ThisModulePath() {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(reinterpret_cast<HMODULE>(&__ImageBase), path, MAX_PATH);
    if (n == 0) throw_last_error();
    if (n >= MAX_PATH) throw_win32(ERROR_INSUFFICIENT_BUFFER);
    return std::wstring(path, n);
}

}  // namespace

HRESULT RegistrationWriter::RegisterServer(KeySet keys) noexcept {
    try {
        keys(ThisModulePath()).Write();
        return S_OK;
    } catch (...) {
        return SELFREG_E_CLASS;
    }
}

HRESULT RegistrationWriter::UnregisterServer(KeySet keys) noexcept {
    try {
        return SUCCEEDED(keys(ThisModulePath()).Remove()) ? S_OK : SELFREG_E_CLASS;
    } catch (...) {
        return SELFREG_E_CLASS;
    }
}

}  // namespace pelkary
