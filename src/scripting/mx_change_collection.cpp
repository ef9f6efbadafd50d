#include "scripting/mx_change_collection.h"

namespace pelkary {

const ClassIdentity MXChangeCollection::kIdentity = {L"MXChangeCollection", &CLSID_MXChangeCollection,
                                                     &IID_IMXChangeCollection};

com_ptr<IMXChangeCollection> MXChangeCollection::Make(std::vector<com_ptr<IMXChange>> changes) {
    return com_ptr<IMXChangeCollection>(new MXChangeCollection(std::move(changes)));
}

}  // namespace pelkary
