// The HTML named character references, from the table gen_tables.py generates at build time.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mailsearch {

struct HtmlEntity {
  uint16_t name_off;   // in kHtmlEntityPool: the name without '&' and ';'
  uint8_t name_len;
  uint16_t value_off;  // in kHtmlEntityPool: the UTF-8 text it stands for
  uint8_t value_len;
  uint8_t legacy;      // 1: also recognised without the closing ';'
};

extern const HtmlEntity kHtmlEntities[];  // sorted by name (byte order)
extern const size_t kHtmlEntityCount;
extern const char kHtmlEntityPool[];
extern const uint16_t kHtmlC1[32];  // what &#128; .. &#159; stand for

}  // namespace mailsearch
