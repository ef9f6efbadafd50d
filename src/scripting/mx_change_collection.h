// MXChangeCollection: the changes IMXStore::Changes found, oldest first, fixed at that call.
// Apartment-threaded; not creatable by clients.
#pragma once

#include <vector>

#include "pelkary_scripting.h"
#include "scripting/script_collection.h"

namespace pelkary {

class MXChangeCollection : public ScriptCollection<MXChangeCollection, IMXChangeCollection> {
public:
    static const ClassIdentity kIdentity;
    using Entry = com_ptr<IMXChange>;

    static com_ptr<IMXChangeCollection> Make(std::vector<com_ptr<IMXChange>> changes);

    HRESULT STDMETHODCALLTYPE Item(long index, IMXChange** change) override { return ItemAt(index, change); }

    const std::vector<com_ptr<IMXChange>>& Entries() const { return changes_; }
    static com_ptr<IDispatch> ObjectOf(const com_ptr<IMXChange>& change) { return com_ptr<IDispatch>(change.get()); }

private:
    explicit MXChangeCollection(std::vector<com_ptr<IMXChange>> changes) : changes_(std::move(changes)) {}

    std::vector<com_ptr<IMXChange>> changes_;
};

}  // namespace pelkary
