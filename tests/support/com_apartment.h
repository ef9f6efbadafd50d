// A COM apartment for the current thread for the life of the object.
#pragma once

#include <objbase.h>

namespace pelkary::test {

class ComApartment {
public:
    // Enters a single-threaded apartment (the default) or the given model. A failure to enter is
    // a test failure; the destructor then does not leave.
    explicit ComApartment(DWORD model = COINIT_APARTMENTTHREADED);
    ~ComApartment();
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

    HRESULT result() const noexcept { return hr_; }

private:
    HRESULT hr_;
};

}  // namespace pelkary::test
