#include "mailstore/store.h"

#include <algorithm>
#include <chrono>

#include "crc32.h"
#include "data_file.h"
#include "file_lock.h"
#include "folder_model.h"
#include "journal.h"
#include "message_id.h"
#include "write_transaction.h"

namespace mailstore {
namespace {

// The largest source a record's 32-bit size holds.
constexpr size_t kMaxSourceSize = 0xFFFFFFF0u;

bool ValidName(const std::string& name) {
  if (name.empty() || name.size() > kMaxFolderNameBytes) return false;
  for (unsigned char c : name)
    if (c < 0x20 || c == 0x7F) return false;
  return true;
}

// The fields that storing a new message and replacing a source share; the
// caller adds the rest. |message_id| must outlive the op.
template <class Op>
Op SourceOp(uint32_t folder, uint32_t id, const std::string& source, const MessageFields& fields,
            const std::string& message_id) {
  Op op;
  op.message_id = message_id;
  op.folder = folder;
  op.id = id;
  op.size = static_cast<uint32_t>(source.size());
  op.text = RecordText(fields);
  return op;
}

// A source without a Message-ID is written in the framed form, which older
// readers know; the indexed form only when there is something to index.
template <class FramedOp, class IndexedOp>
void AppendSourceOp(WriteTransaction& tx, const IndexedOp& op) {
  if (op.message_id.empty())
    tx.Append(FramedOp(op));
  else
    tx.Append(op);
}

}  // namespace

const char* StatusText(Status status) {
  switch (status) {
    case Status::kOk: return "ok";
    case Status::kNotFound: return "no such folder or message";
    case Status::kInvalidName: return "invalid folder name";
    case Status::kDuplicateName: return "a folder of that name already exists there";
    case Status::kNotAllowed: return "operation not allowed on this folder";
    case Status::kInvalidArgument: return "invalid argument";
    case Status::kIoError: return "the store's files could not be read or written";
    case Status::kDamaged: return "the store's files are damaged";
    case Status::kReadOnly: return "the store's files cannot be written (read-only)";
    case Status::kHistoryGone: return "those changes are no longer kept";
  }
  return "unknown";
}

Store::Store()
    : journal_(std::make_unique<Journal>()),
      data_(std::make_shared<DataFile>()),
      model_(std::make_unique<FolderModel>()) {}

Store::~Store() = default;

uint64_t Store::damaged_bytes() const { return journal_->damaged_bytes(); }

std::shared_ptr<DataFile> Store::Data() const { return std::atomic_load(&data_); }

bool Store::FollowGeneration(bool first) {
  const uint32_t generation = model_->generation();
  if (!first && generation == data_->generation()) return true;
  auto data = std::make_shared<DataFile>();
  if (!(writable_ && data->Open(directory_, File::Mode::kReadWrite, generation))) {
    writable_ = false;
    if (!data->Open(directory_, File::Mode::kRead, generation)) {
      if (first) data_ = data;  // for its path in the report
      return false;
    }
  }
  // Readers that hold the old one finish with it; records of the old
  // generation no longer read (see ReadSource).
  std::atomic_store(&data_, std::move(data));
  data_size_seen_ = -1;
  return true;
}

void Store::SetListener(Listener listener) {
  std::lock_guard<std::mutex> guard(mutex_);
  model_->SetListener(std::move(listener));
}

void Store::SetSyncEachCall(bool each_call) {
  std::lock_guard<std::mutex> guard(mutex_);
  sync_each_call_ = each_call;
}

bool Store::Flush() {
  std::lock_guard<std::mutex> guard(mutex_);
  return Data()->Sync() && journal_->Sync();
}

bool Store::Refresh() {
  std::lock_guard<std::mutex> guard(mutex_);
  switch (journal_->Check()) {
    case Journal::Freshness::kCurrent: return true;
    case Journal::Freshness::kUnreadable: return false;
    case Journal::Freshness::kBehind: break;
  }
  FileLock lock(lock_file_, false);
  return lock.locked() && journal_->CatchUp(false, *model_) && FollowGeneration(false);
}

// ---- Reads ---------------------------------------------------------------

Status Store::GetFolder(uint32_t id, FolderInfo* info) {
  if (!info) return Status::kInvalidArgument;
  Refresh();
  std::lock_guard<std::mutex> guard(mutex_);
  const FolderModel::Folder* f = model_->Find(id);
  if (!f) return Status::kNotFound;
  *info = f->Info();
  return Status::kOk;
}

uint32_t Store::SpecialFolderId(int special) {
  if (special < 0 || special >= kSpecialCount) return kInvalidId;
  Refresh();
  std::lock_guard<std::mutex> guard(mutex_);
  return model_->SpecialFolderId(special);
}

Status Store::ListSubfolders(uint32_t parent, std::vector<FolderInfo>* out) {
  if (!out) return Status::kInvalidArgument;
  Refresh();
  std::lock_guard<std::mutex> guard(mutex_);
  const FolderModel::Folder* p = model_->Find(parent);
  if (!p) return Status::kNotFound;
  out->clear();
  for (uint32_t child : p->children)
    if (const FolderModel::Folder* f = model_->Find(child)) out->push_back(f->Info());
  return Status::kOk;
}

Status Store::FindMessage(uint32_t folder, uint32_t id, MessageRecordPtr* record) {
  if (!record) return Status::kInvalidArgument;
  Refresh();
  std::lock_guard<std::mutex> guard(mutex_);
  const FolderModel::Folder* f = model_->Find(folder);
  const MessageRecordPtr* r = f ? f->Find(id) : nullptr;
  if (!r) return Status::kNotFound;
  *record = *r;
  return Status::kOk;
}

Status Store::ListMessages(uint32_t folder, uint32_t first_id, std::vector<MessageRecordPtr>* out) {
  if (!out) return Status::kInvalidArgument;
  Refresh();
  std::lock_guard<std::mutex> guard(mutex_);
  const FolderModel::Folder* f = model_->Find(folder);
  if (!f) return Status::kNotFound;
  out->assign(f->messages.begin() + static_cast<ptrdiff_t>(f->LowerBound(first_id)), f->messages.end());
  return Status::kOk;
}

Status Store::FindMessageId(std::string_view message_id, uint32_t* folder, uint32_t* id) {
  if (!folder || !id) return Status::kInvalidArgument;
  const std::string key = NormalizeMessageId(message_id);
  if (!Refresh()) return Status::kIoError;
  std::lock_guard<std::mutex> guard(mutex_);
  return !key.empty() && model_->FindMessageId(key, folder, id) ? Status::kOk : Status::kNotFound;
}

Status Store::GetHistory(HistoryId* id, uint64_t* cursor) {
  if (!id || !cursor) return Status::kInvalidArgument;
  if (!Refresh()) return Status::kIoError;
  std::lock_guard<std::mutex> guard(mutex_);
  *id = model_->history_id();
  *cursor = model_->sequence();
  return Status::kOk;
}

Status Store::GetChanges(uint64_t after, size_t max, std::vector<HistoryChange>* out) {
  if (!out) return Status::kInvalidArgument;
  if (!Refresh()) return Status::kIoError;
  std::lock_guard<std::mutex> guard(mutex_);
  out->clear();
  if (after < model_->kept_from()) return Status::kHistoryGone;
  const auto& changes = model_->changes();
  auto it = std::upper_bound(changes.begin(), changes.end(), after,
                             [](uint64_t s, const HistoryChange& c) { return s < c.sequence; });
  out->reserve(std::min<size_t>(max, static_cast<size_t>(changes.end() - it)));
  for (; it != changes.end() && out->size() < max; ++it) out->push_back(*it);
  return Status::kOk;
}

void Store::SetHistorySpan(const HistorySpan& span) {
  std::lock_guard<std::mutex> guard(mutex_);
  history_span_ = span;
}

uint64_t Store::HistoryKeptFrom() const {
  const uint64_t newest = model_->sequence();
  const uint64_t by_count = newest > history_span_.changes ? newest - history_span_.changes : 0;
  constexpr uint64_t kTicksPerDay = 864000000000ull;
  const uint64_t now = NowTicks(), age = history_span_.days * kTicksPerDay;
  const uint64_t since = now > age ? now - age : 0;
  // Changes of unknown time (older entries) count as old.
  uint64_t by_age = newest;
  const auto& changes = model_->changes();
  for (auto it = changes.rbegin(); it != changes.rend() && it->time >= since && it->time != 0; ++it)
    by_age = it->sequence - 1;
  return std::min(by_count, by_age);
}

int64_t Store::ReadSource(const MessageRecord& record, uint64_t at, void* buffer, size_t size) const {
  if (at >= record.size) return 0;
  size_t n = static_cast<size_t>(std::min<uint64_t>(size, record.size - at));
  // A source the data file no longer holds whole is an error, never a short
  // read; so is one of a data file that compaction replaced.
  const std::shared_ptr<DataFile> data = Data();
  if (record.generation != data->generation() ||
      data->ReadAt(record.offset + at, buffer, n) != static_cast<int64_t>(n))
    return -1;
  if (record.checked && at == 0 && n == record.size &&
      Crc32(static_cast<const uint8_t*>(buffer), n) != record.checksum)
    return -1;
  return static_cast<int64_t>(n);
}

bool Store::SourceReader::Open(const Store& store, MessageRecordPtr record) {
  record_ = std::move(record);
  cursor_ = ~0ull;
  checked_upto_ = 0;
  crc_ = 0;
  return file_.Open(JoinPath(store.directory_, DataFile::Name(record_->generation)), File::Mode::kRead);
}

int64_t Store::SourceReader::ReadAt(uint64_t at, void* buffer, size_t size) {
  if (!record_ || at >= record_->size) return 0;
  size_t n = static_cast<size_t>(std::min<uint64_t>(size, record_->size - at));
  uint64_t pos = record_->offset + at;
  if (pos != cursor_ && !file_.Seek(pos)) return -1;
  size_t done = 0;
  auto* out = static_cast<char*>(buffer);
  while (done < n) {
    int64_t got = file_.Read(out + done, n - done);
    if (got <= 0) break;
    done += static_cast<size_t>(got);
  }
  cursor_ = pos + done;
  if (done != n) return -1;  // the data file was cut short
  // Reads front to back (the usual way) check the source as they go: the
  // read that reaches its end fails when the bytes are not those stored.
  if (record_->checked && at == checked_upto_) {
    crc_ = Crc32(static_cast<const uint8_t*>(buffer), done, crc_);
    checked_upto_ += done;
    if (checked_upto_ == record_->size && crc_ != record_->checksum) return -1;
  }
  return static_cast<int64_t>(done);
}

// ---- Writes --------------------------------------------------------------
// Each write checks its arguments, then under a transaction checks them
// against the current state, appends its operations and commits.

WriteTransaction Store::BeginWrite() {
  return WriteTransaction(mutex_, lock_file_, *journal_, *model_, writable_);
}

uint64_t Store::WritePosition() {
  FollowGeneration(false);
  uint64_t at = model_->data_end();
  // An entry that could not be read may name any byte on disk: go past them all.
  if (journal_->damaged_bytes() || unnamed_records_ > 1) {
    const int64_t size = data_->Size();
    if (size != data_size_seen_) {
      data_size_seen_ = size;
      data_end_seen_ = std::max<int64_t>(data_->DataEnd(), 0);
    }
    at = std::max(at, static_cast<uint64_t>(data_end_seen_));
  }
  return data_->FreeFrom(at);  // under the lock: data_ changes only under it
}

Status Store::WriteSource(uint32_t folder, uint32_t id, uint32_t flags, uint64_t received,
                          const std::string& source, uint64_t* offset, uint32_t* checksum) {
  DataRecordHeader h;
  h.folder = folder;
  h.id = id;
  h.flags = flags;
  h.size = static_cast<uint32_t>(source.size());
  h.checksum = *checksum = Crc32(reinterpret_cast<const uint8_t*>(source.data()), source.size());
  h.received_time = received;
  const uint64_t at = WritePosition();
  *offset = at + DataRecordHeader::kSize;
  return data_->Write(at, h, source, sync_each_call_) ? Status::kOk : Status::kIoError;
}

Status Store::CreateFolder(uint32_t parent, const std::string& name, uint32_t* id) {
  if (!ValidName(name)) return Status::kInvalidName;
  WriteTransaction tx = BeginWrite();
  if (tx.status() != Status::kOk) return tx.status();
  if (!model_->Find(parent)) return Status::kNotFound;
  if (model_->NameTaken(parent, name, kInvalidId)) return Status::kDuplicateName;
  const uint32_t new_id = model_->next_folder_id();
  if (new_id == kInvalidId) return Status::kNotAllowed;
  tx.Append(FolderCreateOp{new_id, parent, kNotSpecial, name});
  Status s = tx.Commit(sync_each_call_);
  if (s == Status::kOk && id) *id = new_id;
  return s;
}

Status Store::RenameFolder(uint32_t id, const std::string& name) {
  if (!ValidName(name)) return Status::kInvalidName;
  WriteTransaction tx = BeginWrite();
  if (tx.status() != Status::kOk) return tx.status();
  const FolderModel::Folder* f = model_->Find(id);
  if (!f) return Status::kNotFound;
  if (id == kRootFolderId) return Status::kNotAllowed;
  if (model_->NameTaken(f->parent, name, id)) return Status::kDuplicateName;
  tx.Append(FolderRenameOp{id, name});
  return tx.Commit(sync_each_call_);
}

Status Store::MoveFolder(uint32_t id, uint32_t new_parent) {
  WriteTransaction tx = BeginWrite();
  if (tx.status() != Status::kOk) return tx.status();
  const FolderModel::Folder* f = model_->Find(id);
  if (!f || !model_->Find(new_parent)) return Status::kNotFound;
  if (id == kRootFolderId || f->special != kNotSpecial) return Status::kNotAllowed;
  if (model_->IsDescendant(new_parent, id)) return Status::kNotAllowed;
  if (f->parent == new_parent) return Status::kOk;
  if (model_->NameTaken(new_parent, f->name, id)) return Status::kDuplicateName;
  tx.Append(FolderMoveOp{id, new_parent});
  return tx.Commit(sync_each_call_);
}

Status Store::DeleteFolder(uint32_t id) {
  WriteTransaction tx = BeginWrite();
  if (tx.status() != Status::kOk) return tx.status();
  const FolderModel::Folder* f = model_->Find(id);
  if (!f) return Status::kNotFound;
  if (id == kRootFolderId || f->special != kNotSpecial) return Status::kNotAllowed;
  tx.Append(FolderDeleteOp{id});
  return CompactIfDue(tx, tx.Commit(sync_each_call_));
}

Status Store::ReserveMessageId(uint32_t folder, uint32_t* id) {
  if (!id) return Status::kInvalidArgument;
  WriteTransaction tx = BeginWrite();
  if (tx.status() != Status::kOk) return tx.status();
  const FolderModel::Folder* f = model_->Find(folder);
  if (!f || folder == kRootFolderId) return Status::kNotFound;
  const uint32_t reserved = f->next_message_id;
  if (reserved == kInvalidId) return Status::kNotAllowed;
  tx.Append(ReserveIdOp{folder, reserved});
  // A reservation need not survive a crash: an id never used is never seen.
  Status s = tx.Commit(false);
  if (s == Status::kOk) *id = reserved;
  return s;
}

Status Store::AddMessage(uint32_t folder, uint32_t id, const std::string& source, uint32_t flags,
                         const MessageFields& fields, uint32_t* new_id) {
  if (source.size() > kMaxSourceSize) return Status::kInvalidArgument;
  WriteTransaction tx = BeginWrite();
  if (tx.status() != Status::kOk) return tx.status();
  const FolderModel::Folder* f = model_->Find(folder);
  if (!f || folder == kRootFolderId) return Status::kNotFound;
  if (id == kInvalidId) {
    id = f->next_message_id;
    if (id == kInvalidId) return Status::kNotAllowed;
  } else if (id >= f->next_message_id || !f->IdFree(id)) {
    // Not a reservation of this folder, or one already used. Reservations
    // of other writers may have been stored first: ids are taken in any order.
    return Status::kInvalidArgument;
  }
  const std::string message_id = MessageIdOf(source);
  auto op = SourceOp<AddIndexedMessageOp>(folder, id, source, fields, message_id);
  op.flags = flags;
  op.received_time = NowTicks();
  if (Status s = WriteSource(folder, id, flags, op.received_time, source, &op.offset, &op.checksum);
      s != Status::kOk)
    return s;
  AppendSourceOp<AddFramedMessageOp>(tx, op);
  Status s = tx.Commit(sync_each_call_);
  if (s == Status::kOk && new_id) *new_id = id;
  return s;
}

Status Store::ReplaceSource(uint32_t folder, uint32_t id, const std::string& source,
                            const MessageFields& fields) {
  if (source.size() > kMaxSourceSize) return Status::kInvalidArgument;
  WriteTransaction tx = BeginWrite();
  if (tx.status() != Status::kOk) return tx.status();
  const FolderModel::Folder* f = model_->Find(folder);
  if (!f || !f->Find(id)) return Status::kNotFound;
  const std::string message_id = MessageIdOf(source);
  auto op = SourceOp<ReplaceIndexedSourceOp>(folder, id, source, fields, message_id);
  const MessageRecord& old = **f->Find(id);
  if (Status s = WriteSource(folder, id, old.flags, old.received_time, source, &op.offset, &op.checksum);
      s != Status::kOk)
    return s;
  AppendSourceOp<ReplaceFramedSourceOp>(tx, op);
  return CompactIfDue(tx, tx.Commit(sync_each_call_));
}

Status Store::SetFlags(uint32_t folder, const std::vector<uint32_t>& ids, uint32_t state,
                       uint32_t mask, std::vector<uint32_t>* new_flags) {
  WriteTransaction tx = BeginWrite();
  if (tx.status() != Status::kOk) return tx.status();
  const FolderModel::Folder* f = model_->Find(folder);
  if (!f) return Status::kNotFound;
  SetFlagsOp op{folder, {}};
  std::vector<uint32_t> result;
  bool changes = false;
  for (uint32_t id : ids) {
    const MessageRecordPtr* r = f->Find(id);
    if (!r) return Status::kNotFound;
    const uint32_t flags = ((*r)->flags & ~mask) | (state & mask);
    changes |= flags != (*r)->flags;
    op.flags.emplace_back(id, flags);
    result.push_back(flags);
  }
  // Every pair is written, so the entry holds the call as it was made.
  if (changes) tx.Append(op);
  Status s = tx.Commit(sync_each_call_);
  if (s == Status::kOk && new_flags) *new_flags = std::move(result);
  return s;
}

Status Store::RemoveMessages(uint32_t folder, const std::vector<uint32_t>& ids) {
  WriteTransaction tx = BeginWrite();
  if (tx.status() != Status::kOk) return tx.status();
  const FolderModel::Folder* f = model_->Find(folder);
  if (!f) return Status::kNotFound;
  for (uint32_t id : ids)
    if (!f->Find(id)) return Status::kNotFound;
  if (ids.empty()) return Status::kOk;
  tx.Append(RemoveMessagesOp{folder, ids});
  return CompactIfDue(tx, tx.Commit(sync_each_call_));
}

Status Store::CopyMessages(uint32_t source, uint32_t target, const std::vector<uint32_t>& ids,
                           bool move, uint32_t clear_flags, std::vector<uint32_t>* new_ids) {
  WriteTransaction tx = BeginWrite();
  if (tx.status() != Status::kOk) return tx.status();
  const FolderModel::Folder* from = model_->Find(source);
  const FolderModel::Folder* to = model_->Find(target);
  if (!from || !to || target == kRootFolderId) return Status::kNotFound;
  if (move && source == target) return Status::kNotAllowed;
  std::vector<MessageRecordPtr> records;
  for (uint32_t id : ids) {
    const MessageRecordPtr* r = from->Find(id);
    if (!r) return Status::kNotFound;
    records.push_back(*r);
  }
  if (ids.empty()) return Status::kOk;
  if (uint64_t(to->next_message_id) + ids.size() >= kInvalidId) return Status::kNotAllowed;
  // The copies share the sources: a source is never changed in place.
  std::vector<uint32_t> made;
  uint32_t next = to->next_message_id;
  for (const auto& r : records) {
    AddMessageOp op{target, next, r->flags & ~clear_flags, r->size, r->received_time, r->offset,
                    RecordText(*r), false, r->checksum, r->message_id()};
    if (r->checked && !op.message_id.empty())
      tx.Append(AddIndexedMessageOp(op));
    else if (r->checked)
      tx.Append(AddFramedMessageOp(op));
    else
      tx.Append(op);
    made.push_back(next++);
  }
  if (move) tx.Append(RemoveMessagesOp{source, ids});
  Status s = tx.Commit(sync_each_call_);
  if (s == Status::kOk && new_ids) *new_ids = std::move(made);
  return s;
}

Status Store::DeleteMessages(uint32_t folder, const std::vector<uint32_t>& ids) {
  uint32_t deleted = SpecialFolderId(kSpecialDeleted);
  if (deleted == kInvalidId || folder == deleted) return RemoveMessages(folder, ids);
  return CopyMessages(folder, deleted, ids, true, 0, nullptr);
}

}  // namespace mailstore
