// Registration of pelkary's type libraries, classes and ProgIDs under HKEY_CLASSES_ROOT, written
// through the shared registration writer (comsupport/registration_writer.h).
#pragma once

#include <windows.h>

namespace pelkary {

// Writes the registration of both type libraries and the keys of every creatable class of the
// class map (frame/class_map.h). Returns S_OK,
// SELFREG_E_TYPELIB when the library cannot be loaded or registered (nothing written), or, when a
// key cannot be written, the converted registry status after removing everything again.
HRESULT RegisterServer() noexcept;

// Removes what RegisterServer writes; failures are ignored and the result is always S_OK.
HRESULT UnregisterServer() noexcept;

}  // namespace pelkary
