// Compaction: the live sources copied once into a fresh data file, and a fresh journal whose one
// entry is a snapshot of the store on it (folders, messages, the Message-ID index and the history
// kept), switched to in one step (Journal::Switch), so that a kill at any step leaves either the
// old store or the new one whole. Other open stores follow the switch on their next call.
#include <unordered_map>

#include "crc32.h"
#include "data_file.h"
#include "folder_model.h"
#include "message_id.h"
#include "mailstore/file.h"
#include "mailstore/store.h"
#include "write_transaction.h"

namespace mailstore {

Status Store::Compact(std::string* report) {
  WriteTransaction tx = BeginWrite();
  if (tx.status() != Status::kOk) return tx.status();
  return CompactLocked(tx, report);
}

Status Store::CompactIfDue(WriteTransaction& tx, Status committed) {
  const uint64_t end = model_->data_end();
  if (committed == Status::kOk && end >= kAutoCompactBytes && model_->LiveBytes() * 2 < end)
    CompactLocked(tx, nullptr);
  return committed;
}

Status Store::CompactLocked(WriteTransaction& tx, std::string* report) {
  FollowGeneration(false);
  const uint32_t old_generation = model_->generation(), generation = old_generation + 1;
  const int64_t old_size = data_->Size();
  const std::string old_journal = Journal::Name(journal_->generation());
  const int64_t old_journal_size = journal_->Size();
  DataFile fresh;
  if (!fresh.Open(directory_, File::Mode::kReadWrite, generation) || !fresh.Truncate(0))
    return Status::kIoError;
  // Each source once (copies share theirs), checksummed, next to the last.
  struct Moved {
    uint64_t offset;
    uint32_t checksum;
    std::string message_id;  // read from the source, for records stored without one
  };
  std::unordered_map<uint64_t, Moved> moved;  // by old offset
  uint64_t at = 0;
  Status failed = Status::kOk;
  std::string source;
  model_->ForEachFolder([&](const FolderModel::Folder& f) {
    for (const auto& r : f.messages) {
      if (failed != Status::kOk || moved.count(r->offset)) continue;
      source.resize(r->size);
      if (r->size && ReadSource(*r, 0, &source[0], r->size) != static_cast<int64_t>(r->size)) {
        failed = Status::kDamaged;
        return;
      }
      DataRecordHeader h;
      h.folder = f.id;
      h.id = r->id;
      h.flags = r->flags;
      h.size = r->size;
      h.checksum = Crc32(reinterpret_cast<const uint8_t*>(source.data()), source.size());
      h.received_time = r->received_time;
      if (!fresh.Write(at, h, source, false, false)) failed = Status::kIoError;
      moved[r->offset] = {at + DataRecordHeader::kSize, h.checksum,
                          r->message_id().empty() ? MessageIdOf(source) : std::string()};
      at += DataRecordHeader::kSize + r->size;
    }
  });
  const std::string fresh_path = fresh.path();
  if (failed == Status::kOk && !fresh.Sync()) failed = Status::kIoError;
  if (failed == Status::kOk) {
    SyncDirectory(directory_);
    tx.Append(SnapshotOp{generation});
    model_->EncodeHistory(tx.entry(), HistoryKeptFrom());
    model_->EncodeAll(tx.entry(), [&](const MessageRecord& r, AddMessageOp& op) {
      const Moved& to = moved.at(r.offset);
      op.offset = to.offset;
      op.framed = true;
      op.checksum = to.checksum;
      if (op.message_id.empty()) op.message_id = to.message_id;
    });
    tx.Append(SnapshotEndOp{});
    failed = tx.CommitAsNewJournal();  // the switch: all of it or none
  }
  fresh.Close();
  if (failed != Status::kOk) {
    RemoveFile(fresh_path);
    return failed;
  }
  FollowGeneration(false);
  DataFile::RemoveOlder(directory_, generation);
  if (report)
    *report = "compacted " + DataFile::Name(old_generation) + " (" + std::to_string(old_size) + " bytes) into " +
              DataFile::Name(generation) + " (" + std::to_string(at) + " bytes), " + old_journal + " (" +
              std::to_string(old_journal_size) + " bytes) into " + Journal::Name(journal_->generation()) + " (" +
              std::to_string(journal_->Size()) + " bytes)";
  return Status::kOk;
}

}  // namespace mailstore
