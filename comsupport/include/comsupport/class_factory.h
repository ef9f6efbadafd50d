// ClassFactory: the class object of one creatable class. Class objects are static: they live as
// long as the module and have no count of their own; each reference a client holds on one is a
// module lock.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <initializer_list>

namespace pelkary {

class ClassFactory : public IClassFactory {
public:
    // Builds a new object with count 0 and returns its main interface as IUnknown; may throw.
    using Builder = IUnknown* (*)();

    // `build_failure` is what CreateInstance answers when the builder throws.
    explicit constexpr ClassFactory(Builder build, HRESULT build_failure = E_FAIL) noexcept
        : build_(build), build_failure_(build_failure) {}

    // IClassFactory and IUnknown; E_POINTER for a null `ppv`.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;   // locks the module, returns 2
    ULONG STDMETHODCALLTYPE Release() override;  // unlocks the module, returns 1
    // No aggregation (CLASS_E_NOAGGREGATION, before `ppv` is touched). Builds the object and
    // queries it for `riid` (an IID it does not serve destroys it again: E_NOINTERFACE). A builder
    // that throws gives `build_failure` with an error object whose source is
    // "ClassFactory.CreateInstance({riid})" (lower-case hexadecimal), GUID IUnknown's IID and no
    // description.
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override;
    // Locks (TRUE) or unlocks (FALSE) the module.
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

    // What builds the class's objects, for a module that makes one without the COM runtime.
    Builder builder() const noexcept { return build_; }

private:
    HRESULT BuildFailed(REFIID riid) const noexcept;

    Builder build_;
    HRESULT build_failure_;
};

// One class a module serves.
struct ClassEntry {
    const CLSID* clsid;
    ClassFactory* factory;
};

// DllGetClassObject over a module's classes: E_POINTER for a null `ppv`; the class object of
// `clsid` queried for `riid`; CLASS_E_CLASSNOTAVAILABLE (with `*ppv` null) for any other CLSID.
HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** ppv, std::initializer_list<ClassEntry> classes) noexcept;

// The builder of a class whose default constructor makes a fresh object.
template <typename T>
IUnknown* BuildObject() {
    return static_cast<typename T::MainInterface*>(new T());
}

}  // namespace pelkary
