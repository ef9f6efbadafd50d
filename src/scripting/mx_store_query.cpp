// MXStore, version 1.1's queries: Count, Query and Table over the store's search index, Item, and
// Search answered by the query engine.
#include "comsupport/com_error.h"
#include "messages/mx_message.h"
#include "scripting/described_error.h"
#include "scripting/mx_store.h"

namespace pelkary {

HRESULT MXStore::Count(BSTR, long* count) {
    return Guard(L"Count", [&] { ThrowDescribed(E_NOTIMPL, L"not yet"); }, count);
}

HRESULT MXStore::Query(BSTR, IMXMessageCollection** messages) {
    return Guard(L"Query", [&] { ThrowDescribed(E_NOTIMPL, L"not yet"); }, messages);
}

HRESULT MXStore::Table(BSTR, BSTR, VARIANT, VARIANT* table) {
    if (table) VariantInit(table);
    return Guard(L"Table", [&] { ThrowDescribed(E_NOTIMPL, L"not yet"); }, table);
}

HRESULT MXStore::Item(long folderId, long messageId, IDispatch** message) {
    return Guard(L"Item", [&] {
        if (folderId <= 0 || messageId < 0) return;
        *message = MXMessage::MakeIfStored(folderId, static_cast<unsigned long>(messageId)).detach();
    }, message);
}

}  // namespace pelkary
