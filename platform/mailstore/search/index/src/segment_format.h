// The layout of a segment file, shared by SegmentBuilder (writes) and Segment (reads).
//
//   header (kHeaderSize bytes): magic, version, base doc number, doc count, term count,
//     then the offsets of the sections below and of the checksum;
//   dictionary: term_count + 1 entries of {u32 term offset, u64 postings offset}, terms sorted
//     (a term is its field tag byte followed by the folded word);
//   terms: the term bytes back to back;
//   postings of each term: varint doc count, varint (byte length of the doc list << 1 | bitmap),
//     the doc list (local doc numbers, delta-coded varints; or, where that is smaller, a bitmap
//     of one bit per local doc, bit 0 of byte 0 first), then per doc the varint byte length of its
//     positions and the positions, delta-coded (so a phrase skips the docs it does not need);
//     a term's tag kTagAny lists the docs that hold the word in any field, without positions;
//     a term's tag kTagPair (then a field tag, word, kPairSeparator, word) lists, without positions,
//     the docs where the two words follow each other in that field; such a list exists for every
//     pair of words that are both FrequentInPairs in that field of the segment, and only for them;
//   columns: received[n] u64, sent[n] u64, folder[n], id[n], size[n], checksum[n],
//     attachments[n] u32, stored offset[n + 1] u32;
//   stored fields: per doc the six strings of StoredFields, varint-length-prefixed;
//   CRC-32 of everything before it (u32).
// All numbers little-endian.
#pragma once

#include <cstdint>

namespace mailsearch {
namespace segment_format {

constexpr uint32_t kMagic = 0x47534B50;  // "PKSG"
constexpr uint32_t kVersion = 4;
constexpr uint64_t kHeaderSize = 72;
constexpr uint64_t kDictEntry = 12;
// Header field offsets.
constexpr uint64_t kBaseAt = 8, kDocCountAt = 12, kTermCountAt = 16;
constexpr uint64_t kDictAt = 24, kTermsAt = 32, kPostingsAt = 40, kColumnsAt = 48, kStoredAt = 56,
                   kCrcAt = 64;

// Whether a word held by |count| of a segment's |doc_count| docs in one field has its pairs
// listed: a phrase of such words would read a large share of the segment's positions.
inline bool FrequentInPairs(uint32_t count, uint32_t doc_count) {
  return count >= 64 && uint64_t(count) * 4 >= doc_count;
}
constexpr char kPairSeparator = '\0';  // never in a word; words holding it get no pairs

}  // namespace segment_format
}  // namespace mailsearch
