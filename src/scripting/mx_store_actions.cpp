// MXStore, version 1.1's actions on messages and folders: Send that says why not, a folder by its
// path, and moves and copies that give the new message.
#include "comsupport/com_error.h"
#include "comsupport/text.h"
#include "comsupport/unique_bstr.h"
#include "folders/message_props.h"
#include "folders/mx_folder.h"
#include "messages/mx_message.h"
#include "scripting/folder_path_text.h"
#include "scripting/message_text.h"
#include "scripting/mx_store.h"
#include "scripting/store_walk.h"

namespace pelkary {

namespace {

constexpr wchar_t kNoRecipient[] = L"The message was not sent: it names no recipient in To, Cc or Bcc.";
constexpr wchar_t kNotSent[] = L"The message was not sent: ";
constexpr wchar_t kNotStored[] =
    L"The message is not stored: commit it into a folder first (MXMessage.Commit), then move or copy it.";

bool HasRecipient(IMXMessage* message) {
    for (const wchar_t* field : {L"To", L"Cc", L"Bcc"}) {
        std::optional<std::wstring> value = HeaderValue(message, field);
        if (value && value->find_first_not_of(L" \t\r\n,;") != std::wstring::npos) return true;
    }
    return false;
}

// The child of `parent` named `name` (letter case ignored, as the store compares names), or
// FOLDERID_INVALID.
STOREFOLDERID ChildNamed(IStoreNamespace* store, STOREFOLDERID parent, const std::wstring& name) {
    for (const FolderEntry& child : SubFolders(store, static_cast<long>(parent)))
        if (CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, child.name.c_str(), -1, name.c_str(), -1) == CSTR_EQUAL)
            return static_cast<STOREFOLDERID>(child.id);
    return FOLDERID_INVALID;
}

bool FolderExists(IStoreNamespace* store, STOREFOLDERID id) {
    FOLDERPROPS props = EmptyFolderProps();
    return store && SUCCEEDED(store->GetFolderProps(id, 0, &props));
}

}  // namespace

HRESULT MXStore::Send(IDispatch* message) {
    return Guard(L"Send", [&] {
        MessageArgument argument = ResolveMessage(message);
        if (!HasRecipient(argument.message.get())) throw_described(E_FAIL, kNoRecipient);
        long sent = 0;
        SetErrorInfo(0, nullptr);
        check_callee(argument.message.get(), argument.message->Send(&sent));
        if (sent) return;
        // The published Send leaves its reason in the thread's error object.
        com_ptr<IErrorInfo> info;
        unique_bstr why;
        if (GetErrorInfo(0, info.put()) != S_OK || !info || FAILED(info->GetDescription(why.put())) || !why)
            why = make_bstr(L"the store refused it.");
        throw_described(E_FAIL, (std::wstring(kNotSent) + std::wstring(why.get(), why.length())).c_str());
    });
}

HRESULT MXStore::FolderByPath(BSTR path, IDispatch** folder) {
    return Guard(L"FolderByPath", [&] {
        IStoreNamespace* store = Namespace();
        if (!store) return;
        const ParsedFolderPath parsed = ParseFolderPath(TextOf(path));
        STOREFOLDERID id = FOLDERID_ROOT;
        if (parsed.is_id) {
            id = FolderExists(store, parsed.id) ? parsed.id : FOLDERID_INVALID;
        } else {
            for (const std::wstring& name : parsed.names)
                if ((id = ChildNamed(store, id, name)) == FOLDERID_INVALID) break;
            // One name of digits alone, and no top-level folder of that name: the folder with that id.
            if (id == FOLDERID_INVALID && parsed.bare_number && FolderExists(store, parsed.id)) id = parsed.id;
        }
        if (id == FOLDERID_INVALID) return;
        com_ptr<IMXFolder> found = MXFolder::CreateById(static_cast<long>(id));
        *folder = found.detach();
    }, folder);
}

MESSAGEID MXStore::Transfer(const MessageArgument& argument, long folder_id, bool move) {
    if (!argument.stored) throw_described(E_INVALIDARG, kNotStored);
    IStoreNamespace* store = Namespace();
    if (!store) throw_described(E_FAIL, L"The mail store cannot be opened.");
    com_ptr<IStoreFolder> source, target;
    if (FAILED(store->OpenFolder(static_cast<STOREFOLDERID>(argument.folder_id), 0, source.put())) || !source)
        throw_described(E_INVALIDARG, kNotStored);
    if (folder_id == 0 || FAILED(store->OpenFolder(static_cast<STOREFOLDERID>(folder_id), 0, target.put())) ||
        !target)
        throw_described(E_INVALIDARG, (L"There is no folder " + std::to_wstring(folder_id) +
                                      L" to hold messages: take the id from GetID or FolderByPath.").c_str());
    const MESSAGEID id = static_cast<MESSAGEID>(argument.message_id);
    MessageProps props(source.get());
    if (FAILED(source->GetMessageProps(id, 0, props.put()))) throw_described(E_INVALIDARG, kNotStored);
    props.set_filled();
    const Arrival arrival{props->ftReceived, props->cbMessage};

    // The store gives the copy a new id without saying it; the change history names it.
    com_ptr<IStoreIndex> index = IndexForChanges();
    ULONGLONG before = 0;
    check_hr(index->GetChangeCursor(&before));
    MESSAGEID one = id;
    MESSAGEIDLIST list{sizeof(MESSAGEIDLIST), 1, &one};
    // Every flag the message does not carry is removed, so the copy keeps exactly its flags.
    check_hr(store->CopyMoveMessages(source.get(), target.get(), &list, move ? CMF_MOVE : 0, ~props->dwFlags, nullptr));
    return ArrivedSince(index.get(), before, target.get(), folder_id, arrival);
}

bool MXStore::IsArrival(IStoreFolder* folder, MESSAGEID id, const Arrival& arrival) {
    MessageProps props(folder);
    if (FAILED(folder->GetMessageProps(id, 0, props.put()))) return false;
    props.set_filled();
    return props->cbMessage == arrival.size && CompareFileTime(&props->ftReceived, &arrival.received) == 0;
}

MESSAGEID MXStore::ArrivedSince(IStoreIndex* index, ULONGLONG after, IStoreFolder* folder, long folder_id,
                                const Arrival& arrival) {
    // Another program may add to the folder meanwhile: the first addition that is this message's
    // copy (its size and time of arrival) is it.
    for (;;) {
        STORECHANGE batch[64];
        DWORD fetched = 0;
        check_hr(index->GetChanges(after, 64, batch, &fetched));
        if (fetched == 0) break;
        for (DWORD i = 0; i < fetched; ++i)
            if (batch[i].dwKind == STORECHANGE_MESSAGEADDED && static_cast<long>(batch[i].idFolder) == folder_id &&
                IsArrival(folder, batch[i].idMessage, arrival))
                return batch[i].idMessage;
        after = batch[fetched - 1].ullSequence;
    }
    throw_described(E_FAIL, L"The store did not say where the message went.");
}

HRESULT MXStore::Move(IDispatch* message, long folderId, IDispatch** moved) {
    return Guard(L"Move", [&] {
        const MESSAGEID id = Transfer(ResolveMessage(message), folderId, true);
        *moved = MXMessage::MakeIfStored(folderId, id).detach();
    }, moved);
}

HRESULT MXStore::Copy(IDispatch* message, long folderId, IDispatch** copy) {
    return Guard(L"Copy", [&] {
        const MESSAGEID id = Transfer(ResolveMessage(message), folderId, false);
        *copy = MXMessage::MakeIfStored(folderId, id).detach();
    }, copy);
}

}  // namespace pelkary
