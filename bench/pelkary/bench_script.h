// Running the late-bound half of a bench: a VBScript file run by cscript in this process's
// environment (so it sees the same store), its output collected.
#pragma once

#include <string>

namespace pelkary::bench {

// Runs `unix_path` (a script path known at build time; Wine shows the unix root as Z:) with
// cscript and `arguments`, waits for it and returns its output without trailing line breaks, or a
// parenthesised note when it could not be started. Blocks the calling thread.
std::string RunCscript(const char* unix_path, const std::wstring& arguments);

}  // namespace pelkary::bench
