// Character set conversion between the charsets that mail declares, UTF-8
// (the engine's working form) and UTF-16 (what COM clients read and write).
// Pure functions; thread-safe; never throw except std::bad_alloc.
#pragma once

#include <string>
#include <string_view>

namespace mimeengine {

// UTF-8 -> UTF-16. Invalid or truncated sequences become U+FFFD each.
std::u16string utf8_to_utf16(std::string_view utf8);

// UTF-16 -> UTF-8. Unpaired surrogates become U+FFFD.
std::string utf16_to_utf8(std::u16string_view utf16);

// True when `bytes` is well-formed UTF-8 (no overlongs, no surrogates).
bool is_valid_utf8(std::string_view bytes);

// True when every byte is below 0x80.
bool is_ascii(std::string_view bytes);

// Lower-cased canonical name of a charset label ("latin1" -> "iso-8859-1",
// "cp1252" -> "windows-1252", "utf8" -> "utf-8"); empty when unknown.
std::string canonical_charset(std::string_view label);

// Bytes in `charset` -> UTF-8. An unknown or empty label falls back to UTF-8
// when the bytes are valid UTF-8, else to windows-1252 (a superset of
// ISO-8859-1 that maps every byte to something printable).
std::string charset_to_utf8(std::string_view bytes, std::string_view charset);

// UTF-8 -> bytes in `charset`. Returns false (and leaves *out unspecified)
// when the charset is unknown or cannot represent a character of the text.
bool utf8_to_charset(std::string_view utf8, std::string_view charset, std::string* out);

}  // namespace mimeengine
