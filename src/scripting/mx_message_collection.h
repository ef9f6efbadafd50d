// Layering: scripting is the top folder of pelkary.dll: the second type library's classes for
// script authors. It may call folders, messages, notify and frame; nothing includes it but the
// module's entry.
//
// MXMessageCollection: the messages that IMXStore::Messages (live: listed anew at every call) and
// IMXStore::Search (found once) return. Each item is a new object of the published MXMessage
// class. Apartment-threaded; not creatable by clients.
#pragma once

#include <functional>
#include <optional>
#include <vector>

#include "messages/mx_message.h"
#include "pelkary_scripting.h"
#include "scripting/script_collection.h"

namespace pelkary {

// A stored message, by folder and id.
struct MessageRef {
    long folder_id;
    unsigned long message_id;
};

class MXMessageCollection : public ScriptCollection<MXMessageCollection, IMXMessageCollection> {
public:
    static const ClassIdentity kIdentity;
    using Entry = MessageRef;
    // The messages of the collection at the moment of the call; may throw.
    using Lister = std::function<std::vector<MessageRef>()>;
    // A number that moves whenever the store changes, or nothing when the store cannot say.
    using Stamp = std::function<std::optional<unsigned long long>()>;

    // A collection whose entries `list` gives; `keep` (the store object whose session `list`
    // uses) is held as long as the collection lives. With a `stamp`, a listing serves every call
    // until the stamp moves, so that an Item(i) loop does not list the folder once per item.
    static com_ptr<IMXMessageCollection> Make(com_ptr<IUnknown> keep, Lister list, Stamp stamp = {});

    HRESULT STDMETHODCALLTYPE Item(long index, IDispatch** message) override { return ItemAt(index, message); }

    const std::vector<MessageRef>& Entries();
    // A new MXMessage bound to the stored message, or null when it is gone.
    com_ptr<IDispatch> ObjectOf(const MessageRef& ref);

private:
    MXMessageCollection(com_ptr<IUnknown> keep, Lister list, Stamp stamp)
        : keep_(std::move(keep)), list_(std::move(list)), stamp_(std::move(stamp)) {}

    com_ptr<IUnknown> keep_;
    Lister list_;
    Stamp stamp_;
    std::vector<MessageRef> listed_;
    std::optional<unsigned long long> listed_at_;  // the stamp of listed_; nothing: list again
    MXMessage::SharedFolder folder_;  // the folder of the last message made
};

}  // namespace pelkary
