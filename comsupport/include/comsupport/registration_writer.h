// RegistrationWriter: the keys and string values a server registers (under HKEY_CLASSES_ROOT),
// written as one set and removed again as one set.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace pelkary {

class RegistrationWriter {
public:
    explicit RegistrationWriter(HKEY root = HKEY_CLASSES_ROOT) noexcept : root_(root) {}

    // Adds a REG_SZ value (stored with its terminating zero) to the set; an empty `name` is the
    // key's default value. Values are written in the order they are added, and keys are removed
    // in that order too: add a key's values after those of its subkeys, so that every key is
    // removed after its subkeys.
    void Add(std::wstring key, std::wstring name, std::wstring data);
    // The InprocServer32 key of `clsid_key` ("CLSID\\{...}"): the server's path and its threading
    // model.
    void AddInprocServer(const std::wstring& clsid_key, const std::wstring& path, const wchar_t* threading_model);

    // Creates the keys and writes every value. When one cannot be written, removes every key of
    // the set again (what this call wrote and what an earlier registration left) and throws
    // com_error with HRESULT_FROM_WIN32 of the registry's status.
    void Write() const;

    // Deletes the key of every value, in order (a key listed twice is deleted once; keys that are
    // not there are passed over). S_OK, or the HRESULT of the first deletion that failed. On
    // 64-bit Windows the 32-bit and the 64-bit registration of a server live side by side: the
    // "CLSID\\..." keys in each architecture's own registry view, every other key (a ProgID) in
    // one place for both. While the other architecture's view still holds one of the set's
    // classes, those shared keys are left to it.
    HRESULT Remove() const noexcept;

    // Whether the other architecture's registry view holds `clsid_key` ("CLSID\\{...}") with a
    // server: false on 32-bit Windows, which has one view.
    static bool RegisteredInOtherView(const std::wstring& clsid_key) noexcept;

    // DllRegisterServer's and DllUnregisterServer's answers for a server whose registration is
    // the set `keys` makes from the path of this module's file (the DLL that links this
    // library): S_OK, or SELFREG_E_CLASS when a key cannot be written (nothing is left behind
    // then) or removed.
    using KeySet = RegistrationWriter (*)(const std::wstring& module_path);
    static HRESULT RegisterServer(KeySet keys) noexcept;
    static HRESULT UnregisterServer(KeySet keys) noexcept;

private:
    struct Value {
        std::wstring key;
        std::wstring name;
        std::wstring data;
    };

    HKEY root_;
    std::vector<Value> values_;
};

}  // namespace pelkary
