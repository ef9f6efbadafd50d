#include "mimeengine/charset.h"

#include <array>
#include <cstdint>
#include <cstring>

#include "ascii.h"
#include "charset_converter.h"

namespace mimeengine {
namespace {

struct SingleByteTable {
  const char* name;
  std::array<uint16_t, 128> high;
};

const SingleByteTable kTables[] = {
#include "charset_tables.inc"
};

// Labels seen in mail for a charset, and its canonical name ("" for labels
// that name no charset at all).
const ascii::NamePair kAliases[] = {
#include "charset_aliases.inc"
};

// Canonical names that no table holds: converted by CharsetConverter, or
// here (the UTF-16 forms, and ISO-2022-JP, which is EUC-JP in 7 bits).
const char* const kOtherCharsets[] = {
    "utf-7",  "utf-16",  "utf-16le", "utf-16be", "shift_jis",  "euc-jp",      "iso-2022-jp", "gb2312",
    "gbk",    "gb18030", "big5",     "big5-hkscs", "euc-kr",   "ibm866",      "windows-874", "macintosh",
};

bool IsOtherCharset(std::string_view canonical) {
  for (const char* name : kOtherCharsets) {
    if (canonical == name) return true;
  }
  return false;
}

const SingleByteTable* FindTable(std::string_view canonical) {
  for (const auto& t : kTables) {
    if (canonical == t.name) return &t;
  }
  return nullptr;
}

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// Decodes one UTF-8 sequence at s[i]; returns the code point and advances i,
// or returns -1 and advances i by one byte on malformed input.
int32_t NextUtf8(std::string_view s, size_t& i) {
  const auto b0 = static_cast<uint8_t>(s[i]);
  if (b0 < 0x80) {
    ++i;
    return b0;
  }
  size_t len;
  uint32_t cp;
  uint32_t min;
  if ((b0 & 0xE0) == 0xC0) {
    len = 2, cp = b0 & 0x1F, min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3, cp = b0 & 0x0F, min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4, cp = b0 & 0x07, min = 0x10000;
  } else {
    ++i;
    return -1;
  }
  if (i + len > s.size()) {
    ++i;
    return -1;
  }
  for (size_t k = 1; k < len; ++k) {
    const auto b = static_cast<uint8_t>(s[i + k]);
    if ((b & 0xC0) != 0x80) {
      ++i;
      return -1;
    }
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++i;
    return -1;
  }
  i += len;
  return static_cast<int32_t>(cp);
}

// UTF-16 text: "utf-16" reads a byte-order mark and is big-endian without
// one (RFC 2781); the labels with an order take the bytes as they are. An
// odd last byte becomes U+FFFD.
std::string Utf16ToUtf8(std::string_view bytes, std::string_view canonical) {
  bool big = canonical != "utf-16le";
  size_t i = 0;
  if (canonical == "utf-16" && bytes.size() >= 2) {
    const auto b0 = static_cast<uint8_t>(bytes[0]), b1 = static_cast<uint8_t>(bytes[1]);
    if ((b0 == 0xFE && b1 == 0xFF) || (b0 == 0xFF && b1 == 0xFE)) big = b0 == 0xFE, i = 2;
  }
  std::u16string units;
  units.reserve(bytes.size() / 2);
  for (; i + 1 < bytes.size(); i += 2) {
    const auto hi = static_cast<uint8_t>(bytes[big ? i : i + 1]), lo = static_cast<uint8_t>(bytes[big ? i + 1 : i]);
    units.push_back(static_cast<char16_t>(hi << 8 | lo));
  }
  if (i < bytes.size()) units.push_back(u'\xFFFD');
  return utf16_to_utf8(units);
}

// UTF-8 -> UTF-16 bytes, big-endian unless the label says little; no mark.
std::string Utf8ToUtf16(std::string_view utf8, std::string_view canonical) {
  const bool big = canonical != "utf-16le";
  std::string out;
  out.reserve(utf8.size() * 2);
  for (char16_t u : utf8_to_utf16(utf8)) {
    const char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
    out.push_back(big ? hi : lo);
    out.push_back(big ? lo : hi);
  }
  return out;
}

// ISO-2022-JP (RFC 1468, with the JIS X 0212 and half-width katakana sets
// that mail also carries) -> EUC-JP: the same code points, in 8 bits and
// without escapes. A line end goes back to ASCII, as the encoding requires.
std::string Iso2022JpToEucJp(std::string_view in) {
  enum class Set { kAscii, kJis0208, kJis0212, kKatakana } set = Set::kAscii;
  std::string out;
  out.reserve(in.size());
  for (size_t i = 0; i < in.size(); ++i) {
    const std::string_view rest = in.substr(i);
    const auto b = static_cast<uint8_t>(in[i]);
    if (b == 0x1B) {
      const struct {
        const char* esc;
        Set set;
      } kEscapes[] = {{"\x1B(B", Set::kAscii},   {"\x1B(J", Set::kAscii},    {"\x1B$@", Set::kJis0208},
                      {"\x1B$B", Set::kJis0208}, {"\x1B$(D", Set::kJis0212}, {"\x1B(I", Set::kKatakana}};
      bool known = false;
      for (const auto& e : kEscapes) {
        const std::string_view esc(e.esc);
        if (rest.substr(0, esc.size()) == esc) {
          set = e.set;
          i += esc.size() - 1;
          known = true;
          break;
        }
      }
      if (!known) out.push_back(in[i]);
      continue;
    }
    if (b == '\r' || b == '\n') set = Set::kAscii;
    const bool graphic = b > 0x20 && b < 0x7F;
    if (set == Set::kKatakana && graphic) {
      out.push_back('\x8E');
      out.push_back(static_cast<char>(b | 0x80));
    } else if ((set == Set::kJis0208 || set == Set::kJis0212) && graphic && i + 1 < in.size()) {
      if (set == Set::kJis0212) out.push_back('\x8F');
      out.push_back(static_cast<char>(b | 0x80));
      out.push_back(static_cast<char>(in[++i] | 0x80));
    } else {
      out.push_back(in[i]);
    }
  }
  return out;
}

// EUC-JP -> ISO-2022-JP. False for what the 7-bit form does not carry
// (half-width katakana, JIS X 0212, bytes outside EUC-JP's rows).
bool EucJpToIso2022Jp(std::string_view in, std::string* out) {
  bool kanji = false;
  out->clear();
  for (size_t i = 0; i < in.size(); ++i) {
    const auto b = static_cast<uint8_t>(in[i]);
    if (b < 0x80) {
      if (kanji) out->append("\x1B(B");
      kanji = false;
      out->push_back(in[i]);
      continue;
    }
    if (b < 0xA1 || b == 0xFF || i + 1 >= in.size() || static_cast<uint8_t>(in[i + 1]) < 0xA1) return false;
    if (!kanji) out->append("\x1B$B");
    kanji = true;
    out->push_back(static_cast<char>(b & 0x7F));
    out->push_back(static_cast<char>(in[++i] & 0x7F));
  }
  if (kanji) out->append("\x1B(B");
  return true;
}

// Text in one of kOtherCharsets -> UTF-8; false when the platform has no
// conversion for it.
bool OtherToUtf8(std::string_view bytes, const std::string& canonical, std::string* out) {
  if (canonical.rfind("utf-16", 0) == 0) {
    *out = Utf16ToUtf8(bytes, canonical);
    return true;
  }
  if (canonical == "iso-2022-jp") return CharsetConverter::ToUtf8(Iso2022JpToEucJp(bytes), "euc-jp", out);
  return CharsetConverter::ToUtf8(bytes, canonical, out);
}

}  // namespace

bool is_ascii(std::string_view bytes) {
  const char* p = bytes.data();
  size_t n = bytes.size();
  while (n >= 8) {
    uint64_t w;
    std::memcpy(&w, p, 8);
    if (w & 0x8080808080808080ull) return false;
    p += 8;
    n -= 8;
  }
  for (size_t i = 0; i < n; ++i) {
    if (static_cast<uint8_t>(p[i]) >= 0x80) return false;
  }
  return true;
}

bool is_valid_utf8(std::string_view bytes) {
  size_t i = 0;
  while (i < bytes.size()) {
    if (static_cast<uint8_t>(bytes[i]) < 0x80) {
      ++i;
      continue;
    }
    if (NextUtf8(bytes, i) < 0) return false;
  }
  return true;
}

std::u16string utf8_to_utf16(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  size_t i = 0;
  while (i < utf8.size()) {
    const int32_t cp = NextUtf8(utf8, i);
    if (cp < 0) {
      out.push_back(u'\xFFFD');
    } else if (cp >= 0x10000) {
      const uint32_t v = static_cast<uint32_t>(cp) - 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (v >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (v & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

std::string utf16_to_utf8(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size());
  for (size_t i = 0; i < utf16.size(); ++i) {
    uint32_t cp = utf16[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
        utf16[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    AppendUtf8(out, cp);
  }
  return out;
}

std::string canonical_charset(std::string_view label) {
  std::string l = ascii::Lower(ascii::Trim(label));
  if (l.size() >= 2 && l.front() == '"' && l.back() == '"') l = l.substr(1, l.size() - 2);
  if (const char* canonical = ascii::ValueOf(kAliases, l)) return canonical;
  if (l == "utf-8" || l == "us-ascii" || IsOtherCharset(l)) return l;
  // Accept "iso8859-N", "iso_8859-N", "iso-8859-N:1987", "cp125N", "windows125N".
  std::string norm = l;
  const size_t colon = norm.find(':');
  if (colon != std::string::npos) norm.resize(colon);
  if (norm.rfind("iso8859-", 0) == 0 || norm.rfind("iso_8859-", 0) == 0 ||
      norm.rfind("iso-8859_", 0) == 0 || norm.rfind("iso8859_", 0) == 0) {
    norm = "iso-8859-" + norm.substr(norm.find_first_of("-_", 7) + 1);
  } else if (norm.rfind("cp", 0) == 0 && norm.size() == 6) {
    norm = "windows-" + norm.substr(2);
  } else if (norm.rfind("windows", 0) == 0 && norm.size() == 11) {
    norm = "windows-" + norm.substr(7);
  } else if (norm.rfind("x-cp", 0) == 0) {
    norm = "windows-" + norm.substr(4);
  }
  if (FindTable(norm) || IsOtherCharset(norm)) return norm;
  return std::string();
}

std::string charset_to_utf8(std::string_view bytes, std::string_view charset) {
  std::string canon = canonical_charset(charset);
  // ASCII reads as itself in every charset but the 16-bit and shifting ones.
  if (canon.rfind("utf-16", 0) != 0 && canon != "utf-7" && canon != "iso-2022-jp" && is_ascii(bytes)) {
    return std::string(bytes);
  }
  if (canon == "us-ascii") canon.clear();  // mislabelled: read as an unknown label
  if (IsOtherCharset(canon)) {
    std::string out;
    if (OtherToUtf8(bytes, canon, &out)) return out;
    canon.clear();  // the platform cannot read it: as for an unknown label
  }
  if (canon.empty()) {
    // Unknown labels and mislabelled ASCII: keep UTF-8 when it is UTF-8.
    if (is_valid_utf8(bytes)) return std::string(bytes);
    canon = "windows-1252";
  }
  if (canon == "utf-8") {
    if (is_valid_utf8(bytes)) return std::string(bytes);
    std::string out;
    out.reserve(bytes.size());
    size_t i = 0;
    while (i < bytes.size()) {
      const int32_t cp = NextUtf8(bytes, i);
      AppendUtf8(out, cp < 0 ? 0xFFFD : static_cast<uint32_t>(cp));
    }
    return out;
  }
  const SingleByteTable* table = FindTable(canon);
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 4);
  for (char ch : bytes) {
    const auto b = static_cast<uint8_t>(ch);
    if (b < 0x80) {
      out.push_back(ch);
    } else {
      AppendUtf8(out, table->high[b - 0x80]);
    }
  }
  return out;
}

bool utf8_to_charset(std::string_view utf8, std::string_view charset, std::string* out) {
  const std::string canon = canonical_charset(charset);
  out->clear();
  if (canon == "utf-8") {
    if (!is_valid_utf8(utf8)) return false;
    out->assign(utf8);
    return true;
  }
  if (canon == "us-ascii") {
    if (!is_ascii(utf8)) return false;
    out->assign(utf8);
    return true;
  }
  if (canon.rfind("utf-16", 0) == 0) {
    if (!is_valid_utf8(utf8)) return false;
    *out = Utf8ToUtf16(utf8, canon);
    return true;
  }
  if (IsOtherCharset(canon)) {
    if (!is_valid_utf8(utf8)) return false;
    if (canon != "iso-2022-jp") return CharsetConverter::FromUtf8(utf8, canon, out);
    std::string euc;
    return CharsetConverter::FromUtf8(utf8, "euc-jp", &euc) && EucJpToIso2022Jp(euc, out);
  }
  const SingleByteTable* table = FindTable(canon);
  if (!table) return false;
  out->reserve(utf8.size());
  size_t i = 0;
  while (i < utf8.size()) {
    const int32_t cp = NextUtf8(utf8, i);
    if (cp < 0) return false;
    if (cp < 0x80) {
      out->push_back(static_cast<char>(cp));
      continue;
    }
    int found = -1;
    for (int k = 0; k < 128; ++k) {
      if (table->high[k] == cp && cp != 0xFFFD) {
        found = k;
        break;
      }
    }
    if (found < 0) return false;
    out->push_back(static_cast<char>(0x80 + found));
  }
  return true;
}

}  // namespace mimeengine
