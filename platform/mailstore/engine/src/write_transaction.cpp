#include "write_transaction.h"

namespace mailstore {

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
  Status s = journal_.Append(entry_.payload(), sync, model_);
  entry_.clear();
  return s;
}

}  // namespace mailstore
