// The folder sink: the hidden window through which an open folder hears the store's
// notifications about its own messages and raises them as events of the folder object.
#pragma once

namespace pelkary {

class MXFolder;

// Gives an opened folder (one with a store folder and readable properties) its sink window, kept
// in the folder's sink-window holder. Runs on the folder's thread; never throws; a folder without
// a window simply raises no events.
void AttachFolderSink(MXFolder& folder) noexcept;

// Takes the folder's sink window down again (first step of releasing the store folder). Never
// throws; harmless when the folder has no window.
void DetachFolderSink(MXFolder& folder) noexcept;

}  // namespace pelkary
