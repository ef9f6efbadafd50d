#include "folders/mx_folder.h"

#include <cstring>

#include "comsupport/com_error.h"
#include "comsupport/com_ptr.h"
#include "comsupport/text.h"
#include "comsupport/unique_henumstore.h"
#include "folders/message_props.h"
#include "frame/object_creation.h"
#include "messages/message_folder.h"
#include "messages/mx_message.h"
#include "notify/folder_sink.h"
#include "notify/store_session.h"

namespace pelkary {

namespace {

constexpr wchar_t kRootName[] = L"Local Folders";

// A successful store answer that yields an item: S_FALSE (and any other success code) ends a walk.
bool Yields(HRESULT hr) noexcept { return hr == S_OK; }

}  // namespace

const ClassIdentity MXFolder::kIdentity = {L"MXFolder", &CLSID_MXFolder, &IID_IMXFolder};

MXFolder::MXFolder() : session_(StoreSession::JoinFolder(this)) {}

MXFolder::~MXFolder() = default;

void MXFolder::Teardown() {
    messageWalk_.reset();
    childWalk_.reset();
    DetachFolderSink(*this);
    storeFolder_ = nullptr;
    // Last: leaving may end the session, and nothing here uses it afterwards.
    if (StoreSession* session = std::exchange(session_, nullptr)) session->UnregisterFolder(this);
}

IStoreNamespace* MXFolder::Namespace() const noexcept { return session_ ? session_->namespace_() : nullptr; }

FolderEventTarget& FolderEventTargetOf(IMXFolder* folder) { return *ImplOf<MXFolder>(folder); }

com_ptr<IMXFolder> OpenMessageFolder(long folder_id) { return MXFolder::CreateById(folder_id); }

com_ptr<IMXFolder> MXFolder::CreateById(long folder_id) {
    CreatedObject<MXFolder> created = CreateByClassId<MXFolder>();
    created.impl->OpenById(folder_id);
    return std::move(created.object);
}

com_ptr<IMXFolder> MXFolder::CreateIfPresent(long folder_id) {
    CreatedObject<MXFolder> created = CreateByClassId<MXFolder>();
    created.impl->OpenById(folder_id);
    if (!created.impl->storeFolder_) return nullptr;
    return std::move(created.object);
}

com_ptr<IMXFolder> MXFolder::CreateSpecial(long special_type) {
    CreatedObject<MXFolder> created = CreateByClassId<MXFolder>();
    created.impl->OpenSpecial(special_type);
    return std::move(created.object);
}

void MXFolder::OpenById(long folder_id) noexcept {
    folderId_ = folder_id;
    if (folder_id == 0) return;  // the root has no store folder
    IStoreNamespace* store = Namespace();
    if (!store || FAILED(store->OpenFolder(static_cast<STOREFOLDERID>(folder_id), 0, storeFolder_.put()))) {
        storeFolder_ = nullptr;
        return;
    }
    FOLDERPROPS props = EmptyFolderProps();
    if (!ReadProps(props)) return;
    specialType_ = props.sfType;
    AttachFolderSink(*this);
}

void MXFolder::OpenSpecial(long special_type) noexcept {
    IStoreNamespace* store = Namespace();
    if (!store ||
        FAILED(store->OpenSpecialFolder(static_cast<SPECIALFOLDER>(special_type), 0, storeFolder_.put()))) {
        storeFolder_ = nullptr;
        return;
    }
    FOLDERPROPS props = EmptyFolderProps();
    if (!ReadProps(props)) return;
    folderId_ = static_cast<long>(props.dwFolderId);
    specialType_ = special_type;
    AttachFolderSink(*this);
}

bool MXFolder::ReadProps(FOLDERPROPS& props) const noexcept {
    return storeFolder_ && SUCCEEDED(storeFolder_->GetFolderProps(0, &props));
}

com_ptr<IMXMessage> MXFolder::MessageById(unsigned long message_id) {
    CreatedObject<MXMessage> created = CreateByClassId<MXMessage>();
    created.impl->OpenFromStore(folderId_, message_id);
    return std::move(created.object);
}

com_ptr<IMXMessage> MXFolder::MessageIfPresent(unsigned long message_id) {
    return MXMessage::CreateIfStored(folderId_, message_id);
}

// --- Always answering ---------------------------------------------------------------------------

HRESULT MXFolder::GetID(long *result) { return Answer(result, folderId_); }
// A folder deleted after it was opened keeps its store folder, which no longer answers.
HRESULT MXFolder::IsNull(long *result) {
    FOLDERPROPS props = EmptyFolderProps();
    return Answer(result, ReadProps(props) ? 0 : 1);
}
HRESULT MXFolder::IsInbox(long *result) { return Answer(result, SpecialTest(FOLDER_INBOX)); }
HRESULT MXFolder::IsOutbox(long *result) { return Answer(result, SpecialTest(FOLDER_OUTBOX)); }
HRESULT MXFolder::IsSent(long *result) { return Answer(result, SpecialTest(FOLDER_SENT)); }
HRESULT MXFolder::IsDeleted(long *result) { return Answer(result, SpecialTest(FOLDER_DELETED)); }
HRESULT MXFolder::IsDraft(long *result) { return Answer(result, SpecialTest(FOLDER_DRAFT)); }

// --- Child walk ---------------------------------------------------------------------------------

com_ptr<IMXFolder> MXFolder::FirstChild() {
    // A folder the store failed to open has no children to show; the root always has.
    if (!storeFolder_ && folderId_ != 0) return nullptr;
    childWalk_.reset();
    IStoreNamespace* store = Namespace();
    if (!store) return nullptr;
    FOLDERPROPS props = EmptyFolderProps();
    unique_henumstore<IStoreNamespace> walk;
    if (!Yields(store->GetFirstSubFolder(static_cast<STOREFOLDERID>(folderId_), &props, walk.put(store))) || !walk)
        return nullptr;
    childWalk_ = std::move(walk);
    // A child deleted after the store listed it is skipped.
    if (com_ptr<IMXFolder> child = CreateIfPresent(static_cast<long>(props.dwFolderId))) return child;
    return NextChild();
}

com_ptr<IMXFolder> MXFolder::NextChild() {
    if (!storeFolder_ && folderId_ != 0) return nullptr;
    if (!childWalk_) return FirstChild();
    IStoreNamespace* store = Namespace();
    for (;;) {
        FOLDERPROPS props = EmptyFolderProps();
        if (!store || !Yields(store->GetNextSubFolder(childWalk_.get(), &props))) {
            childWalk_.reset();  // the next call starts again with the first child
            return nullptr;
        }
        if (com_ptr<IMXFolder> child = CreateIfPresent(static_cast<long>(props.dwFolderId))) return child;
    }
}

HRESULT MXFolder::GetFirstChild(::MXFolder **result) {
    return Guard(L"GetFirstChild", [&] { HandOut(FirstChild(), result); }, result);
}

HRESULT MXFolder::GetNextChild(::MXFolder **result) {
    return Guard(L"GetNextChild", [&] { HandOut(NextChild(), result); }, result);
}

// --- Message walk and lookup --------------------------------------------------------------------

com_ptr<IMXMessage> MXFolder::FirstMessage() {
    if (folderId_ == 0 || !storeFolder_) return nullptr;
    messageWalk_.reset();
    MessageProps props(storeFolder_.get());
    unique_henumstore<IStoreFolder> walk;
    if (!Yields(storeFolder_->GetFirstMessage(MSGPROPS_FAST, 0, MESSAGEID_FIRST, props.put(),
                                              walk.put(storeFolder_.get()))))
        return nullptr;
    props.set_filled();
    messageWalk_ = std::move(walk);
    // A message that left the folder after the store listed it is skipped, like those below.
    if (com_ptr<IMXMessage> message = MessageIfPresent(props->dwMessageId)) return message;
    return NextMessage();
}

com_ptr<IMXMessage> MXFolder::NextMessage() {
    if (folderId_ == 0 || !storeFolder_) return nullptr;
    if (!messageWalk_) return FirstMessage();
    for (;;) {
        MessageProps props(storeFolder_.get());
        if (!Yields(storeFolder_->GetNextMessage(messageWalk_.get(), MSGPROPS_FAST, props.put()))) {
            messageWalk_.reset();  // the next call starts again with the first message
            return nullptr;
        }
        props.set_filled();
        if (com_ptr<IMXMessage> message = MessageIfPresent(props->dwMessageId)) return message;
    }
}

HRESULT MXFolder::GetFirstMessage(::MXMessage **result) {
    return Guard(L"GetFirstMessage", [&] { HandOut(FirstMessage(), result); }, result);
}

HRESULT MXFolder::GetNextMessage(::MXMessage **result) {
    return Guard(L"GetNextMessage", [&] { HandOut(NextMessage(), result); }, result);
}

com_ptr<IMXMessage> MXFolder::LookUpMessage(long msgId) {
    // The id is not checked against 0: the root has no store folder and finds nothing anyway.
    if (!storeFolder_) return nullptr;
    MessageProps props(storeFolder_.get());
    if (FAILED(storeFolder_->GetMessageProps(static_cast<MESSAGEID>(msgId), 0, props.put()))) return nullptr;
    props.set_filled();
    return MessageById(props->dwMessageId);
}

HRESULT MXFolder::GetMessage(long msgId, ::MXMessage **result) {
    return Guard(L"GetMessage", [&] { HandOut(LookUpMessage(msgId), result); }, result);
}

// --- Message changes ----------------------------------------------------------------------------

HRESULT MXFolder::CreateMessage(BSTR msgSource, ::MXMessage **result) {
    return Guard(L"CreateMessage", [&] {
        if (!storeFolder_) return;
        // Converted before the store is asked for a stream, so that a failed conversion leaves
        // no stream behind.
        const std::string source = bstr_to_ansi(msgSource);
        com_ptr<IStream> stream;
        MESSAGEID id = MESSAGEID_INVALID;
        if (FAILED(storeFolder_->CreateStream(nullptr, 0, stream.put(), &id)) || !stream) return;
        ULONG written = 0;
        if (FAILED(stream->Write(source.data(), static_cast<ULONG>(source.size()), &written))) return;
        if (FAILED(storeFolder_->CommitStream(nullptr, 0, 0, stream.get(), id, nullptr))) return;
        stream = nullptr;
        HandOut(MessageById(id), result);
    }, result);
}

HRESULT MXFolder::DeleteMessage(long msgId, long permanent, long *result) {
    return Guard(L"DeleteMessage", [&] {
        *result = 0;
        com_ptr<IMXMessage> message = LookUpMessage(msgId);
        if (!message) return;
        long deleted = 0;
        // A failure keeps the message's own error object: the client learns what went wrong there.
        check_callee(message.get(), message->Delete(permanent, &deleted));
        *result = deleted;
    }, result);
}

long MXFolder::MarkMessage(long msgId, BOOL read) noexcept {
    if (!storeFolder_) return 0;
    MESSAGEID id = static_cast<MESSAGEID>(msgId);
    MESSAGEIDLIST list{sizeof(MESSAGEIDLIST), 1, &id};
    return SUCCEEDED(storeFolder_->MarkMessagesAsRead(read, 0, &list)) ? 1 : 0;
}

HRESULT MXFolder::MarkAsRead(long msgId, long *result) {
    return Guard(L"MarkAsRead", [&] { *result = MarkMessage(msgId, TRUE); }, result);
}

HRESULT MXFolder::MarkAsUnread(long msgId, long *result) {
    return Guard(L"MarkAsUnread", [&] { *result = MarkMessage(msgId, FALSE); }, result);
}

// --- The folder itself --------------------------------------------------------------------------

HRESULT MXFolder::Name(BSTR *bstrHi) {
    return Guard(L"Name", [&] {
        if (folderId_ == 0) {
            *bstrHi = make_bstr(kRootName).release();
            return;
        }
        FOLDERPROPS props = EmptyFolderProps();
        if (!ReadProps(props)) {
            *bstrHi = make_bstr(L"").release();
            return;
        }
        *bstrHi = ansi_to_bstr(props.szName, static_cast<int>(strnlen(props.szName, sizeof(props.szName))))
                      .release();
    }, bstrHi);
}

HRESULT MXFolder::Rename(BSTR newName, long *result) {
    return Guard(L"Rename", [&] {
        *result = 0;
        IStoreNamespace* store = Namespace();
        if (folderId_ == 0 || !store) return;
        const std::string name = bstr_to_ansi(newName);
        *result = SUCCEEDED(store->RenameFolder(static_cast<STOREFOLDERID>(folderId_), 0, name.c_str())) ? 1 : 0;
    }, result);
}

HRESULT MXFolder::Move(long newParentId, long *result) {
    return Guard(L"Move", [&] {
        *result = 0;
        IStoreNamespace* store = Namespace();
        if (folderId_ == 0 || !store) return;
        HRESULT hr = store->MoveFolder(static_cast<STOREFOLDERID>(folderId_), static_cast<STOREFOLDERID>(newParentId), 0);
        *result = SUCCEEDED(hr) ? 1 : 0;
    }, result);
}

HRESULT MXFolder::Delete(long *result) {
    return Guard(L"Delete", [&] {
        *result = 0;
        IStoreNamespace* store = Namespace();
        if (folderId_ == 0 || !store) return;
        *result = SUCCEEDED(store->DeleteFolder(static_cast<STOREFOLDERID>(folderId_), 0)) ? 1 : 0;
    }, result);
}

HRESULT MXFolder::CreateFolder(BSTR Name, long *result) {
    return Guard(L"CreateFolder", [&] {
        *result = -1;
        IStoreNamespace* store = Namespace();
        if (!store) return;
        const std::string name = bstr_to_ansi(Name);
        STOREFOLDERID id = FOLDERID_INVALID;
        if (SUCCEEDED(store->CreateFolder(static_cast<STOREFOLDERID>(folderId_), name.c_str(), 0, &id)))
            *result = static_cast<long>(id);
    }, result);
}

HRESULT MXFolder::Count(const wchar_t* method, long (*pick)(const FOLDERPROPS&), long* count) {
    return Guard(method, [&] {
        FOLDERPROPS props = EmptyFolderProps();
        *count = ReadProps(props) ? pick(props) : -1;
    }, count);
}

HRESULT MXFolder::GetSubFolderCount(long *count) {
    return Count(L"GetSubFolderCount", [](const FOLDERPROPS& p) { return static_cast<long>(p.cSubFolders); }, count);
}

HRESULT MXFolder::GetUnreadCount(long *count) {
    return Count(L"GetUnreadCount", [](const FOLDERPROPS& p) { return static_cast<long>(p.cUnread); }, count);
}

HRESULT MXFolder::GetMessageCount(long *count) {
    return Count(L"GetMessageCount", [](const FOLDERPROPS& p) { return static_cast<long>(p.cMessage); }, count);
}

// --- Events -------------------------------------------------------------------------------------

// Raised through the folder's connection point once it has one; until then nobody listens.
void MXFolder::FireOnNewMessage(long msgId) { events_.Fire(DISPID_MXFOLDER_ONNEWMESSAGE, {msgId}); }
void MXFolder::FireOnMessageDeleted(long msgId) { events_.Fire(DISPID_MXFOLDER_ONMESSAGEDELETED, {msgId}); }
void MXFolder::FireOnDeletion() { events_.Fire(DISPID_MXFOLDER_ONDELETION, {}); }

}  // namespace pelkary
