#include "folder_model.h"

#include <unordered_set>

namespace mailstore {
namespace {

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  return true;
}

void Unlink(std::vector<uint32_t>& children, uint32_t id) {
  children.erase(std::remove(children.begin(), children.end(), id), children.end());
}

template <class Op>
std::shared_ptr<MessageRecord> NewRecord(uint32_t id, uint32_t flags, uint64_t received_time,
                                         const Op& op, uint32_t generation) {
  const uint32_t size = op.size;
  const uint64_t offset = op.offset;
  const RecordText& t = op.text;
  auto r = std::make_shared<MessageRecord>();
  r->checked = op.framed;
  r->generation = generation;
  r->checksum = op.checksum;
  r->id = id;
  r->flags = flags;
  r->size = size;
  r->received_time = received_time;
  r->offset = offset;
  r->SetText(t.subject, t.normalized_subject, t.display_to, t.display_from, op.message_id);
  r->priority = t.priority;
  r->sent_time = t.sent_time;
  return r;
}

}  // namespace

const MessageRecordPtr* FolderModel::Folder::Find(uint32_t msg) const {
  size_t i = LowerBound(msg);
  return (i < ids.size() && ids[i] == msg) ? &messages[i] : nullptr;
}

MessageRecordPtr* FolderModel::Folder::Find(uint32_t msg) {
  return const_cast<MessageRecordPtr*>(static_cast<const Folder*>(this)->Find(msg));
}

FolderInfo FolderModel::Folder::Info() const {
  FolderInfo info;
  info.id = id;
  info.parent = parent;
  info.special = special;
  info.name = name;
  info.message_count = static_cast<uint32_t>(messages.size());
  info.unread_count = unread;
  info.subfolder_count = static_cast<int>(children.size());
  return info;
}

FolderModel::FolderModel() { folders_[kRootFolderId] = std::make_unique<Folder>(); }

const FolderModel::Folder* FolderModel::Find(uint32_t id) const {
  auto it = folders_.find(id);
  return it == folders_.end() ? nullptr : it->second.get();
}

FolderModel::Folder* FolderModel::FindMutable(uint32_t id) {
  return const_cast<Folder*>(Find(id));
}

uint32_t FolderModel::SpecialFolderId(int special) const {
  for (auto& [id, f] : folders_)
    if (f->special == special) return id;
  return kInvalidId;
}

bool FolderModel::NameTaken(uint32_t parent, std::string_view name, uint32_t except) const {
  const Folder* p = Find(parent);
  if (!p) return false;
  for (uint32_t child : p->children) {
    const Folder* c = Find(child);
    if (child != except && c && SameNameIgnoringCase(c->name, name)) return true;
  }
  return false;
}

bool FolderModel::IsDescendant(uint32_t id, uint32_t ancestor) const {
  // Walks up from |id|; the guard ends a walk around a cycle.
  for (size_t guard = 0; guard <= folders_.size(); ++guard) {
    if (id == ancestor) return true;
    const Folder* f = Find(id);
    if (!f || id == kRootFolderId) return false;
    id = f->parent;
  }
  return false;
}

void FolderModel::Notify(const Change& change) {
  if (listener_ && !in_snapshot_) listener_(change);
}

void FolderModel::Record(HistoryKind kind, uint32_t folder, uint32_t message) {
  if (in_snapshot_) return;
  HistoryChange c;
  c.sequence = ++sequence_;
  c.kind = kind;
  c.folder = folder;
  c.message = message;
  c.time = entry_time_;
  changes_.push_back(c);
}

void FolderModel::Index(std::string_view message_id, uint32_t folder, uint32_t id) {
  if (!message_id.empty()) index_[std::string(message_id)].emplace_back(folder, id);
}

void FolderModel::Unindex(std::string_view message_id, uint32_t folder, uint32_t id) {
  if (message_id.empty()) return;
  auto it = index_.find(std::string(message_id));
  if (it == index_.end()) return;
  auto& holders = it->second;
  holders.erase(std::remove(holders.begin(), holders.end(), std::make_pair(folder, id)), holders.end());
  if (holders.empty()) index_.erase(it);
}

bool FolderModel::FindMessageId(const std::string& message_id, uint32_t* folder, uint32_t* id) const {
  auto it = index_.find(message_id);
  if (it == index_.end() || it->second.empty()) return false;
  *folder = it->second.back().first;
  *id = it->second.back().second;
  return true;
}

void FolderModel::Apply(const MessageIdOp& op) {
  Folder* f = FindMutable(op.folder);
  MessageRecordPtr* r = f ? f->Find(op.id) : nullptr;
  if (!r) return;
  Unindex((*r)->message_id(), op.folder, op.id);
  if ((*r)->message_id() != op.message_id) {
    auto changed = std::make_shared<MessageRecord>(**r);
    changed->SetText((*r)->subject(), (*r)->normalized_subject(), (*r)->display_to(), (*r)->display_from(),
                     op.message_id);
    *r = std::move(changed);
  }
  Index(op.message_id, op.folder, op.id);
}

void FolderModel::Apply(const HistoryOp& op) {
  history_id_ = op.history;
  kept_from_ = std::min(op.kept_from, op.sequence);
  sequence_ = op.sequence;
  changes_.clear();
}

void FolderModel::Apply(const KeptChangeOp& op) {
  const uint64_t last = changes_.empty() ? kept_from_ : changes_.back().sequence;
  if (op.change.sequence > last && op.change.sequence <= sequence_) changes_.push_back(op.change);
}

void FolderModel::EncodeHistory(EntryEncoder& e, uint64_t kept_from) const {
  kept_from = std::min(std::max(kept_from, kept_from_), sequence_);
  Encode(HistoryOp{history_id_, kept_from, sequence_}, e);
  auto from = std::upper_bound(changes_.begin(), changes_.end(), kept_from,
                               [](uint64_t s, const HistoryChange& c) { return s < c.sequence; });
  for (auto it = from; it != changes_.end(); ++it) Encode(KeptChangeOp{*it}, e);
}

uint64_t FolderModel::LiveBytes() const {
  std::unordered_set<uint64_t> seen;
  uint64_t live = 0;
  ForEachFolder([&](const Folder& f) {
    for (const auto& r : f.messages)
      if (seen.insert(r->offset).second) live += r->size + (r->checked ? 32 : 0);
  });
  return live;
}

void FolderModel::Apply(const SnapshotOp& op) {
  folders_.clear();
  folders_[kRootFolderId] = std::make_unique<Folder>();
  next_folder_id_ = std::max(next_folder_id_, uint32_t{1});  // ids of deleted folders stay used
  index_.clear();
  data_end_ = 0;
  generation_ = op.generation;
  in_snapshot_ = true;
}

void FolderModel::Apply(const SnapshotEndOp&) { in_snapshot_ = false; }

void FolderModel::Apply(const NextMessageIdOp& op) {
  if (Folder* f = FindMutable(op.folder)) f->next_message_id = std::max(f->next_message_id, op.next);
}

void FolderModel::EncodeAll(EntryEncoder& e,
                            const std::function<void(const MessageRecord&, AddMessageOp&)>& place) const {
  ForEachFolder([&](const Folder& f) { Encode(FolderCreateOp{f.id, f.parent, f.special, f.name}, e); });
  ForEachFolder([&](const Folder& f) {
    // Ascending ids, reservations among them, so that each fits on replay.
    size_t m = 0, r = 0;
    while (m < f.messages.size() || r < f.reserved.size()) {
      if (r < f.reserved.size() && (m == f.messages.size() || f.reserved[r] < f.ids[m])) {
        Encode(ReserveIdOp{f.id, f.reserved[r++]}, e);
        continue;
      }
      const MessageRecord& rec = *f.messages[m++];
      AddMessageOp op{f.id, rec.id, rec.flags, rec.size, rec.received_time, rec.offset, RecordText(rec), false, 0, {}};
      op.framed = rec.checked;
      op.checksum = rec.checksum;
      op.message_id = rec.message_id();
      place(rec, op);
      if (op.framed && !op.message_id.empty())
        Encode(AddIndexedMessageOp(op), e);
      else if (op.framed)
        Encode(AddFramedMessageOp(op), e);
      else
        Encode(op, e);
    }
    Encode(NextMessageIdOp{f.id, f.next_message_id}, e);
  });
  // Replayed, the adds above index in folder order: restate the order of
  // the Message-IDs several messages hold.
  for (const auto& [message_id, holders] : index_)
    if (holders.size() > 1)
      for (const auto& [folder, id] : holders) Encode(MessageIdOp{folder, id, message_id}, e);
}

void FolderModel::Apply(const FolderCreateOp& op) {
  Folder* p = FindMutable(op.parent);
  if (!p || folders_.count(op.id) || op.id == kInvalidId) return;
  auto f = std::make_unique<Folder>();
  f->id = op.id;
  f->parent = op.parent;
  f->special = (op.special >= 0 && op.special < kSpecialCount) ? op.special : kNotSpecial;
  f->name = op.name;
  p->children.push_back(op.id);
  folders_[op.id] = std::move(f);
  next_folder_id_ = std::max(next_folder_id_, op.id + 1);
  Notify({Change::Kind::kFolderCreated, op.id});
  Record(HistoryKind::kFolderCreated, op.id);
}

void FolderModel::Apply(const FolderRenameOp& op) {
  Folder* f = FindMutable(op.id);
  if (!f) return;
  f->name = op.name;
  Notify({Change::Kind::kFolderRenamed, op.id});
  Record(HistoryKind::kFolderRenamed, op.id);
}

void FolderModel::Apply(const FolderMoveOp& op) {
  Folder* f = FindMutable(op.id);
  Folder* np = FindMutable(op.parent);
  if (!f || !np || op.id == kRootFolderId || IsDescendant(op.parent, op.id)) return;
  if (Folder* old_parent = FindMutable(f->parent)) Unlink(old_parent->children, op.id);
  f->parent = op.parent;
  np->children.push_back(op.id);
  Change change{Change::Kind::kFolderMoved, op.id};
  change.folder2 = op.parent;
  Notify(change);
  Record(HistoryKind::kFolderMoved, op.id);
}

void FolderModel::Apply(const FolderDeleteOp& op) {
  Folder* f = FindMutable(op.id);
  if (!f || op.id == kRootFolderId) return;
  if (Folder* p = FindMutable(f->parent)) Unlink(p->children, op.id);
  // Depth-first without recursion: a deep tree must not exhaust the stack.
  std::vector<uint32_t> pending{op.id};
  std::vector<uint32_t> order;
  while (!pending.empty()) {
    uint32_t cur = pending.back();
    pending.pop_back();
    order.push_back(cur);
    if (const Folder* c = Find(cur)) pending.insert(pending.end(), c->children.begin(), c->children.end());
  }
  for (uint32_t cur : order) {
    if (const Folder* c = Find(cur))
      for (const auto& r : c->messages) Unindex(r->message_id(), cur, r->id);
    folders_.erase(cur);
    Notify({Change::Kind::kFolderDeleted, cur});
    Record(HistoryKind::kFolderDeleted, cur);
  }
}

void FolderModel::Apply(const ReserveIdOp& op) {
  Folder* f = FindMutable(op.folder);
  if (!f || op.id == kInvalidId || op.id < f->next_message_id) return;
  f->next_message_id = op.id + 1;
  f->reserved.push_back(op.id);
  // Reservations of writers that died are never used: keep a bounded number.
  constexpr size_t kMaxReserved = 4096;
  if (f->reserved.size() > kMaxReserved) f->reserved.erase(f->reserved.begin());
}

void FolderModel::Apply(const AddMessageOp& op) {
  Folder* f = FindMutable(op.folder);
  if (!f || op.id == kInvalidId || !f->IdFree(op.id)) return;  // an id is never used twice
  auto r = std::lower_bound(f->reserved.begin(), f->reserved.end(), op.id);
  if (r != f->reserved.end() && *r == op.id) f->reserved.erase(r);
  f->next_message_id = std::max(f->next_message_id, op.id + 1);
  data_end_ = std::max(data_end_, op.offset + op.size);
  bool unread = op.flags & kFlagUnread;
  if (unread) ++f->unread;
  const size_t at = f->LowerBound(op.id);
  f->ids.insert(f->ids.begin() + static_cast<ptrdiff_t>(at), op.id);
  f->messages.insert(f->messages.begin() + static_cast<ptrdiff_t>(at),
                     NewRecord(op.id, op.flags, op.received_time, op, generation_));
  Index(op.message_id, op.folder, op.id);
  Change added{Change::Kind::kMessageAdded, op.folder};
  added.message = op.id;
  Notify(added);
  Record(HistoryKind::kMessageAdded, op.folder, op.id);
  if (unread) Notify({Change::Kind::kUnreadChanged, op.folder});
}

void FolderModel::Apply(const ReplaceSourceOp& op) {
  Folder* f = FindMutable(op.folder);
  MessageRecordPtr* old = f ? f->Find(op.id) : nullptr;
  if (!old) return;
  data_end_ = std::max(data_end_, op.offset + op.size);
  Unindex((*old)->message_id(), op.folder, op.id);
  // A new record: whoever holds the old one keeps it as it was.
  *old = NewRecord((*old)->id, (*old)->flags, (*old)->received_time, op, generation_);
  Index(op.message_id, op.folder, op.id);
  Record(HistoryKind::kMessageChanged, op.folder, op.id);
}

void FolderModel::Apply(const SetFlagsOp& op) {
  Folder* f = FindMutable(op.folder);
  if (!f) return;
  const uint32_t unread_before = f->unread;
  for (const auto& [id, flags] : op.flags) {
    MessageRecordPtr* r = f->Find(id);
    if (!r || (*r)->flags == flags) continue;
    if ((*r)->flags & kFlagUnread) --f->unread;
    if (flags & kFlagUnread) ++f->unread;
    auto changed = std::make_shared<MessageRecord>(**r);
    changed->flags = flags;
    *r = std::move(changed);
    Record(HistoryKind::kMessageChanged, op.folder, id);
  }
  if (f->unread != unread_before) Notify({Change::Kind::kUnreadChanged, op.folder});
}

void FolderModel::Apply(const RemoveMessagesOp& op) {
  Folder* f = FindMutable(op.folder);
  if (!f) return;
  std::unordered_set<uint32_t> drop(op.ids.begin(), op.ids.end());
  std::unordered_set<uint32_t> gone;
  bool unread_changed = false;
  auto& m = f->messages;
  m.erase(std::remove_if(m.begin(), m.end(),
                         [&](const MessageRecordPtr& r) {
                           if (!drop.count(r->id)) return false;
                           gone.insert(r->id);
                           Unindex(r->message_id(), op.folder, r->id);
                           if (r->flags & kFlagUnread) {
                             --f->unread;
                             unread_changed = true;
                           }
                           return true;
                         }),
          m.end());
  f->ids.clear();
  for (const auto& r : m) f->ids.push_back(r->id);
  if (gone.empty()) return;
  // Reported in the order the caller named them.
  Change removed{Change::Kind::kMessagesRemoved, op.folder};
  for (uint32_t id : op.ids)
    if (gone.erase(id)) {
      removed.messages.push_back(id);
      Record(HistoryKind::kMessageRemoved, op.folder, id);
    }
  removed.message = removed.messages.front();
  Notify(removed);
  if (unread_changed) Notify({Change::Kind::kUnreadChanged, op.folder});
}

}  // namespace mailstore
