// Text conversions between the store's ANSI strings, UTF-8 and UTF-16.
#pragma once

#include <string>

namespace mailstore_com {

std::string Utf8ToAnsi(const std::string& utf8);
std::string WideToUtf8(const std::wstring& wide);
std::string WideToAnsi(const std::wstring& wide);

}  // namespace mailstore_com
