// Layering: messages owns the message object, its MIME bodies and sending. It may call notify
// (the store session) and frame; a folder of its own comes from messages/message_folder.h, which
// the folders layer provides.
//
// MXMessage: the automation object for one message of the store.
//
// The object keeps no content of its own. It knows the folder and the stored message it stands
// for (through the store's property record of that message), opens the source stream and the
// MIME object only when an operation needs them, and carries the read position, the header cache,
// the property walk and the attachment snapshot of its client.
//
// A message is *stored* while it holds a property record and *unsaved* while it holds none (made
// by a client, or by Clone). Every method answers with S_OK and an empty value (0, -1, "", null)
// when the store or the MIME library refuses something; errors reach the client only for
// failures that throw (object creation through COM, out of memory, failed text conversion, a
// failing call on pelkary's own folder interface).
//
// Apartment-threaded: every call comes on the thread that created the object; no locks.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "comsupport/com_ptr.h"
#include "comsupport/unique_bstr.h"
#include "comsupport/unique_cotaskmem.h"
#include "frame/automation_object.h"
#include "message_identity.h"
#include "mime_api.h"
#include "pelkary.h"
#include "store_api.h"

namespace pelkary {

class StoreSession;

class MXMessage : public AutomationObject<MXMessage, IMXMessage> {
public:
    static const ClassIdentity kIdentity;

    // Every field empty, folder id -1. Never throws.
    MXMessage();

    // IMXMessage: identity, header fields, state (cannot fail: no error boundary).
    HRESULT STDMETHODCALLTYPE GetID(long *result) override;
    HRESULT STDMETHODCALLTYPE GetFolderID(long *result) override;
    HRESULT STDMETHODCALLTYPE SetFolderID(long folderId) override;
    HRESULT STDMETHODCALLTYPE GetState(long *result) override;
    HRESULT STDMETHODCALLTYPE SetState(long state) override;
    HRESULT STDMETHODCALLTYPE HasNormalPriority(long *result) override;
    HRESULT STDMETHODCALLTYPE HasLowPriority(long *result) override;
    HRESULT STDMETHODCALLTYPE HasHighPriority(long *result) override;
    HRESULT STDMETHODCALLTYPE GetSourceLength(long *result) override;
    HRESULT STDMETHODCALLTYPE GetNextAttachment(long *bodyHandle) override;

    // Header strings from the store's record; marking and deletion.
    HRESULT STDMETHODCALLTYPE GetSubject(BSTR *result) override;
    HRESULT STDMETHODCALLTYPE GetNormalSubject(BSTR *result) override;
    HRESULT STDMETHODCALLTYPE GetDisplayTo(BSTR *result) override;
    HRESULT STDMETHODCALLTYPE GetDisplayFrom(BSTR *result) override;
    HRESULT STDMETHODCALLTYPE MarkAsRead(long *result) override;
    HRESULT STDMETHODCALLTYPE MarkAsUnread(long *result) override;
    HRESULT STDMETHODCALLTYPE Delete(long permanent, long *result) override;

    // The raw source, whole or in pieces, through one read position (mx_message_source.cpp).
    HRESULT STDMETHODCALLTYPE GetAllSource(BSTR *result) override;
    HRESULT STDMETHODCALLTYPE GetSource(long maxBytesToRead, BSTR *result) override;
    HRESULT STDMETHODCALLTYPE GetHeader(BSTR *result) override;
    HRESULT STDMETHODCALLTYPE GetHeaderLength(long *result) override;
    HRESULT STDMETHODCALLTYPE GetAllBody(BSTR *result) override;
    HRESULT STDMETHODCALLTYPE GetBody(long maxBytesToRead, BSTR *result) override;
    HRESULT STDMETHODCALLTYPE GetBodyLength(long *result) override;
    HRESULT STDMETHODCALLTYPE GetContentReset() override;
    HRESULT STDMETHODCALLTYPE SaveAsFile(BSTR filename, long *error) override;

    // The MIME body tree and attachments (mx_message_bodies.cpp).
    HRESULT STDMETHODCALLTYPE GetHTMLBody(long *result) override;
    HRESULT STDMETHODCALLTYPE GetPlainBody(long *result) override;
    HRESULT STDMETHODCALLTYPE GetBodyHandle(long prevBodyHandle, enum tagNUVAKBODYLOCATION bodyLoc, long *result) override;
    HRESULT STDMETHODCALLTYPE InsertBody(long bodyHandle, enum tagNUVAKBODYLOCATION bodyLoc, long *newBodyHandle) override;
    HRESULT STDMETHODCALLTYPE DeleteBody(long bodyHandle, enum tagNUVAKBODYDELFLAGS flags, long *success) override;
    HRESULT STDMETHODCALLTYPE IsBodyContentType(long bodyHandle, BSTR priContentType, BSTR secContentType, long *result) override;
    HRESULT STDMETHODCALLTYPE GetBodyPrimaryContentType(long bodyHandle, BSTR *priConType) override;
    HRESULT STDMETHODCALLTYPE GetBodySecondaryContentType(long bodyHandle, BSTR *secConType) override;
    HRESULT STDMETHODCALLTYPE GetBodyDisplayName(long bodyHandle, BSTR *result) override;
    HRESULT STDMETHODCALLTYPE GetBodyText(long bodyHandle, BSTR *result) override;
    HRESULT STDMETHODCALLTYPE SetBodyText(long bodyHandle, BSTR bodyText, BSTR priContentType, BSTR secContentType, long *success) override;
    HRESULT STDMETHODCALLTYPE SaveBodyToFile(long bodyHandle, BSTR path, long useDefaultName, long *success) override;
    HRESULT STDMETHODCALLTYPE SetBodyFromFile(long bodyHandle, BSTR filename, BSTR priContentType, BSTR secContentType, long *success) override;
    HRESULT STDMETHODCALLTYPE IsBodyAttachment(long bodyHandle, long *isAttach) override;
    HRESULT STDMETHODCALLTYPE GetFirstAttachment(long *bodyHandle) override;
    HRESULT STDMETHODCALLTYPE GetFilename(long bodyHandle, BSTR *filename) override;
    HRESULT STDMETHODCALLTYPE AttachFile(BSTR filename, long *bodyHandle) override;

    // Body properties (mx_message_properties.cpp).
    HRESULT STDMETHODCALLTYPE GetFirstBodyProp(long bodyHandle, long *propId, BSTR *propName) override;
    HRESULT STDMETHODCALLTYPE GetNextBodyProp(long *propId, BSTR *propName) override;
    HRESULT STDMETHODCALLTYPE GetBodyProp(long bodyHandle, enum tagNUVAKMIMEPROPID propId, long *exist, BSTR *propText) override;
    HRESULT STDMETHODCALLTYPE SetBodyProp(long bodyHandle, enum tagNUVAKMIMEPROPID propId, BSTR propText, long *success) override;
    HRESULT STDMETHODCALLTYPE GetBodyPropByName(long bodyHandle, BSTR propName, long *exist, BSTR *propText) override;
    HRESULT STDMETHODCALLTYPE SetBodyPropByName(long bodyHandle, BSTR propName, BSTR propText, long *success) override;
    HRESULT STDMETHODCALLTYPE DeleteBodyProp(long bodyHandle, enum tagNUVAKMIMEPROPID propId, long *success) override;
    HRESULT STDMETHODCALLTYPE DeleteBodyPropByName(long bodyHandle, BSTR propName, long *success) override;

    // Commit, clone and send (mx_message_commit.cpp).
    HRESULT STDMETHODCALLTYPE Clone(long folderId, ::MXMessage **result) override;
    HRESULT STDMETHODCALLTYPE Commit(long *result) override;
    HRESULT STDMETHODCALLTYPE Send(long *result) override;

    // Binds a fresh object to a stored message: opens the folder through the store session and
    // reads the message's record. When either fails the object behaves as unsaved. Called once,
    // right after creation, on the creating thread. Throws only when memory runs out.
    void OpenFromStore(long folder_id, unsigned long message_id);
    // True while the object holds the store's record of its message.
    bool is_stored() const noexcept { return IsStored(); }
    // Loads the message's MIME object on first need (an empty one for an unsaved message, the
    // stored one otherwise); false when it cannot be had. Never throws.
    bool EnsureMimeMessage() noexcept;

    // Last release: hands the record back to the store and releases everything, in order.
    void Teardown();

    // The internal interface IMXMessageIdentity (messages/message_identity.idl), for code of
    // pelkary that is handed an object and must know it for one of its messages.
    IUnknown* InternalInterface(REFIID riid) noexcept {
        return IsEqualIID(riid, IID_IMXMessageIdentity) ? &identity_ : nullptr;
    }

    // A new message object made through COM by class id (as a client makes one) and bound to a
    // stored message; null when the message is gone. Throws com_error with the creation's HRESULT.
    static com_ptr<IMXMessage> CreateIfStored(long folder_id, unsigned long message_id);
    // An open store folder that the messages made one after another from the same folder share
    // (its calls keep no state between them), kept by their maker on its thread.
    struct SharedFolder {
        long id = 0;
        com_ptr<IStoreFolder> folder;
    };
    // The same, made in this module rather than through the runtime (the same class, only the
    // creation path differs): for the scripting library's collections, which hand out one object
    // per message. With `shared`, the folder is opened once for all the messages of one folder.
    // Null when the message is gone; throws only when memory runs out.
    static com_ptr<IMXMessage> MakeIfStored(long folder_id, unsigned long message_id, SharedFolder* shared = nullptr);

protected:
    ~MXMessage() override;

private:
    // IMXMessageIdentity, a sub-object that counts with the message.
    class Identity : public IMXMessageIdentity {
    public:
        explicit Identity(MXMessage& message) noexcept : message_(message) {}
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
            return message_.QueryInterface(riid, ppv);
        }
        ULONG STDMETHODCALLTYPE AddRef() override { return message_.AddRef(); }
        ULONG STDMETHODCALLTYPE Release() override { return message_.Release(); }
        HRESULT STDMETHODCALLTYPE GetStoreIdentity(long* folderId, long* messageId) override;

    private:
        MXMessage& message_;
    };

    // The store's record of the message. Its strings belong to the store folder that filled it
    // and go back through DropRecord.
    using Record = std::unique_ptr<MESSAGEPROPS>;

    bool IsStored() const noexcept { return record_ != nullptr; }
    // A header string of the record (none for an unsaved message), for the getter `method`.
    HRESULT RecordText(const wchar_t* method, LPSTR MESSAGEPROPS::*field, BSTR* result);
    // MarkAsRead and MarkAsUnread: `mark` of a short-lived folder object on the stored message
    // (0 for an unsaved one); the folder's failure reaches the client with its error object.
    HRESULT MarkThroughFolder(const wchar_t* method, HRESULT (STDMETHODCALLTYPE IMXFolder::*mark)(long, long*),
                              long* result);
    // The MIME allocator that frees property-walk entries, created by class id on first need and
    // kept; null when it cannot be created (which disables the property walk and Clone). Made
    // lazily because under Wine creating it costs as much as the message object itself, and most
    // message objects (a folder walk reading subjects) never need it.
    IMimeAllocator* Allocator() noexcept;
    // Hands the record back to `storeFolder_` (when open) and frees it.
    void DropRecord() noexcept;
    // Reads the record of `message_id` from `storeFolder_`; null when the store refuses.
    Record ReadRecord(unsigned long message_id);
    // The store connection, through the session this message joins on its first store use (and
    // leaves last in its teardown, so that no other thread can end the session under it); null
    // when the store is out of reach.
    IStoreNamespace* Namespace() noexcept;
    // Opens folder `folder_id` through the store session; null on failure.
    com_ptr<IStoreFolder> OpenStoreFolder(long folder_id) noexcept;

    // Source reading.
    unique_bstr ReadSourceChunk(long count);
    // Opens the stored source at offset 0 when the cursor is closed; false when it cannot be had.
    bool OpenSourceCursor() noexcept;
    void ResetSourceCursor() noexcept {
        sourceCursor_.reset();
        carriedLeadByte_ = -1;
    }
    void FindHeader();
    std::wstring ReadBody(long maxBytesToRead);

    // Body helpers. BindBody loads the MIME object when it is not yet; null when the object or
    // the body cannot be had. The others need the MIME object loaded.
    com_ptr<IMimeBody> BindBody(long body_handle) noexcept;
    // A body property (by id or by name in the name's place) as UTF-16 text, which need not fit
    // the code page; nullopt when absent.
    std::optional<std::wstring> ReadBodyPropertyWide(long body_handle, LPCSTR name) noexcept;
    bool WriteBodyPropertyWide(long body_handle, LPCSTR name, const std::wstring& value) noexcept;
    // Writes a body property as ANSI text.
    bool WriteBodyProperty(long body_handle, LPCSTR name, const std::string& value) noexcept;
    // The next entry of the root-property walk (its name, its id in `prop_id`); empty with -1 at
    // the end, which also ends the walk.
    unique_bstr NextRootProperty(long* prop_id);
    // The body's content type split at the first "/"; both empty when absent or without "/".
    std::pair<std::wstring, std::wstring> ContentTypeHalves(long body_handle);
    bool SetBodyData(long body_handle, IStream* stream, BSTR primary, BSTR secondary, ENCODINGTYPE encoding);
    // SetBodyData from a new memory stream that `fill` writes (false: it could not); 1 or 0.
    template <typename Fill>
    long SetBodyFromStream(long body_handle, BSTR primary, BSTR secondary, ENCODINGTYPE encoding, Fill&& fill);
    // GetHTMLBody and GetPlainBody: the first text body of subtype `secondary`, or 0.
    HRESULT FirstTextBody(const wchar_t* method, const char* secondary, long* result);
    bool IsAttachment(long body_handle) noexcept;

    // Internal forms of methods other operations build on.
    long SetBodyPropByNameInternal(long body_handle, BSTR name, BSTR text);
    long CommitInternal() noexcept;

    long folderId_ = -1;
    StoreSession* session_ = nullptr;
    com_ptr<IStoreFolder> storeFolder_;
    Record record_;
    com_ptr<IStream> sourceCursor_;
    com_ptr<IMimeMessage> mimeMessage_;
    long saveState_ = 0;
    // Bound to a stored message that was gone by then: it behaves as unsaved, yet has no content
    // of its own to load and never stores a new message in the place of the one it stood for.
    bool gone_ = false;
    com_ptr<IMimeAllocator> allocator_;
    bool allocatorTried_ = false;
    com_ptr<IMimeEnumProperties> propertyEnumerator_;
    std::wstring headerCache_;
    // Reused between reads of the source: fresh memory for every piece costs page faults.
    std::vector<char> readBuffer_;
    // Under a double-byte code page, the lead byte that ended the last piece (-1: none). It goes
    // to the front of the next piece, so no piece splits a character.
    int carriedLeadByte_ = -1;
    unique_cotaskmem<HBODY> attachmentHandles_;
    unsigned long attachmentCount_ = 0;
    unsigned long attachmentIndex_ = 0;
    Identity identity_{*this};
};

}  // namespace pelkary
