#include "scripting/mx_message_collection.h"

namespace pelkary {

const ClassIdentity MXMessageCollection::kIdentity = {L"MXMessageCollection", &CLSID_MXMessageCollection,
                                                      &IID_IMXMessageCollection};

com_ptr<IMXMessageCollection> MXMessageCollection::Make(com_ptr<IUnknown> keep, Lister list, Stamp stamp) {
    return com_ptr<IMXMessageCollection>(new MXMessageCollection(std::move(keep), std::move(list), std::move(stamp)));
}

const std::vector<MessageRef>& MXMessageCollection::Entries() {
    const std::optional<unsigned long long> now = stamp_ ? stamp_() : std::nullopt;
    if (!now || now != listed_at_) {
        listed_ = list_();
        listed_at_ = now;
    }
    return listed_;
}

com_ptr<IDispatch> MXMessageCollection::ObjectOf(const MessageRef& ref) {
    com_ptr<IMXMessage> message = MXMessage::MakeIfStored(ref.folder_id, ref.message_id, &folder_);
    return com_ptr<IDispatch>(message.get());
}

}  // namespace pelkary
