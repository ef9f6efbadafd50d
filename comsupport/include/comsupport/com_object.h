// ComObject: a reference-counted COM object that serves one interface, `Main`, and the interfaces
// Main derives from (`Bases`), all through one pointer, with its methods run inside the error
// boundary. `Derived` names itself for the error objects with `static constexpr wchar_t
// kClassName[]`.
#pragma once

#include <utility>

#include "comsupport/com_ptr.h"
#include "comsupport/error_boundary.h"
#include "comsupport/query_interface.h"
#include "comsupport/reference_counted.h"

namespace pelkary {

template <typename Derived, typename Main, typename... Bases>
class ComObject : public ReferenceCounted<Main> {
public:
    // IUnknown, Main and Bases.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        Main* self = this;
        return query_interface(riid, ppv, {{IID_IUnknown, self}, {__uuidof(Main), self}, {__uuidof(Bases), self}...});
    }

    // A new object with one reference, for the caller. Throws what the constructor throws.
    template <typename... Args>
    static com_ptr<Derived> Make(Args&&... args) {
        return com_ptr<Derived>(new Derived(std::forward<Args>(args)...));
    }

protected:
    // Runs `work` (which returns the method's HRESULT) inside the error boundary, so that an
    // exception becomes an HRESULT and an error object from "Class.Method" on Main's IID.
    template <typename Work>
    static HRESULT Guard(const wchar_t* method, Work&& work) noexcept {
        return guarded(ErrorSource{Derived::kClassName, method, __uuidof(Main)}, std::forward<Work>(work));
    }
};

}  // namespace pelkary
