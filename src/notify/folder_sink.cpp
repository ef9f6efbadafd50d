#include "notify/folder_sink.h"

#include "folders/mx_folder.h"

namespace pelkary {

// Folders work without a sink window; they raise no events until one is attached here.
void AttachFolderSink(MXFolder&) noexcept {}

void DetachFolderSink(MXFolder& folder) noexcept { folder.sink_window().reset(); }

}  // namespace pelkary
