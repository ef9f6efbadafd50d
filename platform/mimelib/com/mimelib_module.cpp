// Module entry points of mimelib.dll: class objects for the message and the
// allocator, unloading, and self-registration (InprocServer32, Both).
#include <windows.h>
#include <objbase.h>

#include <string>
#include <utility>

#include "comsupport/class_factory.h"
#include "comsupport/module_lock.h"
#include "comsupport/registration_writer.h"
#include "mime_allocator.h"
#include "mime_message.h"

namespace mimelib {
namespace {

pelkary::ClassFactory g_message_factory(&pelkary::BuildObject<MimeMessage>, E_OUTOFMEMORY);
pelkary::ClassFactory g_allocator_factory(&pelkary::BuildObject<MimeAllocator>, E_OUTOFMEMORY);

pelkary::RegistrationWriter ClassKeys(const std::wstring& path) {
  const std::pair<const CLSID*, const wchar_t*> classes[] = {
      {&CLSID_IMimeMessage, L"MIME message object"},
      {&CLSID_IMimeAllocator, L"MIME allocator object"},
  };
  pelkary::RegistrationWriter keys;
  for (const auto& [clsid, description] : classes) {
    wchar_t text[40];
    StringFromGUID2(*clsid, text, 40);
    const std::wstring key = std::wstring(L"CLSID\\") + text;
    keys.AddInprocServer(key, path, L"Both");
    keys.Add(key, L"", description);
  }
  return keys;
}

}  // namespace
}  // namespace mimelib

using namespace mimelib;

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
  return pelkary::GetClassObject(clsid, riid, ppv,
                                 {{&CLSID_IMimeMessage, &g_message_factory},
                                  {&CLSID_IMimeAllocator, &g_allocator_factory}});
}

extern "C" HRESULT WINAPI DllCanUnloadNow() { return pelkary::ModuleLock::CanUnloadNow(); }

extern "C" HRESULT WINAPI DllRegisterServer() {
  return pelkary::RegistrationWriter::RegisterServer(&ClassKeys);
}

extern "C" HRESULT WINAPI DllUnregisterServer() {
  return pelkary::RegistrationWriter::UnregisterServer(&ClassKeys);
}
