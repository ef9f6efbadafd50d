#include "mailstore/store.h"

#include <algorithm>
#include <chrono>
#include <unordered_set>

#include "journal_codec.h"

namespace mailstore {
namespace {

enum Op : uint8_t {
  kOpFolderCreate = 1,
  kOpFolderRename = 2,
  kOpFolderMove = 3,
  kOpFolderDelete = 4,
  kOpReserve = 5,
  kOpAdd = 6,
  kOpReplace = 7,
  kOpFlags = 8,
  kOpRemove = 9,
};

const char* const kSpecialNames[kSpecialCount] = {"Inbox", "Outbox", "Sent Items",
                                                  "Deleted Items", "Drafts"};

// Unix epoch in FILETIME ticks.
constexpr uint64_t kUnixEpochTicks = 116444736000000000ull;

uint64_t NowTicks() {
  auto now = std::chrono::system_clock::now().time_since_epoch();
  return kUnixEpochTicks +
         static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(now).count()) * 10;
}

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool SameNameIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  return true;
}

bool ValidName(const std::string& name) {
  if (name.empty() || name.size() > kMaxFolderNameBytes) return false;
  for (unsigned char c : name)
    if (c < 0x20 || c == 0x7F) return false;
  return true;
}

void PutFields(EntryEncoder& e, const MessageFields& f) {
  e.Str(f.subject);
  e.Str(f.normalized_subject);
  e.Str(f.display_to);
  e.Str(f.display_from);
  e.U32(static_cast<uint32_t>(f.priority));
  e.U64(f.sent_time);
}

// Reads the fields PutFields wrote straight into |r|.
void GetFields(EntryDecoder& d, MessageRecord* r) {
  std::string_view subject = d.View(), normalized = d.View(), to = d.View(), from = d.View();
  r->SetText(subject, normalized, to, from);
  r->priority = static_cast<int>(d.U32());
  r->sent_time = d.U64();
}

void PutRecordFields(EntryEncoder& e, const MessageRecord& r) {
  e.Str(r.subject());
  e.Str(r.normalized_subject());
  e.Str(r.display_to());
  e.Str(r.display_from());
  e.U32(static_cast<uint32_t>(r.priority));
  e.U64(r.sent_time);
}

struct ByteSpan {
  uint8_t* p;
  size_t n;
  size_t size() const { return n; }
  uint8_t& operator[](size_t i) const { return p[i]; }
  uint8_t* begin() const { return p; }
};

// Holds the cross-process lock for one call.
class FileLock {
 public:
  FileLock(File& file, bool exclusive) : file_(file) {
    locked_ = exclusive ? file_.LockExclusive() : file_.LockShared();
  }
  ~FileLock() {
    if (locked_) file_.Unlock();
  }
  bool locked() const { return locked_; }

 private:
  File& file_;
  bool locked_;
};

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
  }
  return "unknown";
}

struct Store::Folder {
  uint32_t id = 0;
  uint32_t parent = kInvalidId;
  int special = kNotSpecial;
  std::string name;
  uint32_t next_message_id = 1;
  uint32_t unread = 0;
  std::vector<uint32_t> children;          // creation (or move-in) order
  std::vector<MessageRecordPtr> messages;  // ascending id
  std::vector<uint32_t> ids;               // messages[i]->id, searched without touching records

  std::vector<MessageRecordPtr>::iterator Find(uint32_t msg) {
    auto it = std::lower_bound(ids.begin(), ids.end(), msg);
    return (it != ids.end() && *it == msg) ? messages.begin() + (it - ids.begin()) : messages.end();
  }
  size_t LowerBound(uint32_t msg) const {
    return static_cast<size_t>(std::lower_bound(ids.begin(), ids.end(), msg) - ids.begin());
  }
  void Append(MessageRecordPtr r) {
    ids.push_back(r->id);
    messages.push_back(std::move(r));
  }
  void RebuildIds() {
    ids.clear();
    for (const auto& r : messages) ids.push_back(r->id);
  }
};

Store::~Store() = default;

std::unique_ptr<Store> Store::Open(const std::string& directory, bool create, Status* status,
                                   std::string* report) {
  Status ignored;
  if (!status) status = &ignored;
  auto fail = [&](Status s, const std::string& why) -> std::unique_ptr<Store> {
    *status = s;
    if (report) *report = why;
    return nullptr;
  };
  if (directory.empty()) return fail(Status::kInvalidArgument, "no store directory given");
  if (!DirectoryExists(directory)) {
    if (!create) return fail(Status::kNotFound, "the store directory does not exist: " + directory);
    if (!CreateDirectories(directory))
      return fail(Status::kIoError, "cannot create the store directory " + directory);
  }

  std::unique_ptr<Store> store(new Store());
  store->directory_ = directory;
  auto root = std::make_unique<Folder>();
  root->id = kRootFolderId;
  store->folders_[kRootFolderId] = std::move(root);

  const std::string lock_path = JoinPath(directory, "store.lock");
  const std::string journal_path = JoinPath(directory, "journal.dat");
  const std::string data_path = JoinPath(directory, "messages.dat");
  bool writable = store->lock_file_.Open(lock_path, File::Mode::kReadWrite) &&
                  store->journal_.Open(journal_path, File::Mode::kReadWrite) &&
                  store->data_.Open(data_path, File::Mode::kReadWrite);
  store->writable_ = writable;
  if (!writable) {
    // A read-only store is still readable; its writes fail cleanly.
    if (!store->lock_file_.is_open() && !store->lock_file_.Open(lock_path, File::Mode::kRead))
      return fail(Status::kIoError, "cannot open " + lock_path + " (is the directory writable?)");
    if (!store->journal_.is_open() && !store->journal_.Open(journal_path, File::Mode::kRead))
      return fail(Status::kIoError, "cannot open " + journal_path);
    if (!store->data_.is_open() && !store->data_.Open(data_path, File::Mode::kRead))
      return fail(Status::kIoError, "cannot open " + data_path);
  }

  {
    std::lock_guard<std::mutex> guard(store->mutex_);
    FileLock lock(store->lock_file_, writable);
    // The change counter is an optimisation: without it every call asks the
    // file system for the journal's length instead.
    constexpr size_t kSeqSize = 4096;
    const std::string seq_path = JoinPath(directory, "store.seq");
    if (store->seq_file_.Open(seq_path, writable ? File::Mode::kReadWrite : File::Mode::kRead)) {
      int64_t seq_size = store->seq_file_.Size();
      if (seq_size >= 0 && static_cast<uint64_t>(seq_size) < kSeqSize && writable && lock.locked())
        seq_size = store->seq_file_.Truncate(kSeqSize) ? static_cast<int64_t>(kSeqSize) : seq_size;
      if (seq_size >= static_cast<int64_t>(kSeqSize))
        store->seq_ = static_cast<std::atomic<uint64_t>*>(store->seq_file_.MapShared(kSeqSize, writable));
    }
    if (!lock.locked()) return fail(Status::kIoError, "cannot lock " + lock_path);
    if (!store->CatchUpLocked(writable)) return fail(Status::kIoError, "cannot read " + journal_path);
    if (store->applied_ == 0 && store->folders_.size() == 1) {
      if (store->scanned_ != 0)
        return fail(Status::kDamaged, journal_path + " is not a readable store journal; "
                                      "move the directory aside and start a new store");
      if (!writable || !create)
        return fail(Status::kNotFound, "no store in " + directory + " (run Initialize first)");
      EntryEncoder e;
      for (int i = 0; i < kSpecialCount; ++i) {
        e.U8(kOpFolderCreate);
        e.U32(static_cast<uint32_t>(i + 1));
        e.U32(kRootFolderId);
        e.U32(static_cast<uint32_t>(i));
        e.Str(kSpecialNames[i]);
      }
      Status s = store->CommitLocked(e.Finish());
      if (s != Status::kOk) return fail(s, "cannot write " + journal_path);
      SyncDirectory(directory);
    }
  }
  *status = Status::kOk;
  if (report) {
    report->clear();
    if (store->damaged_bytes_)
      *report = "skipped " + std::to_string(store->damaged_bytes_) + " damaged bytes of " + journal_path;
  }
  return store;
}

void Store::SetListener(Listener listener) {
  std::lock_guard<std::mutex> guard(mutex_);
  listener_ = std::move(listener);
}

void Store::SetSyncEachCall(bool each_call) {
  std::lock_guard<std::mutex> guard(mutex_);
  sync_each_call_ = each_call;
}

bool Store::Flush() {
  std::lock_guard<std::mutex> guard(mutex_);
  return data_.Sync() && journal_.Sync();
}

bool Store::Refresh() {
  std::lock_guard<std::mutex> guard(mutex_);
  if (seq_ && seq_->load(std::memory_order_acquire) == scanned_) return true;
  int64_t size = journal_.Size();
  if (size < 0) return false;
  if (static_cast<uint64_t>(size) == scanned_) return true;
  FileLock lock(lock_file_, false);
  return lock.locked() && CatchUpLocked(false);
}

bool Store::CatchUpLocked(bool exclusive) {
  int64_t size = journal_.Size();
  if (size < 0) return false;
  uint64_t end = static_cast<uint64_t>(size);
  if (end <= applied_) return true;
  // Unininitialised on purpose: opening a large store reads megabytes here.
  const size_t want = static_cast<size_t>(end - applied_);
  std::unique_ptr<uint8_t[]> storage(new uint8_t[want]);
  int64_t got = journal_.ReadAt(applied_, storage.get(), want);
  if (got < 0) return false;
  ByteSpan buf{storage.get(), static_cast<size_t>(got)};

  // A complete entry with a valid checksum at |p|? Its total size, or 0.
  auto valid_at = [&buf](size_t p) -> size_t {
    if (buf.size() - p < kEntryHeaderSize) return 0;
    if (LoadU32(&buf[p]) != kEntryMagic) return 0;
    uint32_t len = LoadU32(&buf[p + 4]);
    if (len > kMaxEntryPayload || buf.size() - p - kEntryHeaderSize < len) return 0;
    if (Crc32(&buf[p + kEntryHeaderSize], len) != LoadU32(&buf[p + 8])) return 0;
    return kEntryHeaderSize + len;
  };

  size_t p = 0;
  while (p < buf.size()) {
    size_t n = valid_at(p);
    if (n == 0) {
      // Damage in the middle is skipped; anything after the last good entry
      // is a write that never completed.
      size_t q = p + 1;
      while (q < buf.size() && !(buf.size() - q >= kEntryHeaderSize && valid_at(q))) ++q;
      if (q >= buf.size()) break;
      damaged_bytes_ += q - p;
      p = q;
      continue;
    }
    ApplyEntry(&buf[p + kEntryHeaderSize], n - kEntryHeaderSize);
    p += n;
  }
  if (p < buf.size() && exclusive) {
    // A writer that died mid-append leaves one incomplete entry: cut it so
    // the next entry follows the last complete one. Anything else that does
    // not read as entries is left alone (never destroy what might be data);
    // later entries are appended after it and readers skip it.
    size_t rest = buf.size() - p;
    static const uint8_t kMagicBytes[4] = {'P', 'K', 'J', '1'};
    bool torn = rest < 4 ? std::equal(buf.begin() + p, buf.begin() + buf.size(), kMagicBytes)
                : rest < kEntryHeaderSize
                    ? LoadU32(&buf[p]) == kEntryMagic
                    : LoadU32(&buf[p]) == kEntryMagic &&
                          LoadU32(&buf[p + 4]) <= kMaxEntryPayload &&
                          rest <= kEntryHeaderSize + LoadU32(&buf[p + 4]);
    if (torn) {
      if (!journal_.Truncate(applied_ + p)) return false;
      buf.n = p;
    }
  }
  applied_ += p;
  scanned_ = applied_ + (buf.size() - p);
  if (exclusive) PublishLocked();
  return true;
}

void Store::PublishLocked() {
  if (seq_ && writable_) seq_->store(scanned_, std::memory_order_release);
}

bool Store::ApplyEntry(const uint8_t* data, size_t size) {
  EntryDecoder d(data, size);
  while (!d.done() && !d.failed()) {
    uint8_t op = d.U8();
    switch (op) {
      case kOpFolderCreate: {
        uint32_t id = d.U32(), parent = d.U32();
        int special = static_cast<int>(d.U32());
        std::string name = d.Str();
        Folder* p = FindFolder(parent);
        if (d.failed() || !p || folders_.count(id) || id == kInvalidId) break;
        auto f = std::make_unique<Folder>();
        f->id = id;
        f->parent = parent;
        f->special = (special >= 0 && special < kSpecialCount) ? special : kNotSpecial;
        f->name = std::move(name);
        p->children.push_back(id);
        folders_[id] = std::move(f);
        next_folder_id_ = std::max(next_folder_id_, id + 1);
        Notify({Change::Kind::kFolderCreated, id});
        break;
      }
      case kOpFolderRename: {
        uint32_t id = d.U32();
        std::string name = d.Str();
        Folder* f = FindFolder(id);
        if (d.failed() || !f) break;
        f->name = std::move(name);
        Notify({Change::Kind::kFolderRenamed, id});
        break;
      }
      case kOpFolderMove: {
        uint32_t id = d.U32(), parent = d.U32();
        Folder* f = FindFolder(id);
        Folder* np = FindFolder(parent);
        if (d.failed() || !f || !np || id == kRootFolderId || IsDescendant(parent, id)) break;
        if (Folder* op = FindFolder(f->parent)) {
          auto& c = op->children;
          c.erase(std::remove(c.begin(), c.end(), id), c.end());
        }
        f->parent = parent;
        np->children.push_back(id);
        Change ch{Change::Kind::kFolderMoved, id};
        ch.folder2 = parent;
        Notify(ch);
        break;
      }
      case kOpFolderDelete: {
        uint32_t id = d.U32();
        if (d.failed() || id == kRootFolderId || !FindFolder(id)) break;
        RemoveFolderTree(id);
        break;
      }
      case kOpReserve: {
        uint32_t folder = d.U32(), id = d.U32();
        Folder* f = FindFolder(folder);
        if (d.failed() || !f || id == kInvalidId) break;
        f->next_message_id = std::max(f->next_message_id, id + 1);
        break;
      }
      case kOpAdd: {
        auto r = std::make_shared<MessageRecord>();
        uint32_t folder = d.U32();
        r->id = d.U32();
        r->flags = d.U32();
        r->size = d.U32();
        r->received_time = d.U64();
        r->offset = d.U64();
        GetFields(d, r.get());
        Folder* f = FindFolder(folder);
        if (d.failed() || !f || r->id == kInvalidId) break;
        if (!f->messages.empty() && f->messages.back()->id >= r->id) break;  // ids only ascend
        f->next_message_id = std::max(f->next_message_id, r->id + 1);
        data_end_ = std::max(data_end_, r->offset + r->size);
        bool unread = r->flags & kFlagUnread;
        if (unread) ++f->unread;
        uint32_t id = r->id;
        f->Append(std::move(r));
        Change ch{Change::Kind::kMessageAdded, folder};
        ch.message = id;
        Notify(ch);
        if (unread) Notify({Change::Kind::kUnreadChanged, folder});
        break;
      }
      case kOpReplace: {
        uint32_t folder = d.U32(), id = d.U32(), msize = d.U32();
        uint64_t offset = d.U64();
        MessageRecord fields;
        GetFields(d, &fields);
        Folder* f = FindFolder(folder);
        if (d.failed() || !f) break;
        auto it = f->Find(id);
        if (it == f->messages.end()) break;
        data_end_ = std::max(data_end_, offset + msize);
        auto r = std::make_shared<MessageRecord>(fields);
        r->id = (*it)->id;
        r->flags = (*it)->flags;
        r->received_time = (*it)->received_time;
        r->size = msize;
        r->offset = offset;
        *it = std::move(r);
        break;
      }
      case kOpFlags: {
        uint32_t folder = d.U32(), count = d.U32();
        Folder* f = FindFolder(folder);
        uint32_t unread_before = f ? f->unread : 0;
        for (uint32_t i = 0; i < count && !d.failed(); ++i) {
          uint32_t id = d.U32(), flags = d.U32();
          if (d.failed() || !f) continue;
          auto it = f->Find(id);
          if (it == f->messages.end() || (*it)->flags == flags) continue;
          if ((*it)->flags & kFlagUnread) --f->unread;
          if (flags & kFlagUnread) ++f->unread;
          auto r = std::make_shared<MessageRecord>(**it);
          r->flags = flags;
          *it = std::move(r);
        }
        if (f && f->unread != unread_before) Notify({Change::Kind::kUnreadChanged, folder});
        break;
      }
      case kOpRemove: {
        uint32_t folder = d.U32(), count = d.U32();
        Folder* f = FindFolder(folder);
        std::vector<uint32_t> ids;
        for (uint32_t i = 0; i < count && !d.failed(); ++i) ids.push_back(d.U32());
        if (d.failed() || !f) break;
        std::unordered_set<uint32_t> drop(ids.begin(), ids.end());
        std::vector<uint32_t> removed;
        bool unread_changed = false;
        auto& m = f->messages;
        auto keep_end = std::remove_if(m.begin(), m.end(), [&](const MessageRecordPtr& r) {
          if (!drop.count(r->id)) return false;
          removed.push_back(r->id);
          if (r->flags & kFlagUnread) {
            --f->unread;
            unread_changed = true;
          }
          return true;
        });
        m.erase(keep_end, m.end());
        f->RebuildIds();
        if (removed.empty()) break;
        // Report in the order the caller named them.
        std::unordered_set<uint32_t> gone(removed.begin(), removed.end());
        removed.clear();
        for (uint32_t id : ids)
          if (gone.erase(id)) removed.push_back(id);
        Change ch{Change::Kind::kMessagesRemoved, folder};
        ch.message = removed.front();
        ch.messages = std::move(removed);
        Notify(ch);
        if (unread_changed) Notify({Change::Kind::kUnreadChanged, folder});
        break;
      }
      default:
        // An operation this version does not know: the rest of the entry
        // cannot be decoded.
        return false;
    }
  }
  return !d.failed();
}

void Store::Notify(const Change& change) {
  if (listener_) listener_(change);
}

Status Store::CommitLocked(const std::string& entry) { return AppendLocked(entry, sync_each_call_); }

Status Store::AppendLocked(const std::string& entry, bool sync) {
  int64_t size = journal_.Size();
  if (size < 0 || static_cast<uint64_t>(size) < applied_) return Status::kIoError;
  uint64_t end = static_cast<uint64_t>(size);
  if (!journal_.WriteAt(end, entry.data(), entry.size()) || (sync && !journal_.Sync())) {
    // Leave no half entry behind for the next reader to puzzle over.
    journal_.Truncate(end);
    return Status::kIoError;
  }
  ApplyEntry(reinterpret_cast<const uint8_t*>(entry.data()) + kEntryHeaderSize,
             entry.size() - kEntryHeaderSize);
  damaged_bytes_ += end - applied_;
  applied_ = scanned_ = end + entry.size();
  PublishLocked();
  return Status::kOk;
}

bool Store::WriteSourceLocked(const std::string& source, uint64_t* offset) {
  // Sources go after the last one any entry refers to; bytes of a write that
  // never got its entry are simply overwritten. The file is kept ahead of the
  // end with written zeros, so that syncing a source flushes data only and
  // not a change of the file's size or allocation.
  *offset = data_end_;
  if (source.empty()) return true;
  const uint64_t need = data_end_ + source.size();
  int64_t size = data_.Size();
  if (size < 0) return false;
  if (static_cast<uint64_t>(size) < need) {
    constexpr uint64_t kStep = 16u << 20;
    const uint64_t target = (need + kStep - 1) / kStep * kStep;
    static const std::string zeros(1u << 20, '\0');
    for (uint64_t at = static_cast<uint64_t>(size); at < target; at += zeros.size()) {
      size_t n = static_cast<size_t>(std::min<uint64_t>(zeros.size(), target - at));
      if (!data_.WriteAt(at, zeros.data(), n)) return false;
    }
  }
  return data_.WriteAt(data_end_, source.data(), source.size()) && (!sync_each_call_ || data_.Sync());
}

Store::Folder* Store::FindFolder(uint32_t id) {
  auto it = folders_.find(id);
  return it == folders_.end() ? nullptr : it->second.get();
}

bool Store::NameTaken(uint32_t parent, const std::string& name, uint32_t except) const {
  auto it = folders_.find(parent);
  if (it == folders_.end()) return false;
  for (uint32_t child : it->second->children) {
    if (child == except) continue;
    auto c = folders_.find(child);
    if (c != folders_.end() && SameNameIgnoringCase(c->second->name, name)) return true;
  }
  return false;
}

bool Store::IsDescendant(uint32_t id, uint32_t ancestor) const {
  // Walks up from |id|; true when |ancestor| is |id| or above it.
  for (size_t guard = 0; guard <= folders_.size(); ++guard) {
    if (id == ancestor) return true;
    auto it = folders_.find(id);
    if (it == folders_.end() || id == kRootFolderId) return false;
    id = it->second->parent;
  }
  return false;
}

void Store::RemoveFolderTree(uint32_t id) {
  Folder* f = FindFolder(id);
  if (!f) return;
  if (Folder* p = FindFolder(f->parent)) {
    auto& c = p->children;
    c.erase(std::remove(c.begin(), c.end(), id), c.end());
  }
  // Depth-first without recursion: a deep tree must not exhaust the stack.
  std::vector<uint32_t> pending{id};
  std::vector<uint32_t> order;
  while (!pending.empty()) {
    uint32_t cur = pending.back();
    pending.pop_back();
    order.push_back(cur);
    if (Folder* c = FindFolder(cur))
      for (uint32_t child : c->children) pending.push_back(child);
  }
  for (uint32_t cur : order) {
    folders_.erase(cur);
    Notify({Change::Kind::kFolderDeleted, cur});
  }
}

// ---- Reads ---------------------------------------------------------------

Status Store::GetFolder(uint32_t id, FolderInfo* info) {
  if (!info) return Status::kInvalidArgument;
  Refresh();
  std::lock_guard<std::mutex> guard(mutex_);
  Folder* f = FindFolder(id);
  if (!f) return Status::kNotFound;
  info->id = f->id;
  info->parent = f->parent;
  info->special = f->special;
  info->name = f->name;
  info->message_count = static_cast<uint32_t>(f->messages.size());
  info->unread_count = f->unread;
  info->subfolder_count = static_cast<int>(f->children.size());
  return Status::kOk;
}

uint32_t Store::SpecialFolderId(int special) {
  if (special < 0 || special >= kSpecialCount) return kInvalidId;
  Refresh();
  std::lock_guard<std::mutex> guard(mutex_);
  for (auto& [id, f] : folders_)
    if (f->special == special) return id;
  return kInvalidId;
}

Status Store::ListSubfolders(uint32_t parent, std::vector<FolderInfo>* out) {
  if (!out) return Status::kInvalidArgument;
  Refresh();
  std::lock_guard<std::mutex> guard(mutex_);
  Folder* p = FindFolder(parent);
  if (!p) return Status::kNotFound;
  out->clear();
  for (uint32_t child : p->children) {
    Folder* f = FindFolder(child);
    if (!f) continue;
    FolderInfo info;
    info.id = f->id;
    info.parent = f->parent;
    info.special = f->special;
    info.name = f->name;
    info.message_count = static_cast<uint32_t>(f->messages.size());
    info.unread_count = f->unread;
    info.subfolder_count = static_cast<int>(f->children.size());
    out->push_back(std::move(info));
  }
  return Status::kOk;
}

Status Store::FindMessage(uint32_t folder, uint32_t id, MessageRecordPtr* record) {
  if (!record) return Status::kInvalidArgument;
  Refresh();
  std::lock_guard<std::mutex> guard(mutex_);
  Folder* f = FindFolder(folder);
  if (!f) return Status::kNotFound;
  auto it = f->Find(id);
  if (it == f->messages.end()) return Status::kNotFound;
  *record = *it;
  return Status::kOk;
}

Status Store::ListMessages(uint32_t folder, uint32_t first_id, std::vector<MessageRecordPtr>* out) {
  if (!out) return Status::kInvalidArgument;
  Refresh();
  std::lock_guard<std::mutex> guard(mutex_);
  Folder* f = FindFolder(folder);
  if (!f) return Status::kNotFound;
  out->assign(f->messages.begin() + static_cast<ptrdiff_t>(f->LowerBound(first_id)), f->messages.end());
  return Status::kOk;
}

int64_t Store::ReadSource(const MessageRecord& record, uint64_t at, void* buffer, size_t size) const {
  if (at >= record.size) return 0;
  size_t n = static_cast<size_t>(std::min<uint64_t>(size, record.size - at));
  return data_.ReadAt(record.offset + at, buffer, n);
}

bool Store::SourceReader::Open(const Store& store, MessageRecordPtr record) {
  record_ = std::move(record);
  cursor_ = ~0ull;
  return file_.Open(JoinPath(store.directory_, "messages.dat"), File::Mode::kRead);
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
  return static_cast<int64_t>(done);
}

// ---- Writes --------------------------------------------------------------
// Each write: process mutex, exclusive file lock, catch up, validate against
// the current state, append and sync, apply.

#define MAILSTORE_BEGIN_WRITE()                        \
  std::lock_guard<std::mutex> guard(mutex_);           \
  FileLock file_lock(lock_file_, true);                \
  if (!file_lock.locked() || !CatchUpLocked(true))     \
    return Status::kIoError

Status Store::CreateFolder(uint32_t parent, const std::string& name, uint32_t* id) {
  if (!ValidName(name)) return Status::kInvalidName;
  MAILSTORE_BEGIN_WRITE();
  if (!FindFolder(parent)) return Status::kNotFound;
  if (NameTaken(parent, name, kInvalidId)) return Status::kDuplicateName;
  uint32_t new_id = next_folder_id_;
  if (new_id == kInvalidId) return Status::kNotAllowed;
  EntryEncoder e;
  e.U8(kOpFolderCreate);
  e.U32(new_id);
  e.U32(parent);
  e.U32(static_cast<uint32_t>(kNotSpecial));
  e.Str(name);
  Status s = CommitLocked(e.Finish());
  if (s == Status::kOk && id) *id = new_id;
  return s;
}

Status Store::RenameFolder(uint32_t id, const std::string& name) {
  if (!ValidName(name)) return Status::kInvalidName;
  MAILSTORE_BEGIN_WRITE();
  Folder* f = FindFolder(id);
  if (!f) return Status::kNotFound;
  if (id == kRootFolderId) return Status::kNotAllowed;
  if (NameTaken(f->parent, name, id)) return Status::kDuplicateName;
  EntryEncoder e;
  e.U8(kOpFolderRename);
  e.U32(id);
  e.Str(name);
  return CommitLocked(e.Finish());
}

Status Store::MoveFolder(uint32_t id, uint32_t new_parent) {
  MAILSTORE_BEGIN_WRITE();
  Folder* f = FindFolder(id);
  if (!f || !FindFolder(new_parent)) return Status::kNotFound;
  if (id == kRootFolderId || f->special != kNotSpecial) return Status::kNotAllowed;
  if (IsDescendant(new_parent, id)) return Status::kNotAllowed;
  if (f->parent == new_parent) return Status::kOk;
  if (NameTaken(new_parent, f->name, id)) return Status::kDuplicateName;
  EntryEncoder e;
  e.U8(kOpFolderMove);
  e.U32(id);
  e.U32(new_parent);
  return CommitLocked(e.Finish());
}

Status Store::DeleteFolder(uint32_t id) {
  MAILSTORE_BEGIN_WRITE();
  Folder* f = FindFolder(id);
  if (!f) return Status::kNotFound;
  if (id == kRootFolderId || f->special != kNotSpecial) return Status::kNotAllowed;
  EntryEncoder e;
  e.U8(kOpFolderDelete);
  e.U32(id);
  return CommitLocked(e.Finish());
}

Status Store::ReserveMessageId(uint32_t folder, uint32_t* id) {
  if (!id) return Status::kInvalidArgument;
  MAILSTORE_BEGIN_WRITE();
  Folder* f = FindFolder(folder);
  if (!f || folder == kRootFolderId) return Status::kNotFound;
  if (f->next_message_id == kInvalidId) return Status::kNotAllowed;
  EntryEncoder e;
  e.U8(kOpReserve);
  e.U32(folder);
  e.U32(f->next_message_id);
  // A reservation need not survive a crash: an id never used is never seen.
  Status s = AppendLocked(e.Finish(), false);
  if (s == Status::kOk) *id = f->next_message_id - 1;
  return s;
}

Status Store::AddMessage(uint32_t folder, uint32_t id, const std::string& source, uint32_t flags,
                         const MessageFields& fields, uint32_t* new_id) {
  if (source.size() > 0xFFFFFFF0u) return Status::kInvalidArgument;
  MAILSTORE_BEGIN_WRITE();
  Folder* f = FindFolder(folder);
  if (!f || folder == kRootFolderId) return Status::kNotFound;
  if (id == kInvalidId) {
    id = f->next_message_id;
    if (id == kInvalidId) return Status::kNotAllowed;
  } else if (id >= f->next_message_id || (!f->messages.empty() && f->messages.back()->id >= id) ||
             f->Find(id) != f->messages.end()) {
    // Not a reservation of this folder, or a later id is already stored.
    return Status::kInvalidArgument;
  }
  uint64_t offset = 0;
  if (!WriteSourceLocked(source, &offset)) return Status::kIoError;
  EntryEncoder e;
  e.U8(kOpAdd);
  e.U32(folder);
  e.U32(id);
  e.U32(flags);
  e.U32(static_cast<uint32_t>(source.size()));
  e.U64(NowTicks());
  e.U64(offset);
  PutFields(e, fields);
  Status s = CommitLocked(e.Finish());
  if (s == Status::kOk && new_id) *new_id = id;
  return s;
}

Status Store::ReplaceSource(uint32_t folder, uint32_t id, const std::string& source,
                            const MessageFields& fields) {
  if (source.size() > 0xFFFFFFF0u) return Status::kInvalidArgument;
  MAILSTORE_BEGIN_WRITE();
  Folder* f = FindFolder(folder);
  if (!f || f->Find(id) == f->messages.end()) return Status::kNotFound;
  uint64_t offset = 0;
  if (!WriteSourceLocked(source, &offset)) return Status::kIoError;
  EntryEncoder e;
  e.U8(kOpReplace);
  e.U32(folder);
  e.U32(id);
  e.U32(static_cast<uint32_t>(source.size()));
  e.U64(offset);
  PutFields(e, fields);
  return CommitLocked(e.Finish());
}

Status Store::SetFlags(uint32_t folder, const std::vector<uint32_t>& ids, uint32_t state,
                       uint32_t mask, std::vector<uint32_t>* new_flags) {
  MAILSTORE_BEGIN_WRITE();
  Folder* f = FindFolder(folder);
  if (!f) return Status::kNotFound;
  std::vector<uint32_t> result;
  EntryEncoder e;
  e.U8(kOpFlags);
  e.U32(folder);
  e.U32(static_cast<uint32_t>(ids.size()));
  bool changes = false;
  for (uint32_t id : ids) {
    auto it = f->Find(id);
    if (it == f->messages.end()) return Status::kNotFound;
    uint32_t flags = ((*it)->flags & ~mask) | (state & mask);
    changes |= flags != (*it)->flags;
    e.U32(id);
    e.U32(flags);
    result.push_back(flags);
  }
  Status s = changes ? CommitLocked(e.Finish()) : Status::kOk;
  if (s == Status::kOk && new_flags) *new_flags = std::move(result);
  return s;
}

Status Store::RemoveMessages(uint32_t folder, const std::vector<uint32_t>& ids) {
  MAILSTORE_BEGIN_WRITE();
  Folder* f = FindFolder(folder);
  if (!f) return Status::kNotFound;
  for (uint32_t id : ids)
    if (f->Find(id) == f->messages.end()) return Status::kNotFound;
  if (ids.empty()) return Status::kOk;
  EntryEncoder e;
  e.U8(kOpRemove);
  e.U32(folder);
  e.U32(static_cast<uint32_t>(ids.size()));
  for (uint32_t id : ids) e.U32(id);
  return CommitLocked(e.Finish());
}

Status Store::CopyMessages(uint32_t source, uint32_t target, const std::vector<uint32_t>& ids,
                           bool move, uint32_t clear_flags, std::vector<uint32_t>* new_ids) {
  MAILSTORE_BEGIN_WRITE();
  Folder* from = FindFolder(source);
  Folder* to = FindFolder(target);
  if (!from || !to || target == kRootFolderId) return Status::kNotFound;
  if (move && source == target) return Status::kNotAllowed;
  std::vector<MessageRecordPtr> records;
  for (uint32_t id : ids) {
    auto it = from->Find(id);
    if (it == from->messages.end()) return Status::kNotFound;
    records.push_back(*it);
  }
  if (ids.empty()) return Status::kOk;
  if (uint64_t(to->next_message_id) + ids.size() >= kInvalidId) return Status::kNotAllowed;
  EntryEncoder e;
  std::vector<uint32_t> made;
  uint32_t next = to->next_message_id;
  for (const auto& r : records) {
    e.U8(kOpAdd);
    e.U32(target);
    e.U32(next);
    e.U32(r->flags & ~clear_flags);
    e.U32(r->size);
    e.U64(r->received_time);
    e.U64(r->offset);
    PutRecordFields(e, *r);
    made.push_back(next++);
  }
  if (move) {
    e.U8(kOpRemove);
    e.U32(source);
    e.U32(static_cast<uint32_t>(ids.size()));
    for (uint32_t id : ids) e.U32(id);
  }
  Status s = CommitLocked(e.Finish());
  if (s == Status::kOk && new_ids) *new_ids = std::move(made);
  return s;
}

Status Store::DeleteMessages(uint32_t folder, const std::vector<uint32_t>& ids) {
  uint32_t deleted = SpecialFolderId(kSpecialDeleted);
  if (deleted == kInvalidId || folder == deleted) return RemoveMessages(folder, ids);
  return CopyMessages(folder, deleted, ids, true, 0, nullptr);
}

}  // namespace mailstore
