// Opening a store, one job at a time: the directory, the lock file and the journal, then under the
// store's lock the journal's entries and the data file they name, a new store's special folders
// or an old store's history, and last the report of what could not be read.
#include <string>

#include "data_file.h"
#include "file_lock.h"
#include "folder_model.h"
#include "journal.h"
#include "mailstore/store.h"
#include "write_transaction.h"

namespace mailstore {
namespace {

const char* const kSpecialNames[kSpecialCount] = {"Inbox", "Outbox", "Sent Items", "Deleted Items", "Drafts"};

// A refusal: |text| goes to |why|, |status| to the caller.
Status Refuse(Status status, std::string text, std::string* why) {
  *why = std::move(text);
  return status;
}

// The directory exists, made (with the missing ones above it) when |create| allows.
Status PrepareDirectory(const std::string& directory, bool create, std::string* why) {
  if (directory.empty()) return Refuse(Status::kInvalidArgument, "no store directory given", why);
  if (DirectoryExists(directory)) return Status::kOk;
  if (!create) return Refuse(Status::kNotFound, "the store directory does not exist: " + directory, why);
  if (!CreateDirectories(directory))
    return Refuse(Status::kIoError, "cannot create the store directory " + directory, why);
  return Status::kOk;
}

// The records of |data| from |at| on: sources written after the journal's last entry.
uint64_t RecordsFrom(const DataFile& data, uint64_t at) {
  uint64_t count = 0;
  DataRecordHeader h;
  for (; data.ReadHeader(at, &h); at += DataRecordHeader::kSize + h.size) ++count;
  return count;
}

void AddFinding(std::string& found, const std::string& finding) {
  found += (found.empty() ? "" : "; ") + finding;
}

}  // namespace

std::unique_ptr<Store> Store::Open(const std::string& directory, bool create, Status* status,
                                   std::string* report) {
  Status ignored;
  if (!status) status = &ignored;
  std::string why;
  std::unique_ptr<Store> store;
  *status = PrepareDirectory(directory, create, &why);
  if (*status == Status::kOk) {
    store.reset(new Store());
    store->directory_ = directory;
    *status = store->OpenFiles(&why);
    if (*status == Status::kOk) *status = store->LoadUnderLock(create, &why);
  }
  if (*status != Status::kOk) {
    if (report) *report = why;
    return nullptr;
  }
  // Damage short of an unreadable journal leaves a store that serves what it can read.
  why = store->DamageFound();
  *status = why.empty() ? Status::kOk : Status::kDamaged;
  if (report) *report = why;
  return store;
}

Status Store::OpenFiles(std::string* why) {
  const std::string lock_path = JoinPath(directory_, "store.lock");
  writable_ = lock_file_.Open(lock_path, File::Mode::kReadWrite) &&
              journal_->Open(directory_, File::Mode::kReadWrite);
  if (writable_) return Status::kOk;
  // A read-only store is still readable; its writes fail cleanly.
  if (!lock_file_.is_open() && !lock_file_.Open(lock_path, File::Mode::kRead))
    return Refuse(Status::kIoError, "cannot open " + lock_path + " (is the directory writable?)", why);
  if (!journal_->is_open() && !journal_->Open(directory_, File::Mode::kRead))
    return Refuse(Status::kIoError, "cannot open " + journal_->path(), why);
  return Status::kOk;
}

// One lock from the first read to the special folders of a new store, so that two processes
// creating it at once make one set.
Status Store::LoadUnderLock(bool create, std::string* why) {
  std::lock_guard<std::mutex> guard(mutex_);
  FileLock lock(lock_file_, writable_);
  if (!lock.locked())
    return Refuse(Status::kIoError, "cannot lock " + JoinPath(directory_, "store.lock"), why);
  Journal& journal = *journal_;
  journal.MapCounter(directory_, writable_);
  if (!journal.CatchUp(writable_, *model_))
    return Refuse(Status::kIoError, "cannot read " + journal.path(), why);
  if (journal.lost_start())
    return Refuse(Status::kDamaged,
                  journal.path() +
                      " lost its first entry, which holds the store; "
                      "run 'mxstore check', then 'mxstore recover'",
                  why);
  // The data file the journal names, once it is known (a read-only one leaves writable_ false).
  if (!FollowGeneration(true)) return Refuse(Status::kIoError, "cannot open " + data_->path(), why);
  if (writable_ && journal.damaged_bytes() == 0) DataFile::RemoveOlder(directory_, model_->generation());
  // Sources the journal does not name: one is a write that never got its entry; more, or any at
  // all beside an empty journal, mean lost entries.
  unnamed_records_ = RecordsFrom(*data_, model_->data_end());
  if (journal.applied() == 0 && model_->empty()) return StartNewStore(create, why);
  if (writable_ && model_->history_id().empty()) return StartHistory(why);
  return Status::kOk;
}

Status Store::StartNewStore(bool create, std::string* why) {
  Journal& journal = *journal_;
  if (journal.scanned() != 0)
    return Refuse(
        Status::kDamaged,
        journal.path() + " is not a readable store journal; run 'mxstore check', then 'mxstore recover'",
        why);
  // Mail with no journal to name it, in the journal's data file or in a later one that a
  // compaction made, is a lost journal: never the start of a new store.
  uint32_t holding = 0;
  if (DataFile::NewestHoldingMail(directory_, &holding))
    return Refuse(Status::kDamaged,
                  journal.path() + " is missing or empty while " +
                      JoinPath(directory_, DataFile::Name(holding)) +
                      " holds mail; run 'mxstore recover' to rebuild it",
                  why);
  if (!writable_ || !create)
    return Refuse(Status::kNotFound, "no store in " + directory_ + " (run Initialize first)", why);
  EntryEncoder e;
  Encode(EntryTimeOp{NowTicks()}, e);
  Encode(HistoryOp{NewHistoryId(), 0, 0}, e);
  for (int i = 0; i < kSpecialCount; ++i) {
    const uint32_t id = static_cast<uint32_t>(i + 1);
    Encode(FolderCreateOp{id, kRootFolderId, i, kSpecialNames[i]}, e);
  }
  if (journal.Append(e.payload(), sync_each_call_, *model_) != Status::kOk)
    return Refuse(Status::kIoError, "cannot write " + journal.path(), why);
  SyncDirectory(directory_);
  return Status::kOk;
}

// A store from before the history was kept: its history starts here.
Status Store::StartHistory(std::string* why) {
  EntryEncoder e;
  Encode(EntryTimeOp{NowTicks()}, e);
  Encode(HistoryOp{NewHistoryId(), model_->sequence(), model_->sequence()}, e);
  if (journal_->Append(e.payload(), sync_each_call_, *model_) != Status::kOk)
    return Refuse(Status::kIoError, "cannot write " + journal_->path(), why);
  return Status::kOk;
}

std::string Store::DamageFound() const {
  const Journal& journal = *journal_;
  std::string found;
  if (journal.pointer_damaged())
    AddFinding(found, "journal.cur is missing or damaged; read " + journal.path() + " instead");
  if (journal.damaged_bytes())
    AddFinding(found,
               "skipped " + std::to_string(journal.damaged_bytes()) + " damaged bytes of " + journal.path());
  if (journal.scanned() > journal.applied())
    AddFinding(found, "the last " + std::to_string(journal.scanned() - journal.applied()) + " bytes of " +
                          journal.path() + " are not a complete entry");
  const DataFile& data = *data_;
  const int64_t data_size = data.Size();
  if (data_size < 0 || static_cast<uint64_t>(data_size) < model_->data_end())
    AddFinding(found, data.path() + " is cut short (" + std::to_string(data_size) + " of " +
                          std::to_string(model_->data_end()) + " bytes)");
  if (unnamed_records_ > 1)
    AddFinding(found,
               std::to_string(unnamed_records_) + " sources in " + data.path() + " are not in the journal");
  return found;
}

}  // namespace mailstore
