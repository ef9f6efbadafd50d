// DocSet: a set of doc numbers as one bit each over [0, size): what the evaluator combines. At a
// million messages a set is 128 KB, and AND, OR, NOT and counting cost the same whatever the
// number of matches.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace mailsearch {

class DocSet {
 public:
  void Reset(uint32_t size) { words_.assign((static_cast<size_t>(size) + 63) / 64, 0); }
  void Set(uint32_t doc) { words_[doc >> 6] |= uint64_t(1) << (doc & 63); }
  void Clear(uint32_t doc) { words_[doc >> 6] &= ~(uint64_t(1) << (doc & 63)); }
  bool Has(uint32_t doc) const { return (words_[doc >> 6] >> (doc & 63)) & 1; }
  // ORs |bits| bits read from |src| (little-endian bytes, bit 0 first) in at doc |offset|.
  void OrBits(const uint8_t* src, uint32_t bits, uint32_t offset) {
    const uint32_t shift = offset & 63;
    size_t at = offset >> 6;
    for (uint32_t done = 0; done < bits; done += 64, ++at) {
      uint64_t w = 0;
      const uint32_t bytes = std::min<uint32_t>(8, (bits - done + 7) / 8);
      std::memcpy(&w, src + done / 8, bytes);  // little-endian hosts only, like the file formats
      if (bits - done < 64) w &= (uint64_t(1) << (bits - done)) - 1;
      words_[at] |= w << shift;
      if (shift && at + 1 < words_.size()) words_[at + 1] |= w >> (64 - shift);
    }
  }
  void And(const DocSet& o) { for (size_t i = 0; i < words_.size(); ++i) words_[i] &= o.words_[i]; }
  void Or(const DocSet& o) { for (size_t i = 0; i < words_.size(); ++i) words_[i] |= o.words_[i]; }
  void AndNot(const DocSet& o) { for (size_t i = 0; i < words_.size(); ++i) words_[i] &= ~o.words_[i]; }
  bool Empty() const {
    for (uint64_t w : words_) if (w) return false;
    return true;
  }
  uint64_t Count() const {
    uint64_t n = 0;
    for (uint64_t w : words_) n += static_cast<uint64_t>(__builtin_popcountll(w));
    return n;
  }
  // |f(doc)| for each member, ascending; Filter keeps those for which it is true.
  template <typename F>
  void ForEach(F&& f) const {
    for (size_t i = 0; i < words_.size(); ++i)
      for (uint64_t w = words_[i]; w; w &= w - 1) f(static_cast<uint32_t>(i * 64 + __builtin_ctzll(w)));
  }
  template <typename F>
  void ForEachDescending(F&& f) const {
    for (size_t i = words_.size(); i-- > 0;)
      for (uint64_t w = words_[i]; w; w &= ~(uint64_t(1) << (63 - __builtin_clzll(w))))
        f(static_cast<uint32_t>(i * 64 + 63 - __builtin_clzll(w)));
  }
  template <typename F>
  void Filter(F&& keep) {
    for (size_t i = 0; i < words_.size(); ++i)
      for (uint64_t w = words_[i]; w; w &= w - 1) {
        const uint32_t doc = static_cast<uint32_t>(i * 64 + __builtin_ctzll(w));
        if (!keep(doc)) words_[i] &= ~(uint64_t(1) << (doc & 63));
      }
  }
  void Swap(DocSet& o) { words_.swap(o.words_); }

 private:
  std::vector<uint64_t> words_;
};

}  // namespace mailsearch
