// What the automation benches share: running their late-bound half (a VBScript file run by
// cscript in this process's environment, so it sees the same store), timing, a fresh store, and
// stopping at the first failed call.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "comsupport/holders.h"
#include "store_api.h"

namespace pelkary::bench {

// Runs `unix_path` (a script path known at build time; Wine shows the unix root as Z:) with
// cscript and `arguments`, waits for it and returns its output without trailing line breaks, or a
// parenthesised note when it could not be started. Blocks the calling thread.
std::string RunCscript(const char* unix_path, const std::wstring& arguments);

// Ends the process with "<program>: <what> failed (0x...)" when `hr` failed: a figure measured
// after a failed call would mean nothing.
void Check(const char* what, HRESULT hr);

// Seconds `work` takes, by the steady clock.
double SecondsOf(const std::function<void()>& work);

// Points the store (MAILSTORE_DIR) at a new directory in the temporary folder named `prefix` and
// the process id, and returns it.
std::wstring UseFreshStore(const wchar_t* prefix);

// The store's namespace, initialized on the store MAILSTORE_DIR names; ends the process on failure.
com_ptr<IStoreNamespace> OpenStore();

}  // namespace pelkary::bench
