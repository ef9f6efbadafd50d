// WriteTransaction: one write to the store, from taking its locks to the
// journal entry that makes it durable.
//
// Constructing it takes the store's thread lock and its exclusive
// cross-process lock (in that order, both blocking) and catches up with what
// other processes appended, so the model is current for checking the write.
// status() then says whether that worked; on kIoError nothing may be written.
// Append() adds operations to one pending entry; Commit() writes that entry
// (all its operations or none, after an EntryTimeOp), syncs it when asked, applies it to the model
// (listeners hear of it there) and publishes the journal's new length.
// Destroying the transaction releases the locks and drops whatever was not
// committed: the journal never saw it, and source bytes already written
// lie past the end that entries refer to, so the next write covers them.
//
// Lives on one thread's stack for the length of one call.
#pragma once

#include <mutex>

#include "entry_encoder.h"
#include "file_lock.h"
#include "folder_model.h"
#include "journal.h"
#include "journal_ops.h"

namespace mailstore {

// Now, in FILETIME ticks.
uint64_t NowTicks();
// A history id no other store is likely to have.
HistoryId NewHistoryId();

class WriteTransaction {
 public:
  // With |writable| false nothing is locked and status() is kReadOnly.
  WriteTransaction(std::mutex& mutex, File& lock_file, Journal& journal, FolderModel& model,
                   bool writable);
  WriteTransaction(const WriteTransaction&) = delete;
  WriteTransaction& operator=(const WriteTransaction&) = delete;

  // kOk; kReadOnly; kDamaged when the journal was cut short under this
  // process; kIoError when the lock could not be taken or the journal read.
  Status status() const { return status_; }
  template <typename Op>
  void Append(const Op& op) {
    Encode(op, entry_);
  }
  // The pending entry, for operations encoded elsewhere.
  EntryEncoder& entry() { return entry_; }
  // Writes the pending entry; kOk without writing when nothing was appended.
  // kIoError when the disk refused: the journal and the model are as they were.
  // May be called again for a further entry.
  Status Commit(bool sync);
  // Makes the pending entry, which must start the state anew (a snapshot),
  // the whole of a new journal: see Journal::Switch.
  Status CommitAsNewJournal();

 private:
  std::lock_guard<std::mutex> guard_;
  FileLock lock_;
  Journal& journal_;
  FolderModel& model_;
  // The pending entry with the time it is written at first.
  std::string Stamped() const;

  EntryEncoder entry_;
  Status status_ = Status::kIoError;
};

}  // namespace mailstore
