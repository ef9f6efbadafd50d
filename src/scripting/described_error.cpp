#include "scripting/described_error.h"

#include <oleauto.h>

#include "comsupport/com_error.h"
#include "comsupport/com_ptr.h"

namespace pelkary {

void ThrowDescribed(HRESULT hr, const wchar_t* description) {
    com_ptr<ICreateErrorInfo> create;
    com_ptr<IErrorInfo> info;
    if (SUCCEEDED(CreateErrorInfo(create.put())) && create) {
        create->SetDescription(const_cast<LPOLESTR>(description));
        info = create.try_query<IErrorInfo>();
    }
    throw com_error(hr, info.get());
}

}  // namespace pelkary
