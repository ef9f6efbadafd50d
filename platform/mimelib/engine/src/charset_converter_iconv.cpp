#ifndef _WIN32

#include "charset_converter.h"

#include <errno.h>
#include <iconv.h>

#include "ascii.h"

namespace mimeengine {
namespace {

// Canonical name -> iconv's name. Supersets stand in where mail labels
// commonly understate the charset (gb2312 text written as GBK, euc-kr as
// UHC, Shift_JIS with the vendor rows of code page 932), as the system's
// code pages do on Windows.
const ascii::NamePair kIconvNames[] = {
    {"shift_jis", "CP932"},   {"euc-jp", "EUC-JP"},          {"gb2312", "CP936"},
    {"gbk", "CP936"},         {"gb18030", "GB18030"},        {"big5", "CP950"},
    {"big5-hkscs", "BIG5-HKSCS"}, {"euc-kr", "CP949"},       {"utf-7", "UTF-7"},
    {"ibm866", "CP866"},      {"windows-874", "CP874"},      {"macintosh", "MACINTOSH"},
};

constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

// Runs `in` through `cd` into *out. `strict`: any byte that does not
// convert (or converts only approximately) fails the whole conversion;
// otherwise it becomes U+FFFD and the conversion goes on after it.
bool Run(iconv_t cd, std::string_view in, bool strict, std::string* out) {
  char* src = const_cast<char*>(in.data());
  size_t left = in.size();
  out->assign(in.size() * 2 + 16, '\0');
  size_t used = 0;
  bool flushing = false;
  for (;;) {
    char* dst = &(*out)[used];
    size_t room = out->size() - used;
    // With the input used up, a call without input writes a stateful
    // encoding's shift back to its initial state.
    const size_t r = flushing ? iconv(cd, nullptr, nullptr, &dst, &room) : iconv(cd, &src, &left, &dst, &room);
    const int err = errno;
    used = out->size() - room;
    if (r != static_cast<size_t>(-1)) {
      if (strict && r > 0) return false;
      if (flushing) break;
      flushing = true;
    } else if (err == E2BIG) {
      out->resize(out->size() * 2 + 16);
    } else if (strict || flushing) {
      return false;
    } else {
      // EILSEQ: a byte that starts no sequence; EINVAL: the input ends
      // inside a sequence.
      out->resize(used);
      out->append(kReplacement);
      used = out->size();
      out->resize(used + left * 2 + 16);
      if (err == EINVAL) {
        left = 0;
      } else {
        ++src;
        --left;
      }
    }
  }
  out->resize(used);
  return true;
}

bool Convert(const char* to, const char* from, std::string_view in, bool strict, std::string* out) {
  const iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  const bool ok = Run(cd, in, strict, out);
  iconv_close(cd);
  return ok;
}

}  // namespace

bool CharsetConverter::ToUtf8(std::string_view bytes, std::string_view charset, std::string* utf8) {
  const char* name = ascii::ValueOf(kIconvNames, charset);
  return name && Convert("UTF-8", name, bytes, false, utf8);
}

bool CharsetConverter::FromUtf8(std::string_view utf8, std::string_view charset, std::string* bytes) {
  const char* name = ascii::ValueOf(kIconvNames, charset);
  return name && Convert(name, "UTF-8", utf8, true, bytes);
}

}  // namespace mimeengine

#endif  // !_WIN32
