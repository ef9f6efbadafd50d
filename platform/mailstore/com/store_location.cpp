#include "store_location.h"

#include <windows.h>
#include <shlobj.h>

#include "comsupport/unique_any.h"

namespace mailstore_com {

std::wstring ResolveStoreDirectory() {
  wchar_t buffer[MAX_PATH * 2];
  DWORD n = GetEnvironmentVariableW(L"MAILSTORE_DIR", buffer, ARRAYSIZE(buffer));
  if (n > 0 && n < ARRAYSIZE(buffer)) return buffer;

  pelkary::unique_hkey key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Pelkary\\Mail Store", 0, KEY_QUERY_VALUE,
                    key.put()) == ERROR_SUCCESS) {
    DWORD type = 0, bytes = sizeof(buffer) - sizeof(wchar_t);
    if (RegQueryValueExW(key.get(), L"Store Root", nullptr, &type, reinterpret_cast<BYTE*>(buffer),
                         &bytes) == ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ) && bytes >= sizeof(wchar_t)) {
      buffer[bytes / sizeof(wchar_t)] = L'\0';
      std::wstring value = buffer;
      if (type == REG_EXPAND_SZ) {
        wchar_t expanded[MAX_PATH * 2];
        DWORD m = ExpandEnvironmentStringsW(value.c_str(), expanded, ARRAYSIZE(expanded));
        if (m > 0 && m <= ARRAYSIZE(expanded)) value = expanded;
      }
      if (!value.empty() && value[0] != L'\0') return value;
    }
  }

  if (SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, buffer) == S_OK)
    return std::wstring(buffer) + L"\\Mail Store";
  return std::wstring();
}

}  // namespace mailstore_com
