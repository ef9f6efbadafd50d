#include "mimeengine/charset.h"

#include <array>
#include <cstdint>
#include <cstring>

#include "ascii.h"

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
    {"latin1", "iso-8859-1"},   {"l1", "iso-8859-1"},       {"iso8859-1", "iso-8859-1"},
    {"iso_8859-1", "iso-8859-1"}, {"iso-ir-100", "iso-8859-1"}, {"cp819", "iso-8859-1"},
    {"latin2", "iso-8859-2"},   {"latin-1", "iso-8859-1"},  {"latin9", "iso-8859-15"},
    {"latin-9", "iso-8859-15"}, {"ascii", "us-ascii"},      {"us", "us-ascii"},
    {"ansi_x3.4-1968", "us-ascii"}, {"iso646-us", "us-ascii"}, {"utf8", "utf-8"},
    {"unicode-1-1-utf-8", "utf-8"}, {"x-unknown", ""},      {"unknown-8bit", ""},
    {"cp437", "ibm437"},        {"cp850", "ibm850"},        {"koi8r", "koi8-r"},
};

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
  if (l == "utf-8" || l == "us-ascii") return l;
  // Accept "iso8859-N", "iso_8859-N", "iso-8859-N:1987", "cp125N", "windows125N".
  std::string norm = l;
  const size_t colon = norm.find(':');
  if (colon != std::string::npos) norm.resize(colon);
  if (norm.rfind("iso8859-", 0) == 0 || norm.rfind("iso_8859-", 0) == 0 ||
      norm.rfind("iso-8859_", 0) == 0 || norm.rfind("iso8859_", 0) == 0) {
    norm = "iso-8859-" + norm.substr(norm.find_first_of("-_", 3) + 1);
  } else if (norm.rfind("cp", 0) == 0 && norm.size() == 6) {
    norm = "windows-" + norm.substr(2);
  } else if (norm.rfind("windows", 0) == 0 && norm.size() == 11) {
    norm = "windows-" + norm.substr(7);
  } else if (norm.rfind("x-cp", 0) == 0) {
    norm = "windows-" + norm.substr(4);
  }
  if (FindTable(norm)) return norm;
  return std::string();
}

std::string charset_to_utf8(std::string_view bytes, std::string_view charset) {
  std::string canon = canonical_charset(charset);
  if (canon.empty() || canon == "us-ascii") {
    // Unknown labels and mislabelled ASCII: keep UTF-8 when it is UTF-8.
    if (is_ascii(bytes) || is_valid_utf8(bytes)) return std::string(bytes);
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
