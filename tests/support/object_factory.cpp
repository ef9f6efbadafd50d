#include "support/object_factory.h"

namespace pelkary::test {

com_ptr<IMXFolderManager> CreateManager() { return CreateObject<IMXFolderManager>(CLSID_MXFolderManager); }

com_ptr<IMXFolder> CreateFolderObject() { return CreateObject<IMXFolder>(CLSID_MXFolder); }

com_ptr<IMXMessage> CreateMessageObject() { return CreateObject<IMXMessage>(CLSID_MXMessage); }

HRESULT CreateByProgId(const wchar_t* prog_id, REFIID riid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    CLSID clsid;
    HRESULT hr = CLSIDFromProgID(prog_id, &clsid);
    if (FAILED(hr)) return hr;
    return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, riid, object);
}

}  // namespace pelkary::test
