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
// "cp1252" -> "windows-1252", "x-sjis" -> "shift_jis", "ks_c_5601-1987" ->
// "euc-kr"); empty when unknown. Known: US-ASCII, UTF-8, UTF-7, UTF-16
// (-le, -be), ISO-8859-1..16, Windows-874 and -1250..1258, KOI8-R/U,
// IBM437/850/866, Macintosh, Shift_JIS, EUC-JP, ISO-2022-JP, GB2312, GBK,
// GB18030, Big5, Big5-HKSCS and EUC-KR.
std::string canonical_charset(std::string_view label);

// Bytes in `charset` -> UTF-8. The single-byte charsets come from the
// engine's own tables; UTF-16 and ISO-2022-JP are read here too; the rest
// go through the platform's conversion (the system's code pages on Windows,
// iconv elsewhere). Malformed sequences become U+FFFD. An unknown or empty
// label, or one the platform cannot convert, falls back to UTF-8 when the
// bytes are valid UTF-8, else to windows-1252, which maps every byte to a
// character of its own, so no byte is lost.
std::string charset_to_utf8(std::string_view bytes, std::string_view charset);

// UTF-8 -> bytes in `charset` (UTF-16 without a byte-order mark, big-endian
// unless the label says little). Returns false (and leaves *out unspecified)
// when the charset is unknown, cannot be converted here, or cannot represent
// a character of the text exactly.
bool utf8_to_charset(std::string_view utf8, std::string_view charset, std::string* out);

}  // namespace mimeengine
