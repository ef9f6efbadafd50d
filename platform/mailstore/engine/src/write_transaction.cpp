#include "write_transaction.h"

#include <chrono>
#include <random>

#include "mimeengine/mail_time.h"

namespace mailstore {

uint64_t NowTicks() {
  auto now = std::chrono::system_clock::now().time_since_epoch();
  return mimeengine::kUnixEpochFiletimeTicks +
         static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(now).count()) * 10;
}

HistoryId NewHistoryId() {
  std::random_device device;
  std::seed_seq seed{device(), device(), device(), device(), static_cast<unsigned>(NowTicks()),
                     static_cast<unsigned>(NowTicks() >> 32)};
  std::mt19937_64 random(seed);
  HistoryId id;
  while (id.empty()) id = {random(), random()};
  return id;
}

WriteTransaction::WriteTransaction(std::mutex& mutex, File& lock_file, Journal& journal,
                                   FolderModel& model, bool writable)
    : guard_(mutex), lock_(lock_file, writable), journal_(journal), model_(model) {
  if (!writable)
    status_ = Status::kReadOnly;
  else if (lock_.locked() && journal_.CatchUp(true, model_))
    status_ = Status::kOk;
  else if (lock_.locked() && journal_.shrunk())
    status_ = Status::kDamaged;
}

Status WriteTransaction::Commit(bool sync) {
  if (status_ != Status::kOk) return status_;
  if (entry_.empty()) return Status::kOk;
  Status s = journal_.Append(Stamped(), sync, model_);
  entry_.clear();
  return s;
}

Status WriteTransaction::CommitAsNewJournal() {
  if (status_ != Status::kOk) return status_;
  Status s = journal_.Switch(Stamped(), model_);
  entry_.clear();
  return s;
}

std::string WriteTransaction::Stamped() const {
  EntryEncoder stamped;
  Encode(EntryTimeOp{NowTicks()}, stamped);
  return stamped.payload() + entry_.payload();
}

}  // namespace mailstore
