#include "messages/mx_message.h"

#include "comsupport/com_error.h"
#include "comsupport/com_ptr.h"
#include "comsupport/text.h"
#include "comsupport/unique_bstr.h"
#include "frame/object_creation.h"
#include "messages/message_folder.h"
#include "notify/deletion_seal.h"
#include "notify/store_session.h"

namespace pelkary {

namespace {

// The mark that makes a permanent delete final once the message reaches the deleted-items folder.
constexpr wchar_t kDeletionMarkName[] = L"X_NUVAK_DELETED";
constexpr wchar_t kDeletionMarkValue[] = L"True";

}  // namespace

const ClassIdentity MXMessage::kIdentity = {L"MXMessage", &CLSID_MXMessage, &IID_IMXMessage};

MXMessage::MXMessage() = default;

com_ptr<IMXMessage> MXMessage::CreateIfStored(long folder_id, unsigned long message_id) {
    CreatedObject<MXMessage> created = CreateByClassId<MXMessage>();
    created.impl->OpenFromStore(folder_id, message_id);
    if (!created.impl->is_stored()) return nullptr;
    return std::move(created.object);
}

com_ptr<IMXMessage> MXMessage::MakeIfStored(long folder_id, unsigned long message_id, SharedFolder* shared) {
    CreatedObject<MXMessage> created = BuildInModule<MXMessage>();
    MXMessage* made = created.impl;
    if (shared && shared->folder && shared->id == folder_id) {
        made->folderId_ = folder_id;
        made->storeFolder_ = shared->folder;
        made->record_ = made->ReadRecord(message_id);
        made->gone_ = !made->record_;
    } else {
        made->OpenFromStore(folder_id, message_id);
        if (shared) *shared = SharedFolder{folder_id, made->storeFolder_};
    }
    if (!made->is_stored()) return nullptr;
    return std::move(created.object);
}

HRESULT MXMessage::Identity::GetStoreIdentity(long* folderId, long* messageId) {
    if (!folderId || !messageId) return E_POINTER;
    *folderId = message_.folderId_;
    *messageId = message_.IsStored() ? static_cast<long>(message_.record_->dwMessageId) : -1L;
    return message_.IsStored() ? S_OK : S_FALSE;
}

IMimeAllocator* MXMessage::Allocator() noexcept {
    if (!allocatorTried_) {
        allocatorTried_ = true;
        if (FAILED(CoCreateInstance(CLSID_IMimeAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMimeAllocator,
                                    allocator_.put_void())))
            allocator_.reset();
    }
    return allocator_.get();
}

MXMessage::~MXMessage() = default;

void MXMessage::Teardown() {
    DropRecord();
    storeFolder_.reset();
    ResetSourceCursor();
    attachmentHandles_.reset();
    allocator_.reset();
    propertyEnumerator_.reset();
    mimeMessage_.reset();
    headerCache_.clear();
    headerCache_.shrink_to_fit();
    readBuffer_ = std::vector<char>();
    // Last: leaving may end the session, and nothing here uses it afterwards.
    if (StoreSession* session = std::exchange(session_, nullptr)) session->LeaveUser();
}

void MXMessage::DropRecord() noexcept {
    if (!record_) return;
    if (storeFolder_) storeFolder_->FreeMessageProps(record_.get());
    record_.reset();
}

MXMessage::Record MXMessage::ReadRecord(unsigned long message_id) {
    if (!storeFolder_) return nullptr;
    auto record = std::make_unique<MESSAGEPROPS>();
    record->cbSize = sizeof(MESSAGEPROPS);
    if (FAILED(storeFolder_->GetMessageProps(message_id, 0, record.get()))) return nullptr;
    return record;
}

IStoreNamespace* MXMessage::Namespace() noexcept {
    if (!session_) session_ = StoreSession::JoinUser();
    return session_ ? session_->namespace_() : nullptr;
}

com_ptr<IStoreFolder> MXMessage::OpenStoreFolder(long folder_id) noexcept {
    com_ptr<IStoreFolder> folder;
    IStoreNamespace* store = Namespace();
    if (!store || FAILED(store->OpenFolder(static_cast<STOREFOLDERID>(folder_id), 0, folder.put())))
        folder.reset();
    return folder;
}

void MXMessage::OpenFromStore(long folder_id, unsigned long message_id) {
    folderId_ = folder_id;
    if (storeFolder_) {
        DropRecord();
        storeFolder_.reset();
    }
    storeFolder_ = OpenStoreFolder(folder_id);
    if (storeFolder_) record_ = ReadRecord(message_id);
    gone_ = !record_;
}

bool MXMessage::EnsureMimeMessage() noexcept {
    if (mimeMessage_) return true;
    if (gone_) return false;
    if (!IsStored()) {
        HRESULT hr = CoCreateInstance(CLSID_IMimeMessage, nullptr, CLSCTX_INPROC_SERVER, IID_IMimeMessage,
                                      mimeMessage_.put_void());
        if (FAILED(hr)) mimeMessage_.reset();
        return static_cast<bool>(mimeMessage_);
    }
    if (!storeFolder_) return false;
    if (FAILED(storeFolder_->OpenMessage(record_->dwMessageId, IID_IMimeMessage, mimeMessage_.put_void())))
        mimeMessage_.reset();
    return static_cast<bool>(mimeMessage_);
}

// Identity and state: answers without a boundary.

HRESULT MXMessage::GetID(long *result) {
    return Answer(result, IsStored() ? static_cast<long>(record_->dwMessageId) : -1L);
}

HRESULT MXMessage::GetFolderID(long *result) { return Answer(result, folderId_); }

HRESULT MXMessage::SetFolderID(long folderId) {
    folderId_ = folderId;
    return S_OK;
}

HRESULT MXMessage::GetState(long *result) {
    return Answer(result, IsStored() ? static_cast<long>(record_->dwState) : 0L);
}

HRESULT MXMessage::SetState(long state) {
    saveState_ = state;
    return S_OK;
}

HRESULT MXMessage::HasHighPriority(long *result) {
    return Answer(result, IsStored() && record_->priority == IMSG_PRI_HIGH ? 1L : 0L);
}

HRESULT MXMessage::HasNormalPriority(long *result) {
    return Answer(result, IsStored() && record_->priority == IMSG_PRI_NORMAL ? 1L : 0L);
}

HRESULT MXMessage::HasLowPriority(long *result) {
    return Answer(result, IsStored() && record_->priority == IMSG_PRI_LOW ? 1L : 0L);
}

// The four header strings of the record, converted from the ANSI code page.

HRESULT MXMessage::RecordText(const wchar_t* method, LPSTR MESSAGEPROPS::*field, BSTR* result) {
    return Guard(method, [&] {
        if (IsStored()) *result = ansi_to_bstr(record_.get()->*field).release();
    }, result);
}

HRESULT MXMessage::GetSubject(BSTR *result) {
    return RecordText(L"GetSubject", &MESSAGEPROPS::pszSubject, result);
}
HRESULT MXMessage::GetNormalSubject(BSTR *result) {
    return RecordText(L"GetNormalSubject", &MESSAGEPROPS::pszNormalSubject, result);
}
HRESULT MXMessage::GetDisplayTo(BSTR *result) {
    return RecordText(L"GetDisplayTo", &MESSAGEPROPS::pszDisplayTo, result);
}
HRESULT MXMessage::GetDisplayFrom(BSTR *result) {
    return RecordText(L"GetDisplayFrom", &MESSAGEPROPS::pszDisplayFrom, result);
}

// Read marking goes through a short-lived folder object, made the way a client would make it, so
// that the folder's own rules (and its failures, with their error objects) apply. The record is
// not re-read: GetState keeps reporting the flags the message was opened with.

HRESULT MXMessage::MarkThroughFolder(const wchar_t* method, HRESULT (STDMETHODCALLTYPE IMXFolder::*mark)(long, long*),
                                     long* result) {
    return Guard(method, [&] {
        *result = 0;
        if (!IsStored()) return;
        com_ptr<IMXFolder> folder = OpenMessageFolder(folderId_);
        long marked = 0;
        check_callee(folder.get(), (folder.get()->*mark)(static_cast<long>(record_->dwMessageId), &marked));
        *result = marked;
    }, result);
}

HRESULT MXMessage::MarkAsRead(long *result) {
    return MarkThroughFolder(L"MarkAsRead", &IMXFolder::MarkAsRead, result);
}

HRESULT MXMessage::MarkAsUnread(long *result) {
    return MarkThroughFolder(L"MarkAsUnread", &IMXFolder::MarkAsUnread, result);
}

// A permanent delete first writes the deletion mark into the stored source (a commit of a message
// opened from the store writes back through the store), so the copy that reaches the deleted-items
// folder carries it and is removed for good there. The object keeps its record afterwards.
HRESULT MXMessage::Delete(long permanent, long *result) {
    return Guard(L"Delete", [&] {
        *result = 0;
        if (!IsStored() || !storeFolder_) return;
        MESSAGEID id = record_->dwMessageId;
        MESSAGEIDLIST list{};
        list.cbSize = sizeof(MESSAGEIDLIST);
        list.cMsgs = 1;
        list.prgdwMsgId = &id;
        if (permanent) {
            unique_bstr name = make_bstr(kDeletionMarkName);
            unique_bstr value = make_bstr(kDeletionMarkValue);
            SetBodyPropByNameInternal(-1, name.get(), value.get());
            const std::string seal = IssueDeletionSeal();
            if (!seal.empty()) {
                const std::string_view header = kDeletionSealHeader;
                unique_bstr seal_name = make_bstr(std::wstring(header.begin(), header.end()));
                unique_bstr seal_value = make_bstr(std::wstring(seal.begin(), seal.end()));
                SetBodyPropByNameInternal(-1, seal_name.get(), seal_value.get());
            }
            CommitInternal();
        }
        *result = SUCCEEDED(storeFolder_->DeleteMessages(&list, 0, nullptr)) ? 1 : 0;
    }, result);
}

}  // namespace pelkary
