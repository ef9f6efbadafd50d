// The module's entry points: DllMain, DllGetClassObject and DllCanUnloadNow. Registration is in
// registration.cpp, the classes and their class objects in class_map.cpp.
#include "frame/class_map.h"
#include "frame/module.h"
#include "notify/store_session.h"

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

// The class objects of the class map (frame/class_map.h); `*ppv` is null on every failure.
extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
    return pelkary::ClassMap::GetClassObject(clsid, riid, ppv);
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() { return pelkary::ModuleLock::CanUnloadNow(); }
