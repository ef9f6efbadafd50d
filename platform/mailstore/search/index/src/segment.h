// Segment: one immutable segment file, read through a read-only mapping (or, for a segment
// kept in memory, from its bytes). Opening verifies the whole file's checksum, so everything
// read afterwards is what was written; the readers stay bounded anyway.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "byte_io.h"
#include "mailsearch/search_index.h"
#include "mailstore/file.h"

namespace mailsearch {

// The postings of one term in one segment.
struct Postings {
  uint32_t count = 0;     // documents
  bool bitmap = false;    // |docs| is a bit per local doc rather than delta-coded numbers
  ByteReader docs;
  ByteReader positions;   // per document: byte length, delta-coded positions (none for kTagAny)
};

// Calls |f(local doc)| for each doc of |p|, ascending.
template <typename F>
void ForEachDoc(Postings& p, uint32_t doc_count, F&& f) {
  if (p.bitmap) {
    const uint8_t* bits = p.docs.pos();
    const uint64_t bytes = p.docs.remaining();
    for (uint64_t i = 0; i < bytes; ++i)
      for (unsigned b = bits[i]; b; b &= b - 1) {
        const uint32_t local = static_cast<uint32_t>(i * 8 + __builtin_ctz(b));
        if (local < doc_count) f(local);
      }
    return;
  }
  uint32_t local = 0;
  for (uint32_t i = 0; i < p.count && !p.docs.at_end(); ++i) {
    local += p.docs.Varint32();
    f(local);
  }
}

// Walks the docs of one term's postings with each doc's positions, for phrases.
class PostingCursor {
 public:
  PostingCursor() = default;
  PostingCursor(const Postings& p, uint32_t doc_count) : p_(p), doc_count_(doc_count), left_(p.count) {}
  // Moves to the next doc; false at the end.
  bool Next() {
    if (left_ == 0) return false;
    --left_;
    if (p_.bitmap) {
      const uint8_t* bits = p_.docs.pos();
      const uint64_t end = std::min<uint64_t>(doc_count_, p_.docs.remaining() * 8);
      for (;;) {
        if (bit_ >= end) return false;
        const unsigned byte = bits[bit_ >> 3] >> (bit_ & 7);
        if (byte) {
          bit_ += static_cast<uint64_t>(__builtin_ctz(byte));
          break;
        }
        bit_ = (bit_ | 7) + 1;
      }
      doc_ = static_cast<uint32_t>(bit_++);
    } else {
      if (p_.docs.at_end()) return false;
      doc_ = started_ ? doc_ + p_.docs.Varint32() : p_.docs.Varint32();
      started_ = true;
    }
    const uint64_t bytes = p_.positions.Varint();
    positions_ = ByteReader(p_.positions.pos(), p_.positions.pos() + std::min(bytes, p_.positions.remaining()));
    p_.positions.Skip(bytes);
    return true;
  }
  uint32_t doc() const { return doc_; }
  // The positions of the current doc, delta-coded.
  const ByteReader& positions() const { return positions_; }

 private:
  Postings p_;
  uint32_t doc_count_ = 0, left_ = 0, doc_ = 0;
  bool started_ = false;
  uint64_t bit_ = 0;
  ByteReader positions_;
};

class Segment {
 public:
  // Opens and verifies |path|; null with |problem| set ("cut", "checksum", ...) on failure.
  static std::shared_ptr<Segment> OpenFile(const std::string& path, std::string* problem);
  // A segment held in memory (not written: the index directory cannot be written).
  static std::shared_ptr<Segment> FromBytes(std::string bytes, std::string* problem);
  // Verifies |path| without mapping it; |crc| receives the file's checksum.
  static bool Verify(const std::string& path, uint32_t* crc, std::string* problem);

  uint32_t base() const { return base_; }
  uint32_t doc_count() const { return doc_count_; }
  uint32_t crc() const { return crc_; }
  uint64_t file_size() const { return size_; }

  // The postings of |term| (field tag + folded word); false when absent.
  bool Find(std::string_view term, Postings* out) const;
  // Every term in order, for merges.
  uint32_t term_count() const { return term_count_; }
  std::string_view TermAt(uint32_t i) const;
  Postings PostingsAt(uint32_t i) const;

  // Columns of local doc |i| (< doc_count()).
  uint64_t received(uint32_t i) const { return GetFixedAt<uint64_t>(columns_ + 8ull * i); }
  uint64_t sent(uint32_t i) const { return GetFixedAt<uint64_t>(columns_ + 8ull * (doc_count_ + i)); }
  uint32_t folder(uint32_t i) const { return U32Column(0, i); }
  uint32_t id(uint32_t i) const { return U32Column(1, i); }
  uint32_t size(uint32_t i) const { return U32Column(2, i); }
  uint32_t checksum(uint32_t i) const { return U32Column(3, i); }
  uint32_t attachments(uint32_t i) const { return U32Column(4, i); }
  std::string_view StoredBytes(uint32_t i) const;
  bool Stored(uint32_t i, StoredFields* out) const;

 private:
  Segment() = default;
  bool Parse(std::string* problem);
  uint32_t U32Column(int column, uint32_t i) const {
    return GetFixedAt<uint32_t>(columns_ + 16ull * doc_count_ + 4ull * (uint64_t(column) * doc_count_ + i));
  }

  mailstore::File file_;
  std::string bytes_;
  const uint8_t* data_ = nullptr;
  uint64_t size_ = 0;
  uint32_t base_ = 0, doc_count_ = 0, term_count_ = 0, crc_ = 0;
  const uint8_t* dict_ = nullptr;
  const uint8_t* terms_ = nullptr;
  const uint8_t* postings_ = nullptr;
  const uint8_t* columns_ = nullptr;
  const uint8_t* stored_ = nullptr;
  uint64_t postings_size_ = 0, terms_size_ = 0, stored_size_ = 0;
};

}  // namespace mailsearch
