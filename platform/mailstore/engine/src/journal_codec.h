// Journal entry encoding: little-endian integers and length-prefixed
// strings, framed as  magic | payload length | CRC-32 of payload | payload.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace mailstore {

constexpr uint32_t kEntryMagic = 0x314A4B50;  // "PKJ1"
constexpr size_t kEntryHeaderSize = 12;
constexpr uint32_t kMaxEntryPayload = 64u << 20;

uint32_t Crc32(const uint8_t* data, size_t size);

class EntryEncoder {
 public:
  void U8(uint8_t v) { payload_.push_back(static_cast<char>(v)); }
  void U32(uint32_t v) {
    for (int i = 0; i < 4; ++i) payload_.push_back(static_cast<char>(v >> (8 * i)));
  }
  void U64(uint64_t v) {
    for (int i = 0; i < 8; ++i) payload_.push_back(static_cast<char>(v >> (8 * i)));
  }
  void Str(std::string_view s) {
    U32(static_cast<uint32_t>(s.size()));
    payload_.append(s);
  }
  bool empty() const { return payload_.empty(); }
  // The framed entry, ready to append.
  std::string Finish() const;

 private:
  std::string payload_;
};

// Reads a payload; every read past the end sets failed() and yields zeros.
class EntryDecoder {
 public:
  EntryDecoder(const uint8_t* data, size_t size) : p_(data), end_(data + size) {}
  bool done() const { return p_ == end_; }
  bool failed() const { return failed_; }
  uint8_t U8() { return Need(1) ? *p_++ : 0; }
  uint32_t U32() {
    if (!Need(4)) return 0;
    uint32_t v = uint32_t(p_[0]) | uint32_t(p_[1]) << 8 | uint32_t(p_[2]) << 16 | uint32_t(p_[3]) << 24;
    p_ += 4;
    return v;
  }
  uint64_t U64() {
    uint64_t lo = U32();
    return lo | uint64_t(U32()) << 32;
  }
  std::string Str() { return std::string(View()); }
  // A view into the payload; valid while the payload is.
  std::string_view View() {
    uint32_t n = U32();
    if (!Need(n)) return std::string_view();
    std::string_view s(reinterpret_cast<const char*>(p_), n);
    p_ += n;
    return s;
  }

 private:
  bool Need(size_t n) {
    if (failed_ || static_cast<size_t>(end_ - p_) < n) {
      failed_ = true;
      p_ = end_;
      return false;
    }
    return true;
  }
  const uint8_t* p_;
  const uint8_t* end_;
  bool failed_ = false;
};

// Reads a little-endian u32 from raw bytes.
inline uint32_t LoadU32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

}  // namespace mailstore
