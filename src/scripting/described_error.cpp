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
        // Not every runtime starts a new error object with a nil GUID; nil lets the boundary
        // name the failing method's interface.
        create->SetGUID(GUID_NULL);
        info = create.try_query<IErrorInfo>();
    }
    throw com_error(hr, info.get());
}

}  // namespace pelkary
