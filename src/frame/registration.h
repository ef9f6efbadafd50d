// Registration of pelkary's type library, classes and ProgIDs under HKEY_CLASSES_ROOT, written
// through the shared registration writer (comsupport/registration_writer.h).
#pragma once

#include <windows.h>

namespace pelkary {

// One class as the registry knows it.
struct ClassRegistration {
    const CLSID* clsid;
    const wchar_t* description;  // default value of the CLSID and ProgID keys
    const wchar_t* prog_id;      // version-independent ProgID
};

// The three classes, in registration order (MXMessage, MXFolder, MXFolderManager).
extern const ClassRegistration kClassRegistrations[3];

// Writes the type library's registration and every class key. Returns S_OK,
// SELFREG_E_TYPELIB when the library cannot be loaded or registered (nothing written), or, when a
// key cannot be written, the converted registry status after removing everything again.
HRESULT RegisterServer() noexcept;

// Removes what RegisterServer writes; failures are ignored and the result is always S_OK.
HRESULT UnregisterServer() noexcept;

}  // namespace pelkary
