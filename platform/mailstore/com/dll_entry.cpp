// mailstore.dll's exported entry points: class object, unload test and
// self-registration (InprocServer32, ThreadingModel "Both").
#include <windows.h>
#include <objbase.h>

#include <string>

#include "frame/holders.h"
#include "server_module.h"
#include "store_api.h"
#include "store_class_factory.h"

namespace mailstore_com {
namespace {

LONG g_module_refs = 0;
HMODULE g_module = nullptr;
StoreClassFactory g_factory;

// SELFREG_E_CLASS: the class could not be (un)registered.
constexpr HRESULT kRegistrationFailed = static_cast<HRESULT>(0x80040201);

const wchar_t kClassKey[] = L"CLSID\\{E70C92A9-4BFD-11d1-8A95-00C04FB951F3}";

bool SetString(HKEY key, const wchar_t* name, const std::wstring& value) {
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

}  // namespace

void ModuleAddRef() { InterlockedIncrement(&g_module_refs); }
void ModuleRelease() { InterlockedDecrement(&g_module_refs); }
bool ModuleInUse() { return InterlockedCompareExchange(&g_module_refs, 0, 0) != 0; }
HMODULE ModuleHandle() { return g_module; }
void SetModuleHandle(HMODULE module) { g_module = module; }

}  // namespace mailstore_com

using namespace mailstore_com;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
  if (reason == DLL_PROCESS_ATTACH) {
    SetModuleHandle(instance);
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (rclsid != CLSID_StoreNamespace) return CLASS_E_CLASSNOTAVAILABLE;
  return g_factory.QueryInterface(riid, ppv);
}

extern "C" HRESULT WINAPI DllCanUnloadNow() { return ModuleInUse() ? S_FALSE : S_OK; }

extern "C" HRESULT WINAPI DllRegisterServer() {
  wchar_t path[MAX_PATH];
  DWORD n = GetModuleFileNameW(ModuleHandle(), path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return E_FAIL;
  pelkary::unique_hkey cls, server;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, kClassKey, 0, nullptr, 0, KEY_WRITE, nullptr, cls.put(),
                      nullptr) != ERROR_SUCCESS ||
      !SetString(cls.get(), nullptr, L"Mail store namespace") ||
      RegCreateKeyExW(cls.get(), L"InprocServer32", 0, nullptr, 0, KEY_WRITE, nullptr, server.put(),
                      nullptr) != ERROR_SUCCESS ||
      !SetString(server.get(), nullptr, path) || !SetString(server.get(), L"ThreadingModel", L"Both")) {
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kClassKey);
    return kRegistrationFailed;
  }
  return S_OK;
}

extern "C" HRESULT WINAPI DllUnregisterServer() {
  LSTATUS r = RegDeleteTreeW(HKEY_CLASSES_ROOT, kClassKey);
  return (r == ERROR_SUCCESS || r == ERROR_FILE_NOT_FOUND) ? S_OK : kRegistrationFailed;
}
