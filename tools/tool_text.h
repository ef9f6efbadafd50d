// The small pieces of text the store tool's messages are made of.
#pragma once

#include <windows.h>

#include <string>

namespace mxstore {

class ToolText {
 public:
  // |text| in the ANSI code page, which the tool's output and the store's names use.
  static std::string Ansi(const std::wstring& text);
  // "0x8007000E".
  static std::string Hresult(HRESULT hr);
  // What to do about a store write that failed with |hr|.
  static std::string WriteAdvice(HRESULT hr);
  // "1 message", "2 messages".
  static std::string Plural(size_t n, const char* word);
};

}  // namespace mxstore
