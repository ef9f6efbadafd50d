// Little-endian fixed-width values and LEB128 varints, for the index's file formats.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace mailsearch {

inline void PutVarint(std::string* out, uint64_t v) {
  while (v >= 0x80) {
    out->push_back(static_cast<char>(v | 0x80));
    v >>= 7;
  }
  out->push_back(static_cast<char>(v));
}

template <typename T>
inline void PutFixed(std::string* out, T v) {
  char bytes[sizeof(T)];
  for (size_t i = 0; i < sizeof(T); ++i) bytes[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  out->append(bytes, sizeof(T));
}

inline void PutString(std::string* out, std::string_view s) {
  PutVarint(out, s.size());
  out->append(s);
}

template <typename T>
inline T GetFixedAt(const uint8_t* p) {
  T v = 0;
  for (size_t i = 0; i < sizeof(T); ++i) v |= static_cast<T>(p[i]) << (8 * i);
  return v;
}

// Reads from a bounded range; a read past the end or a varint too long sets |bad| and gives 0,
// so that damaged input is noticed by the caller instead of read out of bounds.
class ByteReader {
 public:
  ByteReader() = default;
  ByteReader(const uint8_t* begin, const uint8_t* end) : p_(begin), end_(end) {}
  uint64_t Varint() {
    uint64_t v = 0;
    for (int shift = 0; shift < 64; shift += 7) {
      if (p_ >= end_) break;
      uint8_t b = *p_++;
      v |= static_cast<uint64_t>(b & 0x7F) << shift;
      if (!(b & 0x80)) return v;
    }
    bad_ = true;
    p_ = end_;
    return 0;
  }
  // Varint without bounds checks beyond the range end: for hot loops over checked data.
  uint32_t Varint32() { return static_cast<uint32_t>(Varint()); }
  template <typename T>
  T Fixed() {
    if (static_cast<size_t>(end_ - p_) < sizeof(T)) {
      bad_ = true;
      p_ = end_;
      return 0;
    }
    T v = GetFixedAt<T>(p_);
    p_ += sizeof(T);
    return v;
  }
  std::string_view String() {
    uint64_t n = Varint();
    if (n > static_cast<uint64_t>(end_ - p_)) {
      bad_ = true;
      p_ = end_;
      return {};
    }
    std::string_view s(reinterpret_cast<const char*>(p_), n);
    p_ += n;
    return s;
  }
  void Skip(uint64_t n) {
    if (n > static_cast<uint64_t>(end_ - p_)) {
      bad_ = true;
      p_ = end_;
    } else {
      p_ += n;
    }
  }
  const uint8_t* pos() const { return p_; }
  bool at_end() const { return p_ >= end_; }
  bool bad() const { return bad_; }

 private:
  const uint8_t* p_ = nullptr;
  const uint8_t* end_ = nullptr;
  bool bad_ = false;
};

}  // namespace mailsearch
