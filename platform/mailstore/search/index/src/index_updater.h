// IndexUpdater: brings an IndexView up to the store. It reads the store's change history after
// the view's sequence and indexes what is new; a different history (a recovered journal) or a
// history no longer kept (after compaction) is met by reconciling with a full listing: what
// matches by folder, id and source checksum stays, the rest is indexed or dropped. New
// documents go into new segments; with a directory, they are written as files, small segments
// are merged and a new manifest is switched in.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "index_view.h"
#include "mailstore/store.h"
#include "segment_builder.h"

namespace mailsearch {

class IndexUpdater {
 public:
  using Progress = std::function<void(uint64_t done, uint64_t total)>;

  // |dir|: where segments and manifest are written (under the caller's index lock); empty:
  // keep everything in memory.
  IndexUpdater(mailstore::Store* store, IndexView* view, std::string dir)
      : store_(store), view_(view), dir_(std::move(dir)) {}

  // Catches up; with |reconcile| (or when the history asks for it) against a full listing.
  // False when the store cannot be read (the view is then as it was or further along, never
  // wrong about what it claims to have indexed).
  bool Run(bool reconcile, const Progress& progress);
  // True when writing the index's files failed (the view then holds segments in memory).
  bool write_failed() const { return write_failed_; }

  // Removes files of |dir| that the manifest does not name (left by crashes or merges).
  static void Sweep(const std::string& dir, const Manifest& manifest);

 private:
  bool ApplyChange(const mailstore::HistoryChange& change);
  bool Reconcile(const Progress& progress);
  // Indexes |record| of |folder| unless its live doc has the same source; false when the
  // source cannot be read.
  bool Update(uint32_t folder, const mailstore::MessageRecord& record, uint32_t* doc);
  uint32_t FindDoc(uint32_t folder, uint32_t id);
  void DeleteDoc(uint32_t folder, uint32_t id, uint32_t doc);
  uint32_t ChecksumOf(uint32_t doc) const;
  bool Flush();
  // Turns |bytes| into a segment of the view: written as a file when there is a directory.
  std::shared_ptr<Segment> Store(std::string bytes, uint64_t* id);
  void Merge();
  bool MergeRange(size_t first, size_t last);

  mailstore::Store* store_;
  IndexView* view_;
  std::string dir_;
  std::unique_ptr<SegmentBuilder> builder_;
  std::unordered_map<uint64_t, uint32_t> pending_;  // (folder, id) -> doc in builder_
  std::vector<uint32_t> pending_sums_;  // source checksum per builder_ doc
  std::vector<uint32_t> pending_deleted_;
  std::string source_;
  AnalyzedMessage message_;
  bool write_failed_ = false;
};

}  // namespace mailsearch
