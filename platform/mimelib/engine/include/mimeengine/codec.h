// Transfer encodings and header word encodings. All functions are pure,
// thread-safe and total: malformed input decodes best-effort, never throws
// (except std::bad_alloc).
#pragma once

#include <string>
#include <string_view>

namespace mimeengine {

// Appends the bytes that base64 text encodes. Characters outside the
// alphabet (line breaks, spaces, garbage) are skipped; decoding stops at the
// first '=' pad; a dangling partial group yields the bytes it completes.
void base64_decode(std::string_view text, std::string* out);

// Appends the bytes that uuencoded text encodes ("begin <mode> <name>",
// lines led by their length character, "`" or " ", "end"). Lines before the
// begin line are skipped (all of the text is read when there is none); a
// missing end line, and a damaged line, keep what decoded before them.
// `name` (optional) receives the begin line's file name, empty without one.
void uu_decode(std::string_view text, std::string* out, std::string* name = nullptr);

// True for the transfer-encoding labels of uuencoded content: "x-uuencode",
// "uuencode", "x-uue" (lower case).
bool is_uuencode_label(std::string_view encoding);

// Appends base64 of `bytes`, CRLF-terminated lines of 76 characters.
void base64_encode(std::string_view bytes, std::string* out);

// Appends the bytes that quoted-printable text encodes. Soft line breaks are
// removed, trailing blanks before a line end dropped, and '=' not followed
// by two hex digits kept literally.
void qp_decode(std::string_view text, std::string* out);

// Appends quoted-printable of `bytes` with CRLF line ends and lines of at
// most 76 characters. `text` keeps the input's line breaks as CRLF; for
// binary data (text=false) CR and LF are encoded too.
void qp_encode(std::string_view bytes, bool text, std::string* out);

// Decodes RFC 2047 encoded words in an unfolded header value into UTF-8.
// Whitespace between adjacent encoded words is dropped, and the bytes of
// adjacent words in the same charset are converted together. Bytes outside
// encoded words are taken as UTF-8 when valid, else as `fallback_charset`
// (the charset the part declares), else as windows-1252.
// Unterminated or malformed words stay as they are.
std::string decode_header_words(std::string_view value, std::string_view fallback_charset = {});

// Encodes a UTF-8 header value for transmission: runs of words holding
// non-ASCII characters become "=?utf-8?B?...?=" words; ASCII stays as is.
std::string encode_header_words(std::string_view utf8);

// Percent-decoding of an RFC 2231 extended value ("charset'lang'%xx...")
// into UTF-8. Without the two quotes the value is taken as percent-encoded
// UTF-8.
std::string decode_rfc2231_value(std::string_view value);

}  // namespace mimeengine
