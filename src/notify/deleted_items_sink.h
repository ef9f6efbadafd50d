// The deleted-items sink: the hidden window that watches the store's deleted-items folder and
// deletes for good every message that arrives there carrying pelkary's deletion mark (the root
// header X_NUVAK_DELETED with the value "True", set by a permanent MXMessage delete, together with
// a seal that the delete recorded: see deletion_seal.h), so that such a message never stays in the
// folder, while mail that arrives carrying the header on its own stays recoverable.
#pragma once

#include "comsupport/unique_any.h"
#include "store_api.h"

namespace pelkary {

// Creates the deleted-items sink window ("NUVAK Outbox sink", titled "Folder") on the calling
// thread for `folder` (the deleted-items store folder, not counted: the caller keeps it open for
// the window's whole life and registers the window with it). Empty on failure. Never throws.
unique_hwnd CreateDeletedItemsSinkWindow(IStoreFolder* folder) noexcept;

// Whether a root header value is the deletion mark: exactly "True" (letter case counts).
bool IsDeletionMark(const char* value) noexcept;

}  // namespace pelkary
