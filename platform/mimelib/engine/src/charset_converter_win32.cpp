#ifdef _WIN32

#include "charset_converter.h"

#include <windows.h>

#include <climits>

#include "mimeengine/charset.h"

namespace mimeengine {
namespace {

// Canonical name -> the system's code pages for it, the better first. Wine 8
// lacks 51932, 54936 and 51949; the next one is a sensible stand-in (GBK
// reads the two-byte part of GB18030, code page 949 is a superset of EUC-KR).
struct CodePages {
  const char* name;
  UINT pages[2];
};

const CodePages kCodePages[] = {
    {"shift_jis", {932, 0}},     {"euc-jp", {51932, 20932}}, {"gb2312", {936, 0}},
    {"gbk", {936, 0}},           {"gb18030", {54936, 936}},  {"big5", {950, 0}},
    {"big5-hkscs", {950, 0}},    {"euc-kr", {51949, 949}},   {"utf-7", {65000, 0}},
    {"ibm866", {866, 0}},        {"windows-874", {874, 0}},  {"macintosh", {10000, 0}},
};

// The first code page of `charset` that the system converts; 0 when none.
UINT CodePageOf(std::string_view charset) {
  for (const auto& row : kCodePages) {
    if (charset != row.name) continue;
    for (UINT cp : row.pages) {
      if (cp && IsValidCodePage(cp)) return cp;
    }
  }
  return 0;
}

bool Widen(UINT cp, std::string_view bytes, std::u16string* out) {
  out->clear();
  if (bytes.empty()) return true;
  if (bytes.size() > INT_MAX) return false;
  const int count = static_cast<int>(bytes.size());
  const int n = MultiByteToWideChar(cp, 0, bytes.data(), count, nullptr, 0);
  if (n <= 0) return false;
  out->resize(static_cast<size_t>(n));
  return MultiByteToWideChar(cp, 0, bytes.data(), count, reinterpret_cast<wchar_t*>(&(*out)[0]), n) == n;
}

bool Narrow(UINT cp, std::u16string_view text, std::string* out) {
  out->clear();
  if (text.empty()) return true;
  if (text.size() > INT_MAX) return false;
  const auto* w = reinterpret_cast<const wchar_t*>(text.data());
  const int count = static_cast<int>(text.size());
  // No default-character flags: code pages 50220 and up and UTF-7 refuse them.
  const int n = WideCharToMultiByte(cp, 0, w, count, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return false;
  out->resize(static_cast<size_t>(n));
  return WideCharToMultiByte(cp, 0, w, count, &(*out)[0], n, nullptr, nullptr) == n;
}

}  // namespace

bool CharsetConverter::ToUtf8(std::string_view bytes, std::string_view charset, std::string* utf8) {
  const UINT cp = CodePageOf(charset);
  std::u16string wide;
  if (!cp || !Widen(cp, bytes, &wide)) return false;
  *utf8 = utf16_to_utf8(wide);
  return true;
}

bool CharsetConverter::FromUtf8(std::string_view utf8, std::string_view charset, std::string* bytes) {
  const UINT cp = CodePageOf(charset);
  if (!cp) return false;
  const std::u16string wide = utf8_to_utf16(utf8);
  // A character the code page lacks comes out as its default character or
  // a look-alike; reading the bytes back shows whether they are exact.
  std::u16string back;
  return Narrow(cp, wide, bytes) && Widen(cp, *bytes, &back) && back == wide;
}

}  // namespace mimeengine

#endif  // _WIN32
