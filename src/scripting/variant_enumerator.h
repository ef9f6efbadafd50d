// VariantEnumerator: the IEnumVARIANT behind For Each over a collection of the scripting library.
// It walks positions 0 to count - 1 and asks a producer for the object at each; a producer that
// answers null (a message removed since the walk began) is passed over. Apartment-threaded.
#pragma once

#include <oaidl.h>

#include <functional>

#include "comsupport/com_object.h"
#include "comsupport/com_ptr.h"

namespace pelkary {

class VariantEnumerator : public ComObject<VariantEnumerator, IEnumVARIANT> {
public:
    static constexpr wchar_t kClassName[] = L"VariantEnumerator";
    // The object at a position, or null to pass it over; may throw.
    using Producer = std::function<com_ptr<IDispatch>(size_t position)>;

    VariantEnumerator(size_t count, Producer produce, size_t position = 0)
        : count_(count), produce_(std::move(produce)), position_(position) {}

    // Up to `celt` objects as VT_DISPATCH values: S_OK when all came, S_FALSE when the walk ended
    // first (`*fetched` tells how many; it may be null only when `celt` is 1). A producer that
    // fails: its HRESULT and error object, with nothing fetched.
    HRESULT STDMETHODCALLTYPE Next(ULONG celt, VARIANT* items, ULONG* fetched) override;
    // S_FALSE when fewer than `celt` positions were left.
    HRESULT STDMETHODCALLTYPE Skip(ULONG celt) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    // A new enumerator at the same position over the same objects.
    HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** copy) override;

private:
    size_t count_;
    Producer produce_;
    size_t position_;
};

}  // namespace pelkary
