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

// Creates a new directory in the temporary folder, named `prefix`, the process id and a number
// that makes it new (Wine reuses small process ids, so the id alone would name an earlier run's
// directory, store and all), and returns its path; ends the process when none can be made.
std::wstring NewTempDirectory(const wchar_t* prefix);

// Points the store (MAILSTORE_DIR) at a new directory (NewTempDirectory) and returns it. The
// directory and the store in it are removed when the process exits normally.
std::wstring UseFreshStore(const wchar_t* prefix);

// The store's namespace, initialized on the store MAILSTORE_DIR names; ends the process on failure.
com_ptr<IStoreNamespace> OpenStore();

}  // namespace pelkary::bench
