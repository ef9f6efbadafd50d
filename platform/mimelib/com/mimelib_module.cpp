// Module entry points of mimelib.dll: class objects for the message and the
// allocator, unloading, and self-registration (InprocServer32, Both).
#include <windows.h>
#include <objbase.h>
#include <olectl.h>

#include <string>

#include "class_factory.h"
#include "com_support.h"
#include "frame/holders.h"
#include "mime_allocator.h"
#include "mime_message.h"

namespace mimelib {
namespace {

HINSTANCE g_instance = nullptr;

struct ClassEntry {
  const CLSID* clsid;
  const wchar_t* description;
  ClassFactory::CreateFn create;
};

const ClassEntry kClasses[] = {
    {&CLSID_IMimeMessage, L"MIME message object", &MimeMessage::Create},
    {&CLSID_IMimeAllocator, L"MIME allocator object", &MimeAllocator::Create},
};

std::wstring ClsidKey(const CLSID& clsid) {
  wchar_t text[64];
  StringFromGUID2(clsid, text, 64);
  return std::wstring(L"CLSID\\") + text;
}

HRESULT SetValue(HKEY root, const std::wstring& key, const wchar_t* name, const std::wstring& value) {
  pelkary::unique_hkey k;
  LONG r = RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, k.put(), nullptr);
  if (r != ERROR_SUCCESS) return HRESULT_FROM_WIN32(r);
  r = RegSetValueExW(k.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  return r == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(r);
}

}  // namespace
}  // namespace mimelib

using namespace mimelib;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_instance = instance;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  for (const auto& c : kClasses) {
    if (IsEqualCLSID(clsid, *c.clsid)) {
      return ClassFactory::Create(c.create, riid, ppv);
    }
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" HRESULT WINAPI DllCanUnloadNow() { return ModuleIdle() ? S_OK : S_FALSE; }

extern "C" HRESULT WINAPI DllRegisterServer() {
  wchar_t path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(g_instance, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return HRESULT_FROM_WIN32(GetLastError());
  for (const auto& c : kClasses) {
    const std::wstring key = ClsidKey(*c.clsid);
    HRESULT hr = SetValue(HKEY_CLASSES_ROOT, key, nullptr, c.description);
    if (SUCCEEDED(hr)) hr = SetValue(HKEY_CLASSES_ROOT, key + L"\\InprocServer32", nullptr, path);
    if (SUCCEEDED(hr)) hr = SetValue(HKEY_CLASSES_ROOT, key + L"\\InprocServer32", L"ThreadingModel", L"Both");
    if (FAILED(hr)) return SELFREG_E_CLASS;
  }
  return S_OK;
}

extern "C" HRESULT WINAPI DllUnregisterServer() {
  for (const auto& c : kClasses) {
    const LONG r = RegDeleteTreeW(HKEY_CLASSES_ROOT, ClsidKey(*c.clsid).c_str());
    if (r != ERROR_SUCCESS && r != ERROR_FILE_NOT_FOUND) return SELFREG_E_CLASS;
  }
  return S_OK;
}
