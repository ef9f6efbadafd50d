// DataFile: messages.dat, the message sources. Each source is written once
// as one self-describing record and never changed in place:
//   magic "PKM1" | folder | id | flags | source length | CRC-32 of the source |
//   received time in seconds since 1970 | CRC-32 of the 28 bytes before it |
//   the source
// (little-endian u32s), so that the index can be rebuilt from this file alone.
// Stores written before records had headers hold bare sources; the journal
// tells which is which. The file runs ahead of the last source in
// zero-filled steps, so that syncing a source flushes data only and not a
// change of the file's size or allocation.
//
// Reads may come from any thread; writes come under the store's exclusive lock.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>
#include <string>
#include <string_view>

#include "store_file.h"

namespace mailstore {

struct DataRecordHeader {
  static constexpr size_t kSize = 32;
  uint32_t folder = 0;
  uint32_t id = 0;
  uint32_t flags = 0;
  uint32_t size = 0;
  uint32_t checksum = 0;  // of the source
  uint64_t received_time = 0;  // FILETIME ticks, kept to the second
};

class DataFile : public StoreFile {
 public:
  // The file of data-file generation |generation|: messages.dat, and after
  // each compaction a new messages.<generation>.dat.
  static std::string Name(uint32_t generation) {
    return generation ? "messages." + std::to_string(generation) + ".dat" : "messages.dat";
  }
  // Removes the data files of generations before |generation| from |directory|: after a
  // compaction, and again at later opens for those that could not go then (held open
  // elsewhere on Windows, or the compaction was killed). Call it under the store's exclusive
  // lock with the journal's generation read soundly, never a newer one: a lower generation
  // than the journal's last is safe, a higher one would delete live mail.
  static void RemoveOlder(const std::string& directory, uint32_t generation);
  // The generations whose data files are in |directory|, lowest first.
  static std::vector<uint32_t> Generations(const std::string& directory);
  // The newest generation whose data file in |directory| holds a record; false when none does.
  static bool NewestHoldingMail(const std::string& directory, uint32_t* generation);
  // Opens generation |generation| in |directory|; kReadWrite creates it. False on failure.
  bool Open(const std::string& directory, File::Mode mode, uint32_t generation = 0) {
    generation_ = generation;
    return OpenIn(directory, Name(generation).c_str(), mode);
  }
  uint32_t generation() const { return generation_; }
  bool Truncate(uint64_t size) { return file_.Truncate(size); }

  int64_t Size() const { return file_.Size(); }
  // Where a record may go at or after |from| without covering one already
  // written: past every whole record that follows |from| (those of writes
  // that never got their journal entry are kept for recovery).
  uint64_t FreeFrom(uint64_t from) const;
  // The end of the last byte that is not zero; -1 when the file cannot be read.
  int64_t DataEnd() const;

  // Writes |header| and |source| at |at|, synced with |sync|; the source
  // starts kSize bytes later. With |run_ahead| the file grows in
  // zero-filled steps. False when the disk refused.
  bool Write(uint64_t at, const DataRecordHeader& header, std::string_view source, bool sync,
             bool run_ahead = true);
  // The record header at |at|, when one is there whole and unchanged.
  bool ReadHeader(uint64_t at, DataRecordHeader* header) const;
  // Calls |each|(offset, header) for every record with a sound header, front
  // to back, searching past bytes that are not one.
  void ForEachRecord(const std::function<void(uint64_t, const DataRecordHeader&)>& each) const;

  // Reads like File::ReadAt.
  int64_t ReadAt(uint64_t offset, void* buffer, size_t size) const {
    return file_.ReadAt(offset, buffer, size);
  }

 private:
  uint32_t generation_ = 0;
};

}  // namespace mailstore
