// MXMessage: Commit, Clone and Send. Changes made to bodies and properties live in the MIME object
// until Commit serialises them (and saves an unsaved message into its folder); Clone makes an
// unsaved copy of a stored message; Send stamps the default mail account and places a copy in the
// Outbox flagged as submitted.

#include <cstdio>

#include "comsupport/com_error.h"
#include "comsupport/com_ptr.h"
#include "comsupport/error_boundary.h"
#include "comsupport/scope_exit.h"
#include "comsupport/text.h"
#include "comsupport/unique_propvariant.h"
#include "frame/object_creation.h"
#include "messages/body_handle.h"
#include "messages/mail_account.h"
#include "messages/mx_message.h"
#include "mimeengine/mail_time.h"
#include "notify/store_session.h"

namespace pelkary {

namespace {

constexpr DWORD kCommitNew = 0;
constexpr DWORD kCommitToStore = COMMIT_REUSESTORAGE;  // writes back through the store
constexpr char kAccountNameProperty[] = "att:athena-account-name";
constexpr char kDateField[] = "Date";
constexpr char kMessageIdField[] = "Message-ID";

com_ptr<IStoreFolder> OpenOutbox(IStoreNamespace* store) noexcept {
    com_ptr<IStoreFolder> outbox;
    if (!store || FAILED(store->OpenSpecialFolder(FOLDER_OUTBOX, 0, outbox.put()))) outbox.reset();
    return outbox;
}

bool HasField(IMimeMessage* message, const char* name) noexcept {
    unique_propvariant value;
    value.vt = VT_LPSTR;
    const HRESULT hr = message->GetProp(name, 0, &value);
    return hr == S_OK && value.vt == VT_LPSTR && value.pszVal && *value.pszVal;
}

bool SetField(IMimeMessage* message, const char* name, const std::string& text) noexcept {
    PROPVARIANT value;
    PropVariantInit(&value);
    value.vt = VT_LPSTR;
    value.pszVal = const_cast<char*>(text.c_str());
    return SUCCEEDED(message->SetProp(name, 0, &value));
}

// "Sun, 06 Dec 2026 04:05:06 +0100": now, in local time with its offset from UTC.
std::string LocalDateField() {
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    FILETIME utc{}, local{};
    GetSystemTimeAsFileTime(&utc);
    SYSTEMTIME t{};
    if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &t)) throw com_error(E_FAIL);
    auto ticks = [](const FILETIME& f) {
        return static_cast<LONGLONG>((ULONGLONG{f.dwHighDateTime} << 32) | f.dwLowDateTime);
    };
    constexpr auto kTicksPerMinute = static_cast<LONGLONG>(60 * mimeengine::kFiletimeTicksPerSecond);
    const long minutes = static_cast<long>((ticks(local) - ticks(utc)) / kTicksPerMinute);
    const long offset = minutes < 0 ? -minutes : minutes;
    char text[64];
    snprintf(text, sizeof text, "%s, %02u %s %04u %02u:%02u:%02u %c%02ld%02ld", kDays[t.wDayOfWeek % 7], t.wDay,
             kMonths[(t.wMonth + 11) % 12], t.wYear, t.wHour, t.wMinute, t.wSecond, minutes < 0 ? '-' : '+',
             offset / 60, offset % 60);
    return text;
}

// "<20261206040506.1f2e...@domain>": the UTC time and 128 random bits make it unique.
std::string NewMessageId(const std::string& domain) {
    GUID random{};
    check_hr(CoCreateGuid(&random));
    SYSTEMTIME t{};
    GetSystemTime(&t);
    char text[128];
    snprintf(text, sizeof text, "<%04u%02u%02u%02u%02u%02u.%08lx%04x%04x", t.wYear, t.wMonth, t.wDay, t.wHour,
             t.wMinute, t.wSecond, static_cast<unsigned long>(random.Data1), random.Data2, random.Data3);
    std::string id = text;
    for (unsigned char byte : random.Data4) {
        snprintf(text, sizeof text, "%02x", byte);
        id += text;
    }
    return id + "@" + domain + ">";
}

// `message` itself when it has a Date and a Message-ID; else a copy of it that has both. Null
// when the copy cannot be made.
com_ptr<IMimeMessage> WithDateAndMessageId(const com_ptr<IMimeMessage>& message, const std::string& domain) {
    const bool has_date = HasField(message.get(), kDateField);
    const bool has_id = HasField(message.get(), kMessageIdField);
    if (has_date && has_id) return message;
    com_ptr<IStream> source;
    com_ptr<IMimeMessage> copy;
    if (FAILED(message->GetMessageSource(source.put(), 0)) || !source ||
        FAILED(CoCreateInstance(CLSID_IMimeMessage, nullptr, CLSCTX_INPROC_SERVER, IID_IMimeMessage,
                                copy.put_void())) || !copy)
        return nullptr;
    LARGE_INTEGER zero{};
    try {
        if (FAILED(source->Seek(zero, STREAM_SEEK_SET, nullptr)) || FAILED(copy->Load(source.get())) ||
            (!has_date && !SetField(copy.get(), kDateField, LocalDateField())) ||
            (!has_id && !SetField(copy.get(), kMessageIdField, NewMessageId(domain))))
            return nullptr;
    } catch (const com_error&) {
        return nullptr;
    }
    return copy;
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
// object. The submitted flag stays in the save state whatever the outcome of the save. Mail needs
// a Date and a Message-ID: when the message lacks either, the Outbox gets a copy that has them,
// and the object keeps exactly what the client built. A failure leaves the result 0 with S_OK
// and an error object that says why, for the clients that ask (GetErrorInfo).
HRESULT MXMessage::Send(long *result) {
    return Guard(L"Send", [&] {
        *result = 0;
        SetErrorInfo(0, nullptr);
        std::wstring failure;
        auto fail = [&](const wchar_t* why) {
            if (why) failure = why;
            const std::wstring source = ErrorSource{kIdentity.class_name, L"Send", *kIdentity.iid}.composed();
            set_error_object(S_OK, failure.c_str(), source.c_str(), *kIdentity.iid, nullptr, 0);
        };
        if (!EnsureMimeMessage()) return fail(L"The message cannot be loaded.");
        if (FAILED(mimeMessage_->Commit(IsStored() ? kCommitToStore : kCommitNew)))
            return fail(L"The message cannot be committed.");
        std::optional<MailAccount> account = MailAccount::ReadDefault(failure);
        if (!account) return fail(nullptr);
        if (!WriteBodyProperty(-1, PropertyIdAsName(MX_PID_ATT_ACCOUNT), account->id) ||
            !WriteBodyProperty(-1, kAccountNameProperty, account->name))
            return fail(L"The mail account cannot be recorded in the message.");
        com_ptr<IMimeMessage> outgoing = WithDateAndMessageId(mimeMessage_, account->Domain());
        if (!outgoing) return fail(L"The message cannot be given a Date and a Message-ID.");
        com_ptr<IStoreFolder> outbox = OpenOutbox(Namespace());
        if (!outbox) return fail(L"The Outbox cannot be opened.");
        saveState_ |= MX_MSG_SUBMITTED;
        MESSAGEID id = MESSAGEID_INVALID;
        if (FAILED(outbox->SaveMessage(IID_IMimeMessage, outgoing.get(), static_cast<DWORD>(saveState_), &id)))
            return fail(L"The message cannot be saved into the Outbox.");
        if (IsStored()) mimeMessage_.reset();
        *result = 1;
    }, result);
}

}  // namespace pelkary
