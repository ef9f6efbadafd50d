// Character classes and full case folding of every code point, from the tables gen_tables.py
// generates out of Unicode's data at build time.
#pragma once

#include <cstdint>
#include <string>

namespace mailsearch {
namespace unicode {

enum CharClass : uint8_t {
  kOther = 0,  // separates words
  kWord = 1,   // letters and digits (L*, N*) outside the CJK scripts
  kMark = 2,   // combining marks (M*): continue a word, never start one
  kCjk = 3,    // letters and digits of Han, Hiragana, Katakana and Hangul
};

struct CharInfo {
  uint8_t cls;        // CharClass
  uint8_t fold_len;   // bytes of the folded form in kFoldPool; 0: folds to itself
  uint16_t fold_off;
};

constexpr int kBlockShift = 7;  // 128 code points a block (gen_tables.py's BLOCK)
extern const uint16_t kStage1[];
extern const uint16_t kStage2[];
extern const CharInfo kInfo[];
extern const char kFoldPool[];

// |cp| must be below 0x110000.
inline const CharInfo& Lookup(uint32_t cp) {
  const uint32_t block = kStage1[cp >> kBlockShift];
  return kInfo[kStage2[(block << kBlockShift) | (cp & ((1u << kBlockShift) - 1))]];
}

// Decodes one UTF-8 character at |p| (p < end). Returns its length and sets |cp|, or returns 0
// for an invalid sequence: a stray or missing continuation byte, an overlong form, an encoded
// surrogate or a value past U+10FFFF.
inline int Decode(const unsigned char* p, const unsigned char* end, uint32_t* cp) {
  const unsigned char b = p[0];
  if (b < 0x80) {
    *cp = b;
    return 1;
  }
  int n;
  uint32_t c, min;
  if (b >= 0xC2 && b <= 0xDF) {
    n = 2, c = b & 0x1F, min = 0x80;
  } else if (b >= 0xE0 && b <= 0xEF) {
    n = 3, c = b & 0x0F, min = 0x800;
  } else if (b >= 0xF0 && b <= 0xF4) {
    n = 4, c = b & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (end - p < n) return 0;
  for (int i = 1; i < n; ++i) {
    if ((p[i] & 0xC0) != 0x80) return 0;
    c = (c << 6) | (p[i] & 0x3F);
  }
  if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
  *cp = c;
  return n;
}

void AppendUtf8(uint32_t cp, std::string* out);

// Appends the full case folding of |cp| (or |cp| itself) to |out|.
inline void AppendFolded(uint32_t cp, const CharInfo& info, std::string* out) {
  if (info.fold_len)
    out->append(kFoldPool + info.fold_off, info.fold_len);
  else
    AppendUtf8(cp, out);
}

}  // namespace unicode
}  // namespace mailsearch
