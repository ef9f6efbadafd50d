#include "tool_text.h"

#include <cstdio>

#include "comsupport/text.h"

namespace mxstore {

std::string ToolText::Ansi(const std::wstring& text) {
  return pelkary::to_ansi(text.c_str(), static_cast<int>(text.size()));
}

std::string ToolText::Hresult(HRESULT hr) {
  char buf[16];
  snprintf(buf, sizeof(buf), "0x%08lX", static_cast<unsigned long>(hr));
  return buf;
}

std::string ToolText::WriteAdvice(HRESULT hr) {
  if (hr == E_ACCESSDENIED || hr == STG_E_ACCESSDENIED)
    return "the store cannot be written; check the permissions of its directory and files";
  if (hr == STG_E_DOCFILECORRUPT) return "the store is damaged; run 'mxstore check'";
  return "check free disk space and retry the rest";
}

std::string ToolText::Plural(size_t n, const char* word) {
  return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

}  // namespace mxstore
