// The platform's own charset conversions, for the charsets that the engine
// has no table for (the multi-byte ones of East Asian mail, UTF-7 and a few
// single-byte ones). One implementation per platform, chosen at build time:
// charset_converter_win32.cpp (the system's code pages) and
// charset_converter_iconv.cpp (iconv). Private to the engine.
#pragma once

#include <string>
#include <string_view>

namespace mimeengine {

class CharsetConverter {
 public:
  // `bytes` in `charset` (a canonical name, see canonical_charset) -> UTF-8
  // in *utf8. Malformed sequences become U+FFFD (or the platform's own
  // replacement). False, with *utf8 unspecified, when the platform has no
  // conversion for the charset. Thread-safe; throws only std::bad_alloc.
  static bool ToUtf8(std::string_view bytes, std::string_view charset, std::string* utf8);

  // Well-formed UTF-8 -> bytes in `charset` in *bytes. False, with *bytes
  // unspecified, when the platform has no conversion for the charset or a
  // character of the text has no exact form in it. Thread-safe; throws
  // only std::bad_alloc.
  static bool FromUtf8(std::string_view utf8, std::string_view charset, std::string* bytes);
};

}  // namespace mimeengine
