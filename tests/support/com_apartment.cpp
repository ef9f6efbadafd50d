#include "support/com_apartment.h"

#include "support/hresult_assertions.h"

namespace pelkary::test {

ComApartment::ComApartment(DWORD model) : hr_(CoInitializeEx(nullptr, model)) {
    EXPECT_TRUE(SUCCEEDED(hr_)) << "CoInitializeEx returned " << HrText(hr_);
}

ComApartment::~ComApartment() {
    if (SUCCEEDED(hr_)) CoUninitialize();
}

}  // namespace pelkary::test
