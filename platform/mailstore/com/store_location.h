// Where the store lives: %MAILSTORE_DIR%, else HKCU\Software\Pelkary\Mail
// Store "Store Root", else "Mail Store" in the user's local application data.
#pragma once

#include <string>

namespace mailstore_com {

// The resolved directory (UTF-16), or empty when none can be determined.
std::wstring ResolveStoreDirectory();

}  // namespace mailstore_com
