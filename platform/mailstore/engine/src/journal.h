// Journal: journal.dat, the store's index, an append-only sequence of
// entries framed as  magic "PKJ1" | payload length | CRC-32 of payload |
// payload  (little-endian u32s); and store.seq, a page mapped by every
// process holding the journal's length after the last write, so that a
// reader learns "nothing changed" without a system call.
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
  // Opens journal.dat in |directory|; kReadWrite creates it. False on failure.
  bool Open(const std::string& directory, File::Mode mode) { return OpenIn(directory, "journal.dat", mode); }

  // Maps store.seq; with |writable| (under the exclusive lock) it is made
  // when missing. Without it every freshness check asks the file system.
  void MapCounter(const std::string& directory, bool writable);

  enum class Freshness { kCurrent, kBehind, kUnreadable };
  // Has any process appended since the last CatchUp or Append? Needs no lock.
  Freshness Check() const;

  // Hands the operations of every complete entry appended since the last
  // call to |sink|, in journal order.
  // Damage in the middle is skipped and counted; with |exclusive| (the
  // exclusive lock held) an entry torn by a writer that died is cut off and
  // the length is published. False when the file cannot be read or cut, or
  // is shorter than what was read (another program cut it: see shrunk()).
  bool CatchUp(bool exclusive, OpSink& sink);

  // Appends |payload| as one entry after the last one CatchUp read, syncing
  // it with |sync|. On success hands its operations to |sink| and publishes the new
  // length; on failure cuts the file back and returns kIoError.
  Status Append(std::string_view payload, bool sync, OpSink& sink);

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

  File counter_file_;
  std::atomic<uint64_t>* counter_ = nullptr;  // in counter_file_'s shared view, or null
  bool counter_writable_ = false;
  uint64_t applied_ = 0;
  uint64_t scanned_ = 0;
  uint64_t damaged_bytes_ = 0;
  std::vector<std::pair<uint64_t, uint64_t>> damage_;
};

}  // namespace mailstore
