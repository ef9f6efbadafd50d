#include "write_transaction.h"

namespace mailstore {

WriteTransaction::WriteTransaction(std::mutex& mutex, File& lock_file, Journal& journal,
                                   FolderModel& model)
    : guard_(mutex), lock_(lock_file, true), journal_(journal), model_(model) {
  if (lock_.locked() && journal_.CatchUp(true, model_)) status_ = Status::kOk;
}

Status WriteTransaction::Commit(bool sync) {
  if (status_ != Status::kOk) return status_;
  if (entry_.empty()) return Status::kOk;
  Status s = journal_.Append(entry_.payload(), sync, model_);
  entry_.clear();
  return s;
}

}  // namespace mailstore
