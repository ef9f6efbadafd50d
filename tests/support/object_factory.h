// Creating pelkary's objects the way a client does: through the COM runtime (so the registered
// pelkary.dll serves them), with the HRESULT checked exactly.
#pragma once

#include <gtest/gtest.h>

#include "comsupport/holders.h"
#include "pelkary.h"
#include "support/hresult_assertions.h"

namespace pelkary::test {

// CoCreateInstance(clsid, no outer, CLSCTX_INPROC_SERVER, __uuidof(I)). Anything but S_OK with
// a non-null pointer is a test failure and yields null.
template <typename I>
com_ptr<I> CreateObject(REFCLSID clsid) {
    com_ptr<I> object;
    HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, __uuidof(I), object.put_void());
    EXPECT_HR(S_OK, hr) << "creating " << ::testing::internal::GetTypeName<I>();
    EXPECT_TRUE(object) << "creation succeeded but gave a null pointer";
    return SUCCEEDED(hr) ? object : com_ptr<I>();
}

inline com_ptr<IMXFolderManager> CreateManager() { return CreateObject<IMXFolderManager>(CLSID_MXFolderManager); }
inline com_ptr<IMXFolder> CreateFolderObject() { return CreateObject<IMXFolder>(CLSID_MXFolder); }
inline com_ptr<IMXMessage> CreateMessageObject() { return CreateObject<IMXMessage>(CLSID_MXMessage); }

}  // namespace pelkary::test
