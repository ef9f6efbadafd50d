// Module entry points of mimelib.dll: class objects for the message and the
// allocator, unloading, and self-registration (InprocServer32, Both).
#include <windows.h>
#include <objbase.h>

#include <string>

#include "comsupport/class_factory.h"
#include "comsupport/module_lock.h"
#include "comsupport/registration_writer.h"
#include "mime_allocator.h"
#include "mime_message.h"

namespace mimelib {
namespace {

HINSTANCE g_instance = nullptr;

struct ClassEntry {
  const CLSID* clsid;
  const wchar_t* description;
  pelkary::ClassFactory* factory;
};

pelkary::ClassFactory g_message_factory(&pelkary::BuildObject<MimeMessage>, E_OUTOFMEMORY);
pelkary::ClassFactory g_allocator_factory(&pelkary::BuildObject<MimeAllocator>, E_OUTOFMEMORY);

const ClassEntry kClasses[] = {
    {&CLSID_IMimeMessage, L"MIME message object", &g_message_factory},
    {&CLSID_IMimeAllocator, L"MIME allocator object", &g_allocator_factory},
};

pelkary::RegistrationWriter ClassKeys(const std::wstring& path) {
  pelkary::RegistrationWriter keys;
  for (const auto& c : kClasses) {
    wchar_t clsid[40];
    StringFromGUID2(*c.clsid, clsid, 40);
    const std::wstring key = std::wstring(L"CLSID\\") + clsid;
    keys.AddInprocServer(key, path, L"Both");
    keys.Add(key, L"", c.description);
  }
  return keys;
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
    if (IsEqualCLSID(clsid, *c.clsid)) return c.factory->QueryInterface(riid, ppv);
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" HRESULT WINAPI DllCanUnloadNow() { return pelkary::ModuleLock::CanUnloadNow(); }

extern "C" HRESULT WINAPI DllRegisterServer() {
  return pelkary::RegistrationWriter::RegisterServer(g_instance, &ClassKeys);
}

extern "C" HRESULT WINAPI DllUnregisterServer() {
  return pelkary::RegistrationWriter::UnregisterServer(g_instance, &ClassKeys);
}
