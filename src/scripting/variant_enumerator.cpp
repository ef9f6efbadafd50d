#include "scripting/variant_enumerator.h"

namespace pelkary {

HRESULT VariantEnumerator::Next(ULONG celt, VARIANT* items, ULONG* fetched) {
    if (fetched) *fetched = 0;
    if (!items || (!fetched && celt != 1)) return E_POINTER;
    ULONG done = 0;
    HRESULT hr = Guard(L"Next", [&] {
        while (done < celt && position_ < count_) {
            com_ptr<IDispatch> item = produce_(position_++);
            if (!item) continue;
            VariantInit(&items[done]);
            V_VT(&items[done]) = VT_DISPATCH;
            V_DISPATCH(&items[done]) = item.detach();
            ++done;
        }
        return done == celt ? S_OK : S_FALSE;
    });
    if (FAILED(hr)) {
        for (ULONG i = 0; i < done; ++i) VariantClear(&items[i]);
        done = 0;
    }
    if (fetched) *fetched = done;
    return hr;
}

HRESULT VariantEnumerator::Skip(ULONG celt) {
    const size_t left = count_ - position_;
    position_ += celt < left ? celt : left;
    return celt <= left ? S_OK : S_FALSE;
}

HRESULT VariantEnumerator::Reset() {
    position_ = 0;
    return S_OK;
}

HRESULT VariantEnumerator::Clone(IEnumVARIANT** copy) {
    if (!copy) return E_POINTER;
    *copy = nullptr;
    return Guard(L"Clone", [&] {
        *copy = Make(count_, produce_, position_).detach();
        return S_OK;
    });
}

}  // namespace pelkary
