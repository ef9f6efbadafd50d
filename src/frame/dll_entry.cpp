// The module's entry points: DllMain, DllGetClassObject and DllCanUnloadNow. Registration is in
// registration.cpp.
#include "comsupport/class_factory.h"
#include "folders/mx_folder.h"
#include "folders/mx_folder_manager.h"
#include "frame/module.h"
#include "messages/mx_message.h"
#include "notify/store_session.h"
#include "scripting/mx_store.h"

namespace pelkary {
namespace {

// One class object per class, in this order; they live as long as the module. An object that
// cannot be built is reported as E_FAIL.
ClassFactory g_message_factory(&BuildObject<MXMessage>, E_FAIL);
ClassFactory g_folder_factory(&BuildObject<MXFolder>, E_FAIL);
ClassFactory g_manager_factory(&BuildObject<MXFolderManager>, E_FAIL);
// The class of the scripting library.
ClassFactory g_store_factory(&BuildObject<MXStore>, E_FAIL);

}  // namespace
}  // namespace pelkary

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    using pelkary::Module;
    if (reason == DLL_PROCESS_ATTACH) {
        Module::Get().set_instance(instance);
    } else if (reason == DLL_THREAD_DETACH) {
        // The store session's windows die with their thread: they are handed over first.
        pelkary::StoreSession::ThreadEnding();
    } else if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
        // Only on FreeLibrary: when the process ends (reserved non-null) the COM libraries the
        // cached objects live in may be gone already, and releasing under the loader lock could
        // call into them. The process takes everything with it.
        Module::Get().RunShutdownList();
    }
    return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
    using namespace pelkary;
    if (IsEqualCLSID(clsid, CLSID_MXMessage)) return g_message_factory.QueryInterface(riid, ppv);
    if (IsEqualCLSID(clsid, CLSID_MXFolder)) return g_folder_factory.QueryInterface(riid, ppv);
    if (IsEqualCLSID(clsid, CLSID_MXFolderManager)) return g_manager_factory.QueryInterface(riid, ppv);
    if (IsEqualCLSID(clsid, CLSID_MXStore)) return g_store_factory.QueryInterface(riid, ppv);
    return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() { return pelkary::ModuleLock::CanUnloadNow(); }
