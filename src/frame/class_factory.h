// The class objects of pelkary's three classes. They live as long as the module and have no
// count of their own: each reference a client holds is one module lock.
#pragma once

#include "frame/holders.h"

namespace pelkary {

class ClassFactory : public IClassFactory {
public:
    // Builds a new object with count 0 and returns it as IUnknown-derived pointer; may throw.
    using Builder = IUnknown* (*)();

    explicit constexpr ClassFactory(Builder build) noexcept : build_(build) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;   // locks the module, returns 2
    ULONG STDMETHODCALLTYPE Release() override;  // unlocks the module, returns 1
    // No aggregation (CLASS_E_NOAGGREGATION); a failure to build gives E_FAIL with an error
    // object whose source is "ClassFactory.CreateInstance({riid})".
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

private:
    Builder build_;
};

// Builder for a class whose default constructor makes a fresh object.
template <typename T>
IUnknown* BuildObject() {
    return static_cast<typename T::MainInterface*>(new T());
}

}  // namespace pelkary
