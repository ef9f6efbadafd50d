// Journal: the store's index, an append-only sequence of entries framed as
//   magic "PKJ1" | payload length | CRC-32 of payload | payload
// (little-endian u32s); and store.seq, a page mapped by every process
// holding the journal's generation and length after the last write, so that
// a reader learns "nothing changed" without a system call.
//
// Compaction replaces the journal with a shorter one (Switch): generation 0
// is journal.dat, generation N journal.N.dat, and journal.cur names the
// current one (no journal.cur: 0; a damaged one: the oldest journal there,
// whose committed switch leads on). The switch is crash-safe in this order:
// the new journal is written and synced whole; one last entry holding only a
// JournalSwitchOp is appended to the old journal (the commit: a process
// reading the old journal follows it to the new one); journal.cur is
// replaced; the old journal is removed (where another process still holds it
// open, once that process closes it). A crash before the commit leaves the
// old journal as it was; one after it leaves a journal.cur that may still
// name the old journal, whose last entry leads on.
//
// The caller orders access with the store's cross-process lock: CatchUp under
// a shared or exclusive lock, Append under the exclusive lock after CatchUp.
// Not thread-safe.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "journal_ops.h"
#include "mailstore/store_types.h"
#include "store_file.h"

namespace mailstore {

class Journal : public StoreFile {
 public:
  // Opens the current journal in |directory|; kReadWrite creates journal.dat
  // when there is none (a journal of a later generation is never created).
  // False on failure.
  bool Open(const std::string& directory, File::Mode mode);
  static std::string Name(uint32_t generation) {
    return generation ? "journal." + std::to_string(generation) + ".dat" : "journal.dat";
  }
  uint32_t generation() const { return generation_; }
  // Did Open find journal.cur unreadable, or missing beside a later journal, and take the newest
  // journal in the directory instead? Recovery writes it anew.
  bool pointer_damaged() const { return pointer_damaged_; }
  // Is the first entry of a journal after journal.dat lost (damaged, cut, or the file empty)?
  // That entry is the snapshot the rest builds on: without it the journal names a store that
  // is not there.
  bool lost_start() const {
    return generation_ > 0 && (applied_ == 0 || (!damage_.empty() && damage_.front().first == 0));
  }

  // Maps store.seq; with |writable| (under the exclusive lock) it is made
  // when missing. Without it every freshness check asks the file system.
  void MapCounter(const std::string& directory, bool writable);

  enum class Freshness { kCurrent, kBehind, kUnreadable };
  // Has any process appended since the last CatchUp or Append? Needs no lock.
  Freshness Check() const;

  // Hands the operations of every complete entry appended since the last
  // call to |sink|, in journal order, following a switch to a newer journal
  // (whose first entry starts the state anew).
  // Damage in the middle is skipped and counted; with |exclusive| (the
  // exclusive lock held) an entry torn by a writer that died is cut off and
  // the length is published. False when the file cannot be read or cut, or
  // is shorter than what was read (another program cut it: see shrunk()).
  bool CatchUp(bool exclusive, OpSink& sink);

  // Appends |payload| as one entry after the last one CatchUp read, syncing
  // it with |sync|. On success hands its operations to |sink| and publishes the new
  // length; on failure cuts the file back and returns kIoError.
  Status Append(std::string_view payload, bool sync, OpSink& sink);

  // Under the exclusive lock after CatchUp: replaces the journal with a new
  // one whose only entry is |payload| (which must start the state anew, as a
  // snapshot does), as described above, and hands its operations to |sink|.
  // kOk once committed; kIoError when the disk refused before (nothing changed).
  Status Switch(std::string_view payload, OpSink& sink);
  // For a store no other process has open (recovery): makes a journal of
  // generation |generation| holding |payload| the current one and removes
  // the journal of generation |generation| - 1. False on failure.
  static bool Replace(const std::string& directory, uint32_t generation, std::string_view payload);

  // |payload| framed as one entry.
  static std::string Frame(std::string_view payload);
  int64_t Size() const { return file_.Size(); }
  int64_t ReadAt(uint64_t offset, void* buffer, size_t size) const { return file_.ReadAt(offset, buffer, size); }

  // Is the file shorter than when it was last read?
  bool shrunk() const { return file_.Size() < static_cast<int64_t>(scanned_); }

  // Bytes handed on or skipped as damaged; what a catch-up starts from.
  uint64_t applied() const { return applied_; }
  // The journal's length when last read, unreadable bytes at its end included.
  uint64_t scanned() const { return scanned_; }
  // Bytes skipped as damaged so far.
  uint64_t damaged_bytes() const { return damaged_bytes_; }
  // Where they were: (offset, length) of each stretch, in file order.
  const std::vector<std::pair<uint64_t, uint64_t>>& damage() const { return damage_; }

 private:
  void Publish();
  uint64_t Stamp() const { return uint64_t{generation_} << 40 | scanned_; }
  // Opens generation |generation| into |file| (creating only journal.dat).
  bool OpenGeneration(File& file, uint32_t generation) const;
  // Goes on in the journal of generation |generation| (or, when that is gone
  // already, the one journal.cur names). Under the exclusive lock it also
  // brings journal.cur up to date and removes the old journal.
  bool Follow(uint32_t generation, bool exclusive);

  std::string directory_;
  File::Mode mode_ = File::Mode::kRead;
  uint32_t generation_ = 0;
  bool pointer_damaged_ = false;

  File counter_file_;
  std::atomic<uint64_t>* counter_ = nullptr;  // in counter_file_'s shared view, or null
  bool counter_writable_ = false;
  uint64_t applied_ = 0;
  uint64_t scanned_ = 0;
  uint64_t damaged_bytes_ = 0;
  std::vector<std::pair<uint64_t, uint64_t>> damage_;
};

}  // namespace mailstore
