// Manifest: the small file that names the index's live segments, their deleted documents and
// how far the index has followed the store's history. It is replaced whole (written beside,
// synced, renamed over), so a reader finds the old one or the new one, never a mix.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "mailstore/store_types.h"

namespace mailsearch {

struct ManifestSegment {
  uint64_t id = 0;             // the file is seg-<id>.idx
  uint32_t base = 0, count = 0;
  uint64_t size = 0;           // of the file
  uint32_t crc = 0;            // the file's own checksum
  std::vector<uint32_t> deleted;  // doc numbers, ascending
};

struct Manifest {
  enum class ReadResult { kOk, kMissing, kDamaged };

  uint64_t generation = 0;  // grows with each manifest written
  mailstore::HistoryId history;
  uint64_t sequence = 0;    // the last change of |history| indexed
  uint32_t next_doc = 0;
  uint64_t next_segment = 1;
  std::vector<ManifestSegment> segments;  // by base, ascending

  static ReadResult Read(const std::string& dir, Manifest* out);
  // The generation of the manifest in |dir|, from its first bytes; 0 when there is none.
  static uint64_t ReadGeneration(const std::string& dir);
  // Writes |this| as the manifest of |dir|: new file, sync, rename over. False on failure
  // (the old manifest stays).
  bool Write(const std::string& dir) const;

  static std::string SegmentName(uint64_t id);
};

}  // namespace mailsearch
