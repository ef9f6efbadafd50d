// mailstore.dll's exported entry points: class object, unload test and
// self-registration (InprocServer32, ThreadingModel "Both").
#include <windows.h>
#include <objbase.h>

#include "comsupport/class_factory.h"
#include "comsupport/module_lock.h"
#include "comsupport/registration_writer.h"
#include "store_api.h"
#include "store_namespace.h"

namespace mailstore_com {
namespace {

pelkary::ClassFactory g_factory(&pelkary::BuildObject<StoreNamespace>, E_OUTOFMEMORY);

const wchar_t kClassKey[] = L"CLSID\\{E70C92A9-4BFD-11d1-8A95-00C04FB951F3}";

pelkary::RegistrationWriter ClassKeys(const std::wstring& path) {
  pelkary::RegistrationWriter keys;
  keys.AddInprocServer(kClassKey, path, L"Both");
  keys.Add(kClassKey, L"", L"Mail store namespace");
  return keys;
}

}  // namespace
}  // namespace mailstore_com

using namespace mailstore_com;

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
  return pelkary::GetClassObject(clsid, riid, ppv, {{&CLSID_StoreNamespace, &g_factory}});
}

extern "C" HRESULT WINAPI DllCanUnloadNow() { return pelkary::ModuleLock::CanUnloadNow(); }

extern "C" HRESULT WINAPI DllRegisterServer() {
  return pelkary::RegistrationWriter::RegisterServer(&ClassKeys);
}

extern "C" HRESULT WINAPI DllUnregisterServer() {
  return pelkary::RegistrationWriter::UnregisterServer(&ClassKeys);
}
