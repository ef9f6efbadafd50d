// The objects the notification layer raises events on, as that layer sees them: a folder and a
// folder manager. The folders layer implements both; notify holds and calls only these, never
// the classes behind them.
#pragma once

#include "comsupport/unique_any.h"
#include "pelkary.h"
#include "store_api.h"

namespace pelkary {

// A folder object. Its sink window raises its events on the folder's thread; the sink window and
// the new-message watcher read its store folder through it.
class FolderEventTarget {
public:
    // Event raisers of IMXFolderEvents.
    virtual void FireOnNewMessage(long msgId) = 0;
    virtual void FireOnMessageDeleted(long msgId) = 0;
    virtual void FireOnDeletion() = 0;

    // The open store folder (null for a null folder), the folder's id and special type, and the
    // holder of its sink window.
    virtual IStoreFolder* store_folder() const noexcept = 0;
    virtual long id() const noexcept = 0;
    virtual long special_type() const noexcept = 0;
    virtual unique_hwnd& sink_window() noexcept = 0;

protected:
    ~FolderEventTarget() = default;
};

// The folder object behind one of pelkary's own folder interface pointers. Throws com_error with a
// description for any other object (a proxy, or an object of another server registered under
// the class id). Provided by the folders layer.
FolderEventTarget& FolderEventTargetOf(IMXFolder* folder);

// A folder manager. The store session never calls it from another thread: it posts each event
// of IMXFolderManagerEvents to the manager's event window (notify/manager_sink.h), which raises it
// on the manager's own thread.
class ManagerEventTarget {
public:
    // The manager's event window, made on its thread before it joins the session and destroyed
    // only after it left.
    virtual HWND event_window() const noexcept = 0;
    // A counted reference for the event window's procedure, refused (false) once the manager's
    // count has reached zero; Drop gives it back. On the manager's thread.
    virtual bool TryRetain() noexcept = 0;
    virtual void Drop() noexcept = 0;

    virtual void FireOnFolderCreated(long folderId) = 0;
    virtual void FireOnFolderDeleted(long folderId) = 0;
    virtual void FireOnFolderRenamed(long folderId) = 0;
    virtual void FireOnFolderMoved(long folderId) = 0;
    virtual void FireOnFolderUnreadChanged(long folderId) = 0;
    virtual void FireOnNewMessage(long folderId, long msgId) = 0;

protected:
    ~ManagerEventTarget() = default;
};

}  // namespace pelkary
