// The class map: every class of pelkary.dll in one table - its identity (name, class id, main
// interface), the type library that declares it, its ProgIDs and its class object, whose builder
// makes an object inside the module. DllGetClassObject, the registration and the type-description
// cache all read it, so a class is described once.
#pragma once

#include <windows.h>

#include "comsupport/class_factory.h"
#include "frame/error_boundary.h"

namespace pelkary {

// A type library built into the module's file, as registration and the run-time loads name it.
struct TypeLibrary {
    const GUID* libid;
    WORD major;
    WORD minor;
    int resource;  // the number of its TYPELIB resource in the module's file
};

extern const TypeLibrary kPublishedLibrary;  // PELKARY: MXMessage, MXFolder, MXFolderManager
extern const TypeLibrary kScriptingLibrary;  // PELKARY_SCRIPTING: MXStore and its helpers
// Both, in the order they are registered.
extern const TypeLibrary* const kTypeLibraries[2];

struct ClassInfo {
    const ClassIdentity* identity;     // name (also the default value of its registry keys), CLSID, main IID
    const TypeLibrary* library;        // the library that declares the class and its main interface
    const wchar_t* prog_id;            // version-independent ProgID; null: not creatable by class id
    const wchar_t* versioned_prog_id;  // null: none; else registered too, with CurVer naming it
    ClassFactory factory;              // the class object (creatable classes only)

    bool creatable() const noexcept { return prog_id != nullptr; }
};

// How many classes the map holds.
constexpr int kClassCount = 7;

// The classes in registration order: MXMessage, MXFolder, MXFolderManager, then the scripting
// library's (MXStore, and the classes clients never create).
class ClassMap {
public:
    static ClassInfo* begin() noexcept;
    static ClassInfo* end() noexcept;

    // The creatable class of `clsid`, or null.
    static ClassInfo* FindCreatable(REFCLSID clsid) noexcept;
    // The class whose main interface is `iid`, or null.
    static const ClassInfo* FindByInterface(REFIID iid) noexcept;
    // The position of a class in the map (begin() is 0).
    static int IndexOf(const ClassInfo& info) noexcept;

    // DllGetClassObject: E_POINTER for a null `ppv`; the class object of a creatable `clsid`
    // queried for `riid`; otherwise CLASS_E_CLASSNOTAVAILABLE. `*ppv` is null on every failure.
    static HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** ppv) noexcept;
};

}  // namespace pelkary
