// The layout of a segment file, shared by SegmentBuilder (writes) and Segment (reads).
//
//   header (kHeaderSize bytes): magic, version, base doc number, doc count, term count,
//     then the offsets of the sections below and of the checksum;
//   dictionary: term_count + 1 entries of {u32 term offset, u64 postings offset}, terms sorted
//     (a term is its field tag byte followed by the folded word);
//   terms: the term bytes back to back;
//   postings of each term: varint doc count, varint byte length of the doc list, the doc list
//     (local doc numbers, delta-coded varints), then per doc a varint count and delta-coded
//     positions;
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
constexpr uint32_t kVersion = 1;
constexpr uint64_t kHeaderSize = 72;
constexpr uint64_t kDictEntry = 12;
// Header field offsets.
constexpr uint64_t kBaseAt = 8, kDocCountAt = 12, kTermCountAt = 16;
constexpr uint64_t kDictAt = 24, kTermsAt = 32, kPostingsAt = 40, kColumnsAt = 48, kStoredAt = 56,
                   kCrcAt = 64;

}  // namespace segment_format
}  // namespace mailsearch
