// MXStore: the local mail store as the scripting library shows it to script authors (ProgID
// "PELKARY.MXStore"): message collections, search, lookup by Message-ID, Unicode header fields
// and file names, dates, and the store's change feed.
//
// It joins the process's store session as a plain user and reaches the store only through its
// interfaces: folder and message walks through IStoreNamespace and IStoreFolder, the Message-ID
// index and the change history through the store's private IStoreIndex when the store has it
// (without it, lookups walk the store and the change feed reports that there is none). Messages
// are objects of the published MXMessage class; a message handed in is recognised by pelkary's
// internal IMXMessageIdentity. Apartment-threaded.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "comsupport/com_ptr.h"
#include "frame/automation_object.h"
#include "pelkary.h"
#include "pelkary_scripting.h"
#include "scripting/mx_message_collection.h"
#include "store_api.h"

namespace pelkary {

class StoreSession;

class MXStore : public AutomationObject<MXStore, IMXStore> {
public:
    static const ClassIdentity kIdentity;

    // Joins the store session (building it when there is none). Never throws.
    MXStore();

    // IMXStore. Null out-pointers give E_POINTER; every other failure comes with an error object.
    HRESULT STDMETHODCALLTYPE Messages(long folderId, IMXMessageCollection** messages) override;
    HRESULT STDMETHODCALLTYPE Search(long folderId, BSTR field, BSTR text, VARIANT_BOOL includeSubfolders,
                                     IMXMessageCollection** found) override;
    HRESULT STDMETHODCALLTYPE FindByMessageId(BSTR messageId, IDispatch** message) override;
    HRESULT STDMETHODCALLTYPE HeaderField(IDispatch* message, BSTR name, BSTR* value) override;
    HRESULT STDMETHODCALLTYPE FileName(IDispatch* message, long bodyHandle, BSTR* fileName) override;
    HRESULT STDMETHODCALLTYPE SentDate(IDispatch* message, VARIANT* sent) override;
    HRESULT STDMETHODCALLTYPE ReceivedDate(IDispatch* message, VARIANT* received) override;
    HRESULT STDMETHODCALLTYPE ChangeCursor(BSTR* cursor) override;
    HRESULT STDMETHODCALLTYPE Changes(BSTR cursor, IMXChangeCollection** changes) override;
    HRESULT STDMETHODCALLTYPE WaitForChanges(BSTR cursor, long timeoutMs, VARIANT_BOOL* changed) override;
    // Version 1.1 (mx_store_actions.cpp, mx_store_query.cpp).
    HRESULT STDMETHODCALLTYPE Send(IDispatch* message) override;
    HRESULT STDMETHODCALLTYPE FolderByPath(BSTR path, IDispatch** folder) override;
    HRESULT STDMETHODCALLTYPE Move(IDispatch* message, long folderId, IDispatch** moved) override;
    HRESULT STDMETHODCALLTYPE Copy(IDispatch* message, long folderId, IDispatch** copy) override;
    HRESULT STDMETHODCALLTYPE Count(BSTR query, long* count) override;
    HRESULT STDMETHODCALLTYPE Query(BSTR query, IMXMessageCollection** messages) override;
    HRESULT STDMETHODCALLTYPE Table(BSTR query, BSTR columns, VARIANT limit, VARIANT* table) override;
    HRESULT STDMETHODCALLTYPE Item(long folderId, long messageId, IDispatch** message) override;

    // Last release: leaves the store session (which may end it).
    void Teardown();

private:
    // A message handed in, known for one of pelkary's own.
    struct MessageArgument {
        com_ptr<IMXMessage> message;
        long folder_id = -1;
        long message_id = -1;
        bool stored = false;
    };
    // Throws E_INVALIDARG with a description for anything but pelkary's MXMessage.
    static MessageArgument ResolveMessage(IDispatch* object);

    // The store connection; null while the store is out of reach.
    IStoreNamespace* Namespace() const noexcept;
    // The store's IStoreIndex, or null when the store has none.
    com_ptr<IStoreIndex> Index() const noexcept;
    // The index, or a described E_NOTIMPL error: the change feed needs it.
    com_ptr<IStoreIndex> IndexForChanges() const;
    // The text of the store's history id ("{GUID}").
    static std::wstring HistoryOf(IStoreIndex* index);
    // The sequence `cursor` names in `index`'s history; throws the rescan error for any other.
    static unsigned long long SequenceOf(IStoreIndex* index, BSTR cursor);

    // What tells a copy of a message from other messages of its folder.
    struct Arrival {
        FILETIME received;
        DWORD size;
    };
    // Moves or copies the stored message of `argument` into `folder_id`; the new message's id.
    // Throws a described error.
    MESSAGEID Transfer(const MessageArgument& argument, long folder_id, bool move);
    static bool IsArrival(IStoreFolder* folder, MESSAGEID id, const Arrival& arrival);
    // The first message added to `folder` after change `after` that is like `arrival`.
    static MESSAGEID ArrivedSince(IStoreIndex* index, ULONGLONG after, IStoreFolder* folder, long folder_id,
                                  const Arrival& arrival);

    // The store's search index, or a described E_NOTIMPL error.
    com_ptr<IStoreSearch> SearchIndex() const;
    // Runs `query`; a malformed one throws STORE_E_BADQUERY with the engine's message.
    static com_ptr<IStoreSearchResult> RunQuery(IStoreSearch* search, const std::wstring& query, DWORD flags,
                                                DWORD limit);
    // Every hit of `result`, in its order.
    static std::vector<MessageRef> HitsOf(IStoreSearchResult* result);
    // A collection that holds `refs` (found once) and keeps this object alive.
    com_ptr<IMXMessageCollection> FixedCollection(std::vector<MessageRef> refs);
    // Search through the query engine: newest first; nothing when the engine cannot answer it (a
    // field it does not index, a text without words, a store without an index).
    std::optional<std::vector<MessageRef>> FindByQuery(long folder_id, const std::wstring& field,
                                                       const std::wstring& text, bool below);
    // Search by reading every message of the folders, oldest first within each folder.
    std::vector<MessageRef> Find(long folder_id, const std::wstring& field, const std::wstring& text, bool below);
    com_ptr<IMXMessage> FindByWalking(std::wstring_view bare_id);

    StoreSession* session_ = nullptr;
};

}  // namespace pelkary
