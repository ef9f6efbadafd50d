// The file name under which an attachment may be saved, taken from the body's file-name property.
// That property comes from untrusted mail: it may carry directories, drive letters, alternate data
// streams, device names or control characters. Only a plain name that stays inside the directory
// the client named is accepted. Plain C++, no Windows dependency.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace pelkary {

// The safe leaf of `name`: the part after the last "\" or "/", with trailing dots and spaces
// trimmed as Windows trims them. Refused (nullopt): a leaf that is then empty, "." or "..", a
// reserved device name (CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM1-COM9, LPT1-LPT9, with or without an extension,
// in any case), or one holding ":", a control character (below 0x20, or 0x7F) or one of the
// characters Windows never allows in a file name (< > " | ? *).
std::optional<std::wstring> SafeAttachmentFileName(std::wstring_view name);

}  // namespace pelkary
