// The one place besides the module's entry that names the classes of the folders above frame: the
// map is their table.
#include "frame/class_map.h"

#include "folders/mx_folder.h"
#include "folders/mx_folder_manager.h"
#include "messages/mx_message.h"
#include "pelkary.h"
#include "pelkary_scripting.h"
#include "scripting/mx_change.h"
#include "scripting/mx_change_collection.h"
#include "scripting/mx_message_collection.h"
#include "scripting/mx_store.h"

namespace pelkary {

const TypeLibrary kPublishedLibrary = {&LIBID_PELKARY, PELKARY_TYPELIB_MAJOR, PELKARY_TYPELIB_MINOR, 1};
const TypeLibrary kScriptingLibrary = {&LIBID_PELKARY_SCRIPTING, PELKARY_SCRIPTING_TYPELIB_MAJOR,
                                       PELKARY_SCRIPTING_TYPELIB_MINOR, 2};
const TypeLibrary* const kTypeLibraries[2] = {&kPublishedLibrary, &kScriptingLibrary};

namespace {

// A class that cannot be built is reported as E_FAIL.
template <typename T>
constexpr ClassFactory FactoryOf() {
    return ClassFactory(&BuildObject<T>, E_FAIL);
}

// Classes without a ProgID are made only inside the module: no class object, no registry keys.
ClassInfo g_classes[] = {
    {&MXMessage::kIdentity, &kPublishedLibrary, L"PELKARY.MXMessage", nullptr, FactoryOf<MXMessage>()},
    {&MXFolder::kIdentity, &kPublishedLibrary, L"PELKARY.MXFolder", nullptr, FactoryOf<MXFolder>()},
    {&MXFolderManager::kIdentity, &kPublishedLibrary, L"PELKARY.MXFolderManager", nullptr,
     FactoryOf<MXFolderManager>()},
    {&MXStore::kIdentity, &kScriptingLibrary, L"PELKARY.MXStore", L"PELKARY.MXStore.1", FactoryOf<MXStore>()},
    {&MXMessageCollection::kIdentity, &kScriptingLibrary, nullptr, nullptr, ClassFactory(nullptr)},
    {&MXChange::kIdentity, &kScriptingLibrary, nullptr, nullptr, ClassFactory(nullptr)},
    {&MXChangeCollection::kIdentity, &kScriptingLibrary, nullptr, nullptr, ClassFactory(nullptr)},
};

static_assert(sizeof g_classes / sizeof g_classes[0] == kClassCount, "kClassCount counts the map");

}  // namespace

ClassInfo* ClassMap::begin() noexcept { return g_classes; }
ClassInfo* ClassMap::end() noexcept { return g_classes + kClassCount; }

ClassInfo* ClassMap::FindCreatable(REFCLSID clsid) noexcept {
    for (ClassInfo& info : g_classes)
        if (info.creatable() && IsEqualCLSID(clsid, *info.identity->clsid)) return &info;
    return nullptr;
}

const ClassInfo* ClassMap::FindByInterface(REFIID iid) noexcept {
    for (const ClassInfo& info : g_classes)
        if (IsEqualIID(iid, *info.identity->iid)) return &info;
    return nullptr;
}

int ClassMap::IndexOf(const ClassInfo& info) noexcept { return static_cast<int>(&info - g_classes); }

HRESULT ClassMap::GetClassObject(REFCLSID clsid, REFIID riid, void** ppv) noexcept {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    ClassInfo* info = FindCreatable(clsid);
    return info ? info->factory.QueryInterface(riid, ppv) : CLASS_E_CLASSNOTAVAILABLE;
}

}  // namespace pelkary
