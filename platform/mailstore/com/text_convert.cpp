#include "text_convert.h"

#include <windows.h>

namespace mailstore_com {
namespace {

std::string Narrow(const std::wstring& wide, UINT code_page) {
  if (wide.empty()) return std::string();
  int n = WideCharToMultiByte(code_page, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                              nullptr, nullptr);
  if (n <= 0) return std::string();
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(code_page, 0, wide.data(), static_cast<int>(wide.size()), &out[0], n, nullptr,
                      nullptr);
  return out;
}

}  // namespace

std::string Utf8ToAnsi(const std::string& utf8) {
  if (utf8.empty()) return std::string();
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  if (n <= 0) return std::string();
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0], n);
  return Narrow(wide, CP_ACP);
}

std::string WideToUtf8(const std::wstring& wide) { return Narrow(wide, CP_UTF8); }
std::string WideToAnsi(const std::wstring& wide) { return Narrow(wide, CP_ACP); }

}  // namespace mailstore_com
