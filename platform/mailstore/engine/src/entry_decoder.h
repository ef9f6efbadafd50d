// EntryDecoder: reads the payload of one journal entry (see EntryEncoder).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace mailstore {

// Reads a little-endian u32 from raw bytes.
inline uint32_t LoadU32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Every read past the end sets failed() and yields zeros (an empty string).
class EntryDecoder {
 public:
  EntryDecoder(const uint8_t* data, size_t size) : p_(data), end_(data + size) {}
  bool done() const { return p_ == end_; }
  bool failed() const { return failed_; }
  uint8_t U8() { return Need(1) ? *p_++ : 0; }
  uint32_t U32() {
    if (!Need(4)) return 0;
    uint32_t v = LoadU32(p_);
    p_ += 4;
    return v;
  }
  uint64_t U64() {
    uint64_t lo = U32();
    return lo | uint64_t(U32()) << 32;
  }
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

}  // namespace mailstore
