// A single-threaded COM apartment for the current thread for the life of the object.
#pragma once

#include <objbase.h>

#include "support/hresult_assertions.h"

namespace pelkary::test {

class ComApartment {
public:
    // A failure to enter is a test failure; the destructor then does not leave.
    ComApartment() : hr_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) { EXPECT_HR(S_OK, hr_); }
    ~ComApartment() {
        if (SUCCEEDED(hr_)) CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    HRESULT hr_;
};

}  // namespace pelkary::test
