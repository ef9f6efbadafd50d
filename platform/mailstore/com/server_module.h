// Process-wide counts that decide DllCanUnloadNow, and the module handle.
#pragma once

#include <windows.h>

namespace mailstore_com {

// Every live object and every LockServer(TRUE) holds one count.
void ModuleAddRef();
void ModuleRelease();
bool ModuleInUse();
HMODULE ModuleHandle();
void SetModuleHandle(HMODULE module);

}  // namespace mailstore_com
