// unique_propvariant: an owned PROPVARIANT.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <propidl.h>

namespace pelkary {

// A PROPVARIANT that starts empty and is cleared with PropVariantClear.
class unique_propvariant : public PROPVARIANT {
public:
    unique_propvariant() noexcept { PropVariantInit(this); }
    unique_propvariant(const unique_propvariant&) = delete;
    unique_propvariant& operator=(const unique_propvariant&) = delete;
    ~unique_propvariant() { PropVariantClear(this); }
    void reset() noexcept { PropVariantClear(this); }
};

}  // namespace pelkary
