#include "support/object_factory.h"

namespace pelkary::test {

com_ptr<IMXFolderManager> CreateManager() { return CreateObject<IMXFolderManager>(CLSID_MXFolderManager); }

com_ptr<IMXFolder> CreateFolderObject() { return CreateObject<IMXFolder>(CLSID_MXFolder); }

com_ptr<IMXMessage> CreateMessageObject() { return CreateObject<IMXMessage>(CLSID_MXMessage); }

}  // namespace pelkary::test
