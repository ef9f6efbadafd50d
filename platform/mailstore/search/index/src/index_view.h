// IndexView: the segments one process searches (those of the manifest it read, plus any
// indexed in memory since) with their deleted documents, and the map from a message's
// (folder, id) to its live document.
#pragma once

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "manifest.h"
#include "segment.h"

namespace mailsearch {

constexpr uint32_t kNoDoc = 0xFFFFFFFFu;

struct ViewSegment {
  uint64_t id = 0;  // file id; 0: held in memory only
  std::shared_ptr<Segment> segment;
  std::vector<uint64_t> deleted;  // bit per local doc
  uint32_t deleted_count = 0;

  bool IsDeleted(uint32_t local) const { return (deleted[local >> 6] >> (local & 63)) & 1; }
  uint32_t live() const { return segment->doc_count() - deleted_count; }
};

class IndexView {
 public:
  // Manifest fields other than the segments (history, sequence, next doc and segment ids).
  Manifest meta;
  const std::vector<ViewSegment>& segments() const { return segments_; }

  void Clear();
  // Appends a segment (bases ascending) with the given deleted docs.
  void AddSegment(uint64_t id, std::shared_ptr<Segment> segment, const std::vector<uint32_t>& deleted);
  // Replaces segments [first, last) by |merged| (which holds their live documents); a null
  // |merged| removes them.
  void ReplaceSegments(size_t first, size_t last, uint64_t id, std::shared_ptr<Segment> merged);
  void SetSegmentId(size_t i, uint64_t id) { segments_[i].id = id; }

  // The segment holding |doc| and its local number; false for none.
  bool Locate(uint32_t doc, size_t* segment, uint32_t* local) const;
  bool IsLive(uint32_t doc) const;
  // The live doc of message (folder, id), or kNoDoc.
  uint32_t Find(uint32_t folder, uint32_t id);
  void Delete(uint32_t doc);
  // Deletes every live doc of |folder|.
  void DeleteFolder(uint32_t folder);
  // Records a doc added to the last segment; keeps the map current when it is built.
  void Added(uint32_t folder, uint32_t id, uint32_t doc);
  uint64_t live_count() const;

  // The manifest of this view (meta with the segments and their deletions).
  Manifest ToManifest() const;

 private:
  static uint64_t Key(uint32_t folder, uint32_t id) { return uint64_t(folder) << 32 | id; }
  void BuildKeys();

  std::vector<ViewSegment> segments_;
  // Built at the first need and kept current from then on.
  bool keys_built_ = false;
  std::unordered_map<uint64_t, uint32_t> keys_;
};

}  // namespace mailsearch
