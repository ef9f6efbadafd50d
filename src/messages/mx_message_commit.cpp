// MXMessage: Commit, Clone and Send. Changes made to bodies and properties live in the MIME object
// until Commit serialises them (and saves an unsaved message into its folder); Clone makes an
// unsaved copy of a stored message; Send stamps the default mail account and places a copy in the
// Outbox flagged as submitted.

#include "comsupport/com_ptr.h"
#include "comsupport/scope_exit.h"
#include "comsupport/text.h"
#include "comsupport/unique_propvariant.h"
#include "frame/object_creation.h"
#include "messages/body_handle.h"
#include "messages/mail_account.h"
#include "messages/mx_message.h"
#include "notify/store_session.h"

namespace pelkary {

namespace {

constexpr DWORD kCommitNew = 0;
constexpr DWORD kCommitToStore = COMMIT_REUSESTORAGE;  // writes back through the store
constexpr char kAccountNameProperty[] = "att:athena-account-name";

com_ptr<IStoreFolder> OpenOutbox() noexcept {
    com_ptr<IStoreFolder> outbox;
    StoreSession* session = StoreSession::Get(true);
    IStoreNamespace* store = session ? session->namespace_() : nullptr;
    if (!store || FAILED(store->OpenSpecialFolder(FOLDER_OUTBOX, 0, outbox.put()))) outbox.reset();
    return outbox;
}

}  // namespace

// A message whose MIME object was never loaded has nothing to commit. A stored message commits
// back into its own storage; an unsaved one is saved into folder `folderId_` as a new message and
// from then on is stored (its MIME object is dropped and reloaded from the store on next need).
long MXMessage::CommitInternal() noexcept {
    if (gone_) return 0;
    if (!mimeMessage_) return 1;
    if (IsStored()) return SUCCEEDED(mimeMessage_->Commit(kCommitToStore)) ? 1 : 0;

    if (FAILED(mimeMessage_->Commit(kCommitNew))) return 0;
    if (!storeFolder_) {
        if (folderId_ == -1) return 0;
        storeFolder_ = OpenStoreFolder(folderId_);
        if (!storeFolder_) return 0;
    }
    MESSAGEID id = MESSAGEID_INVALID;
    if (FAILED(storeFolder_->SaveMessage(IID_IMimeMessage, mimeMessage_.get(), static_cast<DWORD>(saveState_), &id)))
        return 0;
    mimeMessage_.reset();
    // A failed record read leaves the message saved in the store while this object stays unsaved.
    try {
        record_ = ReadRecord(id);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return record_ ? 1 : 0;
}

HRESULT MXMessage::Commit(long *result) {
    return Guard(L"Commit", [&] { *result = CommitInternal(); }, result);
}

// The clone carries the stored source of this message (read through a stream of its own, so the
// read position stays where it is) with the current values of its root-body properties, including
// property changes not yet committed. It is unsaved, bound to `folderId` and to the state flags
// this message was opened with.
HRESULT MXMessage::Clone(long folderId, ::MXMessage **result) {
    return Guard(L"Clone", [&] {
        if (!IsStored() || !EnsureMimeMessage() || !Allocator() || !storeFolder_) return;

        com_ptr<IStream> source;
        if (FAILED(storeFolder_->OpenMessage(record_->dwMessageId, IID_IStream, source.put_void())) || !source)
            return;
        LARGE_INTEGER zero{};
        if (FAILED(source->Seek(zero, STREAM_SEEK_SET, nullptr))) return;

        com_ptr<IMimeMessage> copy;
        if (FAILED(CoCreateInstance(CLSID_IMimeMessage, nullptr, CLSCTX_INPROC_SERVER, IID_IMimeMessage,
                                    copy.put_void())) || !copy)
            return;
        if (FAILED(copy->Load(source.get())) || FAILED(copy->Commit(kCommitNew))) return;

        auto clone = CreateByClassId<MXMessage>();
        if (!clone.object) return;
        clone.impl->mimeMessage_ = copy;
        clone.impl->folderId_ = folderId;
        clone.impl->saveState_ = static_cast<long>(record_->dwState);

        // An enumerator of its own: a running GetFirstBodyProp walk is left undisturbed.
        com_ptr<IMimePropertySet> root;
        com_ptr<IMimeEnumProperties> entries;
        if (SUCCEEDED(mimeMessage_->BindToObject(HBODY_ROOT, IID_IMimePropertySet, root.put_void())) && root &&
            SUCCEEDED(root->EnumProps(0, entries.put())) && entries) {
            for (;;) {
                ENUMPROPERTY entry{};
                ULONG fetched = 0;
                if (entries->Next(1, &entry, &fetched) != S_OK || fetched == 0) break;
                auto free_entry = scope_exit([&] { allocator_->FreeEnumPropertyArray(1, &entry, FALSE); });
                unique_propvariant value;
                value.vt = VT_LPSTR;
                HRESULT hr = root->GetProp(entry.pszName, 0, &value);
                if (FAILED(hr) || hr == S_FALSE || !IsPassablePropertyId(static_cast<long>(entry.dwPropId)))
                    continue;
                copy->SetBodyProp(HBODY_ROOT, PropertyIdAsName(static_cast<long>(entry.dwPropId)), 0, &value);
            }
        }
        HandOut(std::move(clone.object), result);
    }, result);
}

// Steps done before a failure stay done: the commit, and the account properties in the MIME
// object. The submitted flag stays in the save state whatever the outcome of the save.
HRESULT MXMessage::Send(long *result) {
    return Guard(L"Send", [&] {
        *result = 0;
        if (!EnsureMimeMessage()) return;
        if (FAILED(mimeMessage_->Commit(IsStored() ? kCommitToStore : kCommitNew))) return;
        std::optional<MailAccount> account = MailAccount::ReadDefault();
        if (!account) return;
        if (!WriteBodyProperty(-1, PropertyIdAsName(MX_PID_ATT_ACCOUNT), account->id)) return;
        if (!WriteBodyProperty(-1, kAccountNameProperty, account->name)) return;
        com_ptr<IStoreFolder> outbox = OpenOutbox();
        if (!outbox) return;
        saveState_ |= MX_MSG_SUBMITTED;
        MESSAGEID id = MESSAGEID_INVALID;
        if (FAILED(outbox->SaveMessage(IID_IMimeMessage, mimeMessage_.get(), static_cast<DWORD>(saveState_), &id)))
            return;
        if (IsStored()) mimeMessage_.reset();
        *result = 1;
    }, result);
}

}  // namespace pelkary
