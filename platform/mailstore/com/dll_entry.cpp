// mailstore.dll's exported entry points: class object, unload test and
// self-registration (InprocServer32, ThreadingModel "Both").
#include <windows.h>
#include <objbase.h>

#include "comsupport/class_factory.h"
#include "comsupport/module_lock.h"
#include "comsupport/registration_writer.h"
#include "mailstore/store_types.h"
#include "store_api.h"
#include "store_namespace.h"

namespace mailstore_com {
namespace {

pelkary::ClassFactory g_factory(&pelkary::BuildObject<StoreNamespace>, E_OUTOFMEMORY);

// The engine's numbers are the interface's: it builds without the interface's headers.
static_assert(mailstore::kRootFolderId == FOLDERID_ROOT && mailstore::kInvalidId == FOLDERID_INVALID &&
                  mailstore::kInvalidId == MESSAGEID_INVALID, "folder and message ids");
static_assert(mailstore::kNotSpecial == FOLDER_NOTSPECIAL && mailstore::kSpecialCount == FOLDER_MAX &&
                  mailstore::kSpecialDeleted == FOLDER_DELETED, "special folders");
static_assert(mailstore::kMaxFolderNameBytes == CCHMAX_FOLDER_NAME - 1, "a name and its terminator");
static_assert(mailstore::kFlagUnread == MSG_UNREAD, "state flags");

pelkary::RegistrationWriter ClassKeys(const std::wstring& path) {
  wchar_t clsid[40] = {};
  StringFromGUID2(CLSID_StoreNamespace, clsid, 40);
  const std::wstring key = std::wstring(L"CLSID\\") + clsid;
  pelkary::RegistrationWriter keys;
  keys.AddInprocServer(key, path, L"Both");
  keys.Add(key, L"", L"Mail store namespace");
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
