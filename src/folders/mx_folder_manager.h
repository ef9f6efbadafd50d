// MXFolderManager: the object a client creates first. It hands out folder objects (the five
// special folders, any folder by id, and one folder after another in a depth-first walk over the
// whole tree), changes folders given by id, and copies or moves single messages between folders.
// It keeps no folder data: every folder it returns is a new object (GetCurrentFolder hands out
// the walk's current one again) and every operation on an id goes through a short-lived folder
// object. Apartment-threaded; it also raises the folder-level events of the store session.
#pragma once

#include <vector>

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

class MXFolderManager : public AutomationObject<MXFolderManager, IMXFolderManager>, public ManagerEventTarget {
public:
    static const ClassIdentity kIdentity;

    // Joins the store session (building it when there is none); not walking.
    MXFolderManager();

    // IMXFolderManager. Null out-pointers give E_POINTER. None of the folder getters returns
    // null except GetNextFolder at the end of the walk and GetCurrentFolder when not walking;
    // errors come only from object creation, text conversion and memory.
    HRESULT STDMETHODCALLTYPE ActivateGlobalNotification() override;
    HRESULT STDMETHODCALLTYPE GetInboxFolder(::MXFolder **folder) override;
    HRESULT STDMETHODCALLTYPE GetOutboxFolder(::MXFolder **folder) override;
    HRESULT STDMETHODCALLTYPE GetSentFolder(::MXFolder **folder) override;
    HRESULT STDMETHODCALLTYPE GetDeletedFolder(::MXFolder **folder) override;
    HRESULT STDMETHODCALLTYPE GetDraftFolder(::MXFolder **folder) override;
    HRESULT STDMETHODCALLTYPE GetFolder(long folderId, ::MXFolder **folder) override;
    HRESULT STDMETHODCALLTYPE GetFirstFolder(::MXFolder **folder) override;
    HRESULT STDMETHODCALLTYPE GetNextFolder(::MXFolder **folder) override;
    HRESULT STDMETHODCALLTYPE GetCurrentFolder(::MXFolder **folder) override;
    HRESULT STDMETHODCALLTYPE RenameFolder(long folderId, BSTR newName, long *result) override;
    HRESULT STDMETHODCALLTYPE MoveFolder(long folderId, long newParentId, long *result) override;
    HRESULT STDMETHODCALLTYPE DeleteFolder(long folderId, long *result) override;
    HRESULT STDMETHODCALLTYPE CreateFolder(long parentFolderId, BSTR Name, long *result) override;
    HRESULT STDMETHODCALLTYPE CopyMessage(long srcFolderId, long destFolderId, long msgId, long *result) override;
    HRESULT STDMETHODCALLTYPE MoveMessage(long srcFolderId, long destFolderId, long msgId, long *result) override;

    // Drops the walk (current folder first, then the open enumerations, top first), then leaves
    // the session (which may end it). Called once, by the last Release.
    void Teardown();

    // The event source: IConnectionPointContainer for IMXFolderManagerEvents.
    IUnknown* EventSource() noexcept { return events_.container(); }

protected:
    ~MXFolderManager() override;

public:
    // ManagerEventTarget: the event window and the guarded reference its procedure takes.
    HWND event_window() const noexcept override { return eventWindow_.get(); }
    bool TryRetain() noexcept override { return TryAddRef(); }
    void Drop() noexcept override { Release(); }

    // Event raisers of IMXFolderManagerEvents, called from the manager's event window on its
    // own thread.
    void FireOnFolderCreated(long folderId) override;
    void FireOnFolderDeleted(long folderId) override;
    void FireOnFolderRenamed(long folderId) override;
    void FireOnFolderMoved(long folderId) override;
    void FireOnFolderUnreadChanged(long folderId) override;
    void FireOnNewMessage(long folderId, long msgId) override;

private:
    IStoreNamespace* Namespace() const noexcept;
    HRESULT Special(const wchar_t* method, long type, ::MXFolder** folder);
    // The walk: restart at the root, and advance from the current folder.
    void RestartWalk();
    void AdvanceWalk();
    void CloseWalkLevels() noexcept;
    long CopyOrMove(long source_id, long target_id, const std::vector<MESSAGEID>& ids, bool move);

    // Made before the manager joins the session, destroyed after it left.
    unique_hwnd eventWindow_;
    StoreSession* session_ = nullptr;
    com_ptr<IMXFolder> current_;
    // Open sub-folder enumerations of the namespace: the top one lists the current folder's
    // siblings, each one below one level further up.
    std::vector<unique_henumstore<IStoreNamespace>> walkLevels_;
    EventConnectionPoint events_{static_cast<IMXFolderManager*>(this), DIID_IMXFolderManagerEvents};
};

}  // namespace pelkary
