// The folder sink: the hidden window through which an open folder hears the store's
// notifications about its own messages and raises them as events of the folder object.
#pragma once

#include "notify/folder_events.h"

namespace pelkary {

// Gives an opened folder (one with a store folder and readable properties) its sink window, kept
// in the folder's sink-window holder. Runs on the folder's thread; never throws; a folder without
// a window simply raises no events.
void AttachFolderSink(FolderEventTarget& folder) noexcept;

// While one lives on a thread, folders opened on that thread get no sink window: for the folder
// objects that pelkary makes for its own short use (the watcher's scan and probes), which never
// raise events, a window would only cost time. Client code must not run inside the scope.
class InternalFolderScope {
public:
    InternalFolderScope() noexcept;
    ~InternalFolderScope();
    InternalFolderScope(const InternalFolderScope&) = delete;
    InternalFolderScope& operator=(const InternalFolderScope&) = delete;
};

// Takes the folder's sink window down again (first step of releasing the store folder). Never
// throws; harmless when the folder has no window.
void DetachFolderSink(FolderEventTarget& folder) noexcept;

}  // namespace pelkary
