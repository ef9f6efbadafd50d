// How a command of the store tool fails: a ToolFailure thrown anywhere in a command becomes one
// line "mxstore: TEXT" on standard error and the exit code.
#pragma once

#include <string>

namespace mxstore {

struct ToolFailure {
  int code;  // 1: the command failed; 2: the command line is wrong
  std::string text;
};

[[noreturn]] inline void Fail(const std::string& text) { throw ToolFailure{1, text}; }
[[noreturn]] inline void Misuse(const std::string& text) { throw ToolFailure{2, text}; }

}  // namespace mxstore
