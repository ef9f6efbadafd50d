// Layering: scripting is the top folder of pelkary.dll: the second type library's classes for
// script authors. It may call folders, messages, notify and frame; nothing includes it but the
// module's entry.
//
// MXMessageCollection: the messages that IMXStore::Messages (live: listed anew at every call) and
// IMXStore::Search (found once) return. Each item is a new object of the published MXMessage
// class. Apartment-threaded; not creatable by clients.
#pragma once

#include <functional>
#include <vector>

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

    // A collection whose entries `list` gives; `keep` (the store object whose session `list`
    // uses) is held as long as the collection lives.
    static com_ptr<IMXMessageCollection> Make(com_ptr<IUnknown> keep, Lister list);

    HRESULT STDMETHODCALLTYPE Item(long index, IDispatch** message) override { return ItemAt(index, message); }

    std::vector<MessageRef> Entries() { return list_(); }
    // A new MXMessage bound to the stored message, or null when it is gone.
    static com_ptr<IDispatch> ObjectOf(const MessageRef& ref);

private:
    MXMessageCollection(com_ptr<IUnknown> keep, Lister list) : keep_(std::move(keep)), list_(std::move(list)) {}

    com_ptr<IUnknown> keep_;
    Lister list_;
};

}  // namespace pelkary
