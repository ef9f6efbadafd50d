#include "scripting/mx_store.h"

#include <algorithm>

#include "comsupport/com_error.h"
#include "comsupport/text.h"
#include "comsupport/unique_bstr.h"
#include "folders/message_props.h"
#include "message_identity.h"
#include "messages/mx_message.h"
#include "notify/store_session.h"
#include "scripting/change_cursor.h"
#include "scripting/mail_date.h"
#include "scripting/message_text.h"
#include "scripting/mx_change.h"
#include "scripting/mx_change_collection.h"
#include "scripting/store_walk.h"
#include "scripting/variant_date.h"

namespace pelkary {

namespace {

constexpr wchar_t kNotAMessage[] =
    L"The message argument must be an MXMessage object of pelkary (PELKARY.MXMessage).";
constexpr wchar_t kNoHistory[] =
    L"This mail store keeps no change history: the change feed is not available. Rescan the folders instead.";
constexpr wchar_t kRescan[] =
    L"The change history no longer reaches back to this cursor, or the cursor is not one of this store: "
    L"rescan the folders and take a new cursor with ChangeCursor.";
constexpr wchar_t kNegativeTimeout[] = L"The timeout must be 0 or more milliseconds.";

// How often WaitForChanges looks at the history while nothing wakes it.
constexpr DWORD kPollMs = 50;
// How many changes one call of the store hands over.
constexpr DWORD kChangeBatch = 64;

// The kind names, by the store's STORECHANGE_* numbers (1 to 7).
constexpr const wchar_t* kKindNames[] = {L"MessageAdded",  L"MessageRemoved", L"MessageChanged", L"FolderCreated",
                                         L"FolderDeleted", L"FolderRenamed",  L"FolderMoved"};

// A header field's name is printable US-ASCII without white space or colon (RFC 5322).
void CheckFieldName(const std::wstring& name) {
    const bool valid = !name.empty() && std::all_of(name.begin(), name.end(), [](wchar_t c) {
        return c > L' ' && c < 0x7F && c != L':';
    });
    if (!valid)
        throw_described(E_INVALIDARG, (L"\"" + name + L"\" is not a field name: give Subject, From, To, Cc, Body or the "
                                      L"name of a header field (printable characters without spaces or colon).").c_str());
}

[[noreturn]] void ThrowRescan() { throw_described(STORE_E_HISTORYGONE, kRescan); }

}  // namespace

const ClassIdentity MXStore::kIdentity = {L"MXStore", &CLSID_MXStore, &IID_IMXStore};

MXStore::MXStore() : session_(StoreSession::JoinUser()) {}

void MXStore::Teardown() {
    if (StoreSession* session = std::exchange(session_, nullptr)) session->LeaveUser();
}

IStoreNamespace* MXStore::Namespace() const noexcept { return session_ ? session_->namespace_() : nullptr; }

com_ptr<IStoreIndex> MXStore::Index() const noexcept {
    IStoreNamespace* store = Namespace();
    return store ? com_ptr<IStoreNamespace>(store).try_query<IStoreIndex>() : com_ptr<IStoreIndex>();
}

com_ptr<IStoreIndex> MXStore::IndexForChanges() const {
    com_ptr<IStoreIndex> index = Index();
    if (!index) throw_described(E_NOTIMPL, kNoHistory);
    return index;
}

MXStore::MessageArgument MXStore::ResolveMessage(IDispatch* object) {
    com_ptr<IMXMessageIdentity> identity;
    if (!object || FAILED(object->QueryInterface(IID_IMXMessageIdentity, identity.put_void())) || !identity)
        throw_described(E_INVALIDARG, kNotAMessage);
    MessageArgument argument;
    argument.message = query_or_throw<IMXMessage>(object);
    argument.stored = identity->GetStoreIdentity(&argument.folder_id, &argument.message_id) == S_OK;
    return argument;
}

// --- Collections --------------------------------------------------------------------------------

HRESULT MXStore::Messages(long folderId, IMXMessageCollection** messages) {
    return Guard(L"Messages", [&] {
        // The collection keeps this object, and with it the session the lister reads through.
        auto list = [this, folderId] { return FolderMessages(Namespace(), folderId); };
        // Any change of the store moves its newest change number; a store without a history
        // cannot say, and its collection lists the folder at every call.
        auto stamp = [this]() -> std::optional<unsigned long long> {
            ULONGLONG newest = 0;
            com_ptr<IStoreIndex> index = Index();
            if (!index || index->GetChangeCursor(&newest) != S_OK) return std::nullopt;
            return newest;
        };
        *messages =
            MXMessageCollection::Make(com_ptr<IUnknown>(static_cast<IMXStore*>(this)), list, stamp).detach();
    }, messages);
}

std::vector<MessageRef> MXStore::Find(long folder_id, const std::wstring& field, const std::wstring& text,
                                      bool below) {
    const bool body = _wcsicmp(field.c_str(), L"Body") == 0;
    std::vector<MessageRef> found;
    const std::vector<long> folders = below ? FolderTree(Namespace(), folder_id) : std::vector<long>{folder_id};
    for (long folder : folders) {
        for (const MessageRef& ref : FolderMessages(Namespace(), folder)) {
            com_ptr<IMXMessage> message = MXMessage::MakeIfStored(ref.folder_id, ref.message_id);
            if (!message) continue;
            std::optional<std::wstring> value = body ? TextOfBodies(message.get()) : HeaderValue(message.get(), field);
            if (value && ContainsIgnoringCase(*value, text)) found.push_back(ref);
        }
    }
    return found;
}

HRESULT MXStore::Search(long folderId, BSTR field, BSTR text, VARIANT_BOOL includeSubfolders,
                        IMXMessageCollection** found) {
    return Guard(L"Search", [&] {
        const std::wstring name = TextOf(field), wanted = TextOf(text);
        const bool below = includeSubfolders != VARIANT_FALSE;
        CheckFieldName(name);
        std::optional<std::vector<MessageRef>> refs = FindByQuery(folderId, name, wanted, below);
        *found = FixedCollection(refs ? std::move(*refs) : Find(folderId, name, wanted, below)).detach();
    }, found);
}

// --- Lookup by Message-ID -----------------------------------------------------------------------

com_ptr<IMXMessage> MXStore::FindByWalking(std::wstring_view bare_id) {
    // Several messages may share the Message-ID: the one stored last (the highest id) wins.
    com_ptr<IMXMessage> best;
    unsigned long best_id = 0;
    for (long folder : FolderTree(Namespace(), 0)) {
        for (const MessageRef& ref : FolderMessages(Namespace(), folder)) {
            com_ptr<IMXMessage> message = MXMessage::MakeIfStored(ref.folder_id, ref.message_id);
            if (!message || (best && ref.message_id < best_id)) continue;
            std::optional<std::wstring> id = HeaderValue(message.get(), L"Message-ID");
            if (id && BareMessageId(*id) == bare_id) {
                best = std::move(message);
                best_id = ref.message_id;
            }
        }
    }
    return best;
}

HRESULT MXStore::FindByMessageId(BSTR messageId, IDispatch** message) {
    return Guard(L"FindByMessageId", [&] {
        const std::wstring wanted = TextOf(messageId);
        const std::wstring_view bare = BareMessageId(wanted);
        if (bare.empty()) return;
        com_ptr<IMXMessage> found;
        if (com_ptr<IStoreIndex> index = Index()) {
            STOREFOLDERID folder = FOLDERID_INVALID;
            MESSAGEID id = MESSAGEID_INVALID;
            if (check_hr(index->FindMessageId(to_ansi(bare.data(), static_cast<int>(bare.size())).c_str(), &folder,
                                              &id)) == S_OK)
                found = MXMessage::MakeIfStored(static_cast<long>(folder), id);
        } else {
            found = FindByWalking(bare);
        }
        *message = found.detach();
    }, message);
}

// --- Fields, names and dates of a message -------------------------------------------------------

HRESULT MXStore::HeaderField(IDispatch* message, BSTR name, BSTR* value) {
    return Guard(L"HeaderField", [&] {
        MessageArgument argument = ResolveMessage(message);
        *value = make_bstr(HeaderValue(argument.message.get(), TextOf(name)).value_or(L"")).release();
    }, value);
}

HRESULT MXStore::FileName(IDispatch* message, long bodyHandle, BSTR* fileName) {
    return Guard(L"FileName", [&] {
        MessageArgument argument = ResolveMessage(message);
        unique_bstr name;
        check_callee(argument.message.get(), argument.message->GetFilename(bodyHandle, name.put()));
        *fileName = name ? name.release() : make_bstr(L"").release();
    }, fileName);
}

HRESULT MXStore::SentDate(IDispatch* message, VARIANT* sent) {
    if (sent) VariantInit(sent);
    return Guard(L"SentDate", [&] {
        MessageArgument argument = ResolveMessage(message);
        std::optional<std::uint64_t> ticks;
        if (std::optional<std::wstring> date = HeaderValue(argument.message.get(), L"Date"))
            ticks = MailDateTicks(*date);
        V_VT(sent) = VT_NULL;
        if (ticks) WriteDate(FILETIME{static_cast<DWORD>(*ticks), static_cast<DWORD>(*ticks >> 32)}, sent);
    }, sent);
}

HRESULT MXStore::ReceivedDate(IDispatch* message, VARIANT* received) {
    if (received) VariantInit(received);
    return Guard(L"ReceivedDate", [&] {
        MessageArgument argument = ResolveMessage(message);
        V_VT(received) = VT_NULL;
        com_ptr<IStoreFolder> folder;
        IStoreNamespace* store = Namespace();
        if (!argument.stored || !store ||
            FAILED(store->OpenFolder(static_cast<STOREFOLDERID>(argument.folder_id), 0, folder.put())) || !folder)
            return;
        MessageProps props(folder.get());
        if (FAILED(folder->GetMessageProps(static_cast<MESSAGEID>(argument.message_id), 0, props.put()))) return;
        props.set_filled();
        WriteDate(props->ftReceived, received);
    }, received);
}

// --- The change feed ----------------------------------------------------------------------------

std::wstring MXStore::HistoryOf(IStoreIndex* index) {
    GUID history = GUID_NULL;
    check_hr(index->GetHistoryId(&history));
    wchar_t text[40] = {};
    StringFromGUID2(history, text, 40);
    return text;
}

unsigned long long MXStore::SequenceOf(IStoreIndex* index, BSTR cursor) {
    std::optional<unsigned long long> sequence = ParseChangeCursor(TextOf(cursor), HistoryOf(index));
    // A cursor past the newest change names a future of this history: the store was put back from
    // a copy, which keeps its history id. Waiting for that number would miss everything before it.
    ULONGLONG newest = 0;
    check_hr(index->GetChangeCursor(&newest));
    if (!sequence || *sequence > newest) ThrowRescan();
    return *sequence;
}

HRESULT MXStore::ChangeCursor(BSTR* cursor) {
    return Guard(L"ChangeCursor", [&] {
        com_ptr<IStoreIndex> index = IndexForChanges();
        ULONGLONG sequence = 0;
        check_hr(index->GetChangeCursor(&sequence));
        *cursor = make_bstr(FormatChangeCursor(HistoryOf(index.get()), sequence)).release();
    }, cursor);
}

HRESULT MXStore::Changes(BSTR cursor, IMXChangeCollection** changes) {
    return Guard(L"Changes", [&] {
        com_ptr<IStoreIndex> index = IndexForChanges();
        const std::wstring history = HistoryOf(index.get());
        ULONGLONG after = SequenceOf(index.get(), cursor);
        std::vector<com_ptr<IMXChange>> found;
        STORECHANGE batch[kChangeBatch];
        for (;;) {
            DWORD fetched = 0;
            const HRESULT hr = index->GetChanges(after, kChangeBatch, batch, &fetched);
            if (hr == STORE_E_HISTORYGONE) ThrowRescan();
            check_hr(hr);
            for (DWORD i = 0; i < fetched && i < kChangeBatch; ++i) {
                const STORECHANGE& change = batch[i];
                after = change.ullSequence;
                // A kind this library does not know yet is passed over; its cursor still moves on.
                if (change.dwKind < 1 || change.dwKind > std::size(kKindNames)) continue;
                const bool message = change.dwKind <= STORECHANGE_MESSAGECHANGED;
                found.push_back(MXChange::Make(kKindNames[change.dwKind - 1], static_cast<long>(change.idFolder),
                                               message ? static_cast<long>(change.idMessage) : 0L,
                                               FormatChangeCursor(history, change.ullSequence)));
            }
            if (hr != S_OK || fetched == 0) break;
        }
        *changes = MXChangeCollection::Make(std::move(found)).detach();
    }, changes);
}

HRESULT MXStore::WaitForChanges(BSTR cursor, long timeoutMs, VARIANT_BOOL* changed) {
    return Guard(L"WaitForChanges", [&] {
        *changed = VARIANT_FALSE;
        if (timeoutMs < 0) throw_described(E_INVALIDARG, kNegativeTimeout);
        com_ptr<IStoreIndex> index = IndexForChanges();
        const ULONGLONG after = SequenceOf(index.get(), cursor);
        const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(timeoutMs);
        for (;;) {
            STORECHANGE change{};
            DWORD fetched = 0;
            const HRESULT hr = index->GetChanges(after, 1, &change, &fetched);
            if (hr == STORE_E_HISTORYGONE) ThrowRescan();
            check_hr(hr);
            if (fetched > 0) {
                *changed = VARIANT_TRUE;
                return;
            }
            const ULONGLONG now = GetTickCount64();
            if (now >= deadline) return;
            // The host's window messages keep flowing while the script waits.
            const DWORD wait = static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, kPollMs));
            MsgWaitForMultipleObjectsEx(0, nullptr, wait, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                if (msg.message == WM_QUIT) {
                    // The host is ending: give the quit back to its own loop and stop waiting.
                    PostQuitMessage(static_cast<int>(msg.wParam));
                    return;
                }
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
    }, changed);
}

}  // namespace pelkary
