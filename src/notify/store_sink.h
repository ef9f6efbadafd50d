// The store sink: the hidden window through which the store session hears of changes to folders
// anywhere in the store, and raises them as events of every folder manager.
#pragma once

#include "comsupport/unique_any.h"

namespace pelkary {

// Creates the store sink window ("Store sink", titled "NUVAK") on the calling thread, which must
// be the thread that builds the store session and runs its message loop. Empty on failure.
// Never throws.
unique_hwnd CreateStoreSinkWindow() noexcept;

}  // namespace pelkary
