// Segment: one immutable segment file, read through a read-only mapping (or, for a segment
// kept in memory, from its bytes). Opening verifies the whole file's checksum, so everything
// read afterwards is what was written; the readers stay bounded anyway.
#pragma once

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
  ByteReader docs;        // delta-coded local doc numbers
  ByteReader positions;   // per document: count, delta-coded positions
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
