// EntryEncoder: builds the payload of one journal entry from little-endian
// integers and length-prefixed strings, as EntryDecoder reads them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace mailstore {

class EntryEncoder {
 public:
  void U8(uint8_t v) { payload_.push_back(static_cast<char>(v)); }
  void U32(uint32_t v) {
    for (int i = 0; i < 4; ++i) payload_.push_back(static_cast<char>(v >> (8 * i)));
  }
  void U64(uint64_t v) {
    U32(static_cast<uint32_t>(v));
    U32(static_cast<uint32_t>(v >> 32));
  }
  void Str(std::string_view s) {
    U32(static_cast<uint32_t>(s.size()));
    payload_.append(s);
  }
  bool empty() const { return payload_.empty(); }
  const std::string& payload() const { return payload_; }
  void clear() { payload_.clear(); }

 private:
  std::string payload_;
};

}  // namespace mailstore
