// Layering: folders is the top folder: the folder and folder-manager objects. It may call
// messages, notify and frame, and implements the event targets notify raises events on.
//
// MXFolder: one folder of the mail store, named by its folder id, or the store's root (id 0,
// "Local Folders", which has no store folder of its own). It walks its child folders and its
// messages, creates, deletes and marks messages by id, renames, moves and deletes itself, creates
// sub-folders and reports its counts. It keeps no folder or message data: every answer is read
// from the store when asked. Apartment-threaded.
#pragma once

#include "comsupport/com_ptr.h"
#include "comsupport/unique_any.h"
#include "comsupport/unique_henumstore.h"
#include "frame/automation_object.h"
#include "notify/event_connection_point.h"
#include "notify/folder_events.h"
#include "pelkary.h"
#include "store_api.h"

namespace pelkary {

class StoreSession;

class MXFolder : public AutomationObject<MXFolder, IMXFolder>, public FolderEventTarget {
public:
    static const ClassIdentity kIdentity;

    // Joins the store session (building it when there is none). The object starts as the root:
    // id 0, no special type, nothing open.
    MXFolder();

    // IMXFolder. Null out-pointers give E_POINTER. Store failures are results (null, 0, -1 or the
    // empty string); errors come only from object creation, text conversion and memory.
    HRESULT STDMETHODCALLTYPE GetID(long *result) override;
    HRESULT STDMETHODCALLTYPE GetFirstChild(::MXFolder **result) override;
    HRESULT STDMETHODCALLTYPE GetNextChild(::MXFolder **result) override;
    HRESULT STDMETHODCALLTYPE GetFirstMessage(::MXMessage **result) override;
    HRESULT STDMETHODCALLTYPE GetNextMessage(::MXMessage **result) override;
    HRESULT STDMETHODCALLTYPE GetMessage(long msgId, ::MXMessage **result) override;
    HRESULT STDMETHODCALLTYPE CreateMessage(BSTR msgSource, ::MXMessage **result) override;
    HRESULT STDMETHODCALLTYPE DeleteMessage(long msgId, long permanent, long *result) override;
    HRESULT STDMETHODCALLTYPE Name(BSTR *bstrHi) override;
    HRESULT STDMETHODCALLTYPE IsNull(long *result) override;
    HRESULT STDMETHODCALLTYPE MarkAsRead(long msgId, long *result) override;
    HRESULT STDMETHODCALLTYPE MarkAsUnread(long msgId, long *result) override;
    HRESULT STDMETHODCALLTYPE IsInbox(long *result) override;
    HRESULT STDMETHODCALLTYPE IsOutbox(long *result) override;
    HRESULT STDMETHODCALLTYPE IsSent(long *result) override;
    HRESULT STDMETHODCALLTYPE IsDeleted(long *result) override;
    HRESULT STDMETHODCALLTYPE IsDraft(long *result) override;
    HRESULT STDMETHODCALLTYPE Rename(BSTR newName, long *result) override;
    HRESULT STDMETHODCALLTYPE Move(long newParentId, long *result) override;
    HRESULT STDMETHODCALLTYPE Delete(long *result) override;
    HRESULT STDMETHODCALLTYPE CreateFolder(BSTR Name, long *result) override;
    HRESULT STDMETHODCALLTYPE GetSubFolderCount(long *count) override;
    HRESULT STDMETHODCALLTYPE GetUnreadCount(long *count) override;
    HRESULT STDMETHODCALLTYPE GetMessageCount(long *count) override;

    // Internal binding, called once on a fresh object by the code that created it. A folder the
    // store cannot open stays a null folder; neither throws.
    void OpenById(long folder_id) noexcept;
    void OpenSpecial(long special_type) noexcept;

    // A new folder object made through COM by class id (as a client makes one) and bound to a
    // folder id or a special type. Throws com_error with the creation's HRESULT.
    static com_ptr<IMXFolder> CreateById(long folder_id);
    static com_ptr<IMXFolder> CreateSpecial(long special_type);
    // As CreateById, but null when the store cannot open the folder (it was deleted): walks use
    // it so that they never hand out a folder that is gone.
    static com_ptr<IMXFolder> CreateIfPresent(long folder_id);

    // For the notification layer: the open store folder (null for a null folder), the folder's
    // id and special type, and the holder of its sink window.
    IStoreFolder* store_folder() const noexcept override { return storeFolder_.get(); }
    long id() const noexcept override { return folderId_; }
    long special_type() const noexcept override { return specialType_; }
    unique_hwnd& sink_window() noexcept override { return sinkWindow_; }

    // The event source: IConnectionPointContainer for IMXFolderEvents.
    IUnknown* EventSource() noexcept { return events_.container(); }

    // Releases what the folder opened, then leaves the session (which may end it). Called once,
    // by the last Release.
    void Teardown();

protected:
    ~MXFolder() override;

public:
    // Event raisers of IMXFolderEvents, called on the folder's thread by its sink window.
    void FireOnNewMessage(long msgId) override;
    void FireOnMessageDeleted(long msgId) override;
    void FireOnDeletion() override;

private:
    IStoreNamespace* Namespace() const noexcept;
    // The store folder's properties; false when there is none or the store fails.
    bool ReadProps(FOLDERPROPS& props) const noexcept;
    // A count of the folder's properties (-1 without them), for the getter `method`.
    HRESULT Count(const wchar_t* method, long (*pick)(const FOLDERPROPS&), long* count);
    com_ptr<IMXFolder> FirstChild();
    com_ptr<IMXFolder> NextChild();
    com_ptr<IMXMessage> FirstMessage();
    com_ptr<IMXMessage> NextMessage();
    com_ptr<IMXMessage> MessageById(unsigned long message_id);
    // A message object bound to a stored message, or null when the message is gone.
    com_ptr<IMXMessage> MessageIfPresent(unsigned long message_id);
    com_ptr<IMXMessage> LookUpMessage(long msgId);
    long MarkMessage(long msgId, BOOL read) noexcept;
    long SpecialTest(long type) const noexcept { return specialType_ == type ? 1 : 0; }

    StoreSession* session_ = nullptr;
    long folderId_ = 0;
    long specialType_ = -1;
    com_ptr<IStoreFolder> storeFolder_;
    unique_henumstore<IStoreNamespace> childWalk_;
    unique_henumstore<IStoreFolder> messageWalk_;
    unique_hwnd sinkWindow_;
    EventConnectionPoint events_{static_cast<IMXFolder*>(this), DIID_IMXFolderEvents};
};

}  // namespace pelkary
