// Running a script the way a script author does: Wine's cscript, in this process's environment
// (so a TempStore's MAILSTORE_DIR reaches it).
#pragma once

#include <windows.h>

#include <string>

namespace pelkary::test {

struct ScriptResult {
    DWORD exit_code = 0xFFFFFFFF;  // the script's WScript.Quit code; 0xFFFFFFFF if it never ran
    bool timed_out = false;        // the script was killed after the timeout
    std::string output;            // standard output and standard error, merged
};

// Writes `text` (ANSI) to a temporary file with the extension `ext` (L".vbs" or L".js"), runs
// `cscript //nologo` on it, waits at most `timeout_ms`, and removes the file.
ScriptResult RunScript(const std::string& text, const wchar_t* ext, DWORD timeout_ms = 60000);

}  // namespace pelkary::test
