#include "index_updater.h"

#include <algorithm>
#include <unordered_set>

#include "crc32.h"

namespace mailsearch {
namespace {

constexpr size_t kFlushBytes = 64u << 20;  // a batch bigger than this becomes a segment
constexpr size_t kMaxSegments = 48;
constexpr size_t kMergeFactor = 8;
constexpr size_t kChangesPerRead = 4096;

uint64_t Key(uint32_t folder, uint32_t id) { return uint64_t(folder) << 32 | id; }

}  // namespace

uint32_t IndexUpdater::FindDoc(uint32_t folder, uint32_t id) {
  auto it = pending_.find(Key(folder, id));
  return it != pending_.end() ? it->second : view_->Find(folder, id);
}

uint32_t IndexUpdater::ChecksumOf(uint32_t doc) const {
  if (builder_ && doc >= builder_->base()) return pending_sums_[doc - builder_->base()];
  size_t s;
  uint32_t local;
  return view_->Locate(doc, &s, &local) ? view_->segments()[s].segment->checksum(local) : 0;
}

void IndexUpdater::DeleteDoc(uint32_t folder, uint32_t id, uint32_t doc) {
  if (builder_ && doc >= builder_->base()) {
    pending_.erase(Key(folder, id));
    pending_deleted_.push_back(doc);
  } else {
    view_->Delete(doc);
  }
}

bool IndexUpdater::Update(uint32_t folder, const mailstore::MessageRecord& record, uint32_t* doc_out) {
  uint32_t doc = FindDoc(folder, record.id);
  *doc_out = doc;
  if (doc != kNoDoc && record.checked && ChecksumOf(doc) == record.checksum) return true;
  source_.resize(record.size);
  if (store_->ReadSource(record, 0, &source_[0], source_.size()) != static_cast<int64_t>(record.size))
    return false;
  const uint32_t crc = record.checked ? record.checksum
                                      : mailstore::Crc32(reinterpret_cast<const uint8_t*>(source_.data()), source_.size());
  if (doc != kNoDoc) {
    if (ChecksumOf(doc) == crc) return true;
    DeleteDoc(folder, record.id, doc);
  }
  MessageAnalyzer::Analyze(source_, &message_);
  DocColumns c;
  c.folder = folder;
  c.id = record.id;
  c.received = record.received_time;
  c.sent = record.sent_time;
  c.size = record.size;
  c.checksum = crc;
  c.attachments = message_.stored.attachments;
  if (!builder_) builder_ = std::make_unique<SegmentBuilder>(view_->meta.next_doc);
  doc = builder_->AddMessage(c, message_);
  view_->meta.next_doc = doc + 1;
  pending_[Key(folder, record.id)] = doc;
  pending_sums_.push_back(crc);
  *doc_out = doc;
  return true;
}

bool IndexUpdater::ApplyChange(const mailstore::HistoryChange& change) {
  using mailstore::HistoryKind;
  switch (change.kind) {
    case HistoryKind::kMessageAdded:
    case HistoryKind::kMessageChanged: {
      mailstore::MessageRecordPtr record;
      const auto st = store_->FindMessage(change.folder, change.message, &record);
      // Gone since: its removal follows in the history.
      if (st == mailstore::Status::kNotFound) return true;
      if (st != mailstore::Status::kOk) return false;
      uint32_t doc;
      Update(change.folder, *record, &doc);  // an unreadable source stays out of the index
      return true;
    }
    case HistoryKind::kMessageRemoved: {
      const uint32_t doc = FindDoc(change.folder, change.message);
      if (doc != kNoDoc) DeleteDoc(change.folder, change.message, doc);
      return true;
    }
    case HistoryKind::kFolderDeleted: {
      view_->DeleteFolder(change.folder);
      for (auto it = pending_.begin(); it != pending_.end();) {
        if (it->first >> 32 == change.folder) {
          pending_deleted_.push_back(it->second);
          it = pending_.erase(it);
        } else {
          ++it;
        }
      }
      return true;
    }
    default:  // folder renames and moves: paths are resolved at query time
      return true;
  }
}

bool IndexUpdater::Reconcile(const Progress& progress) {
  // Docs present before the listing that the listing does not confirm go at the end.
  std::vector<bool> seen(view_->meta.next_doc, false);
  std::vector<uint32_t> folders = {mailstore::kRootFolderId};
  uint64_t total = 0, done = 0;
  for (size_t i = 0; i < folders.size(); ++i) {
    std::vector<mailstore::FolderInfo> subs;
    if (store_->ListSubfolders(folders[i], &subs) != mailstore::Status::kOk) return false;
    for (const auto& f : subs) {
      folders.push_back(f.id);
      total += f.message_count;
    }
  }
  if (progress) progress(0, total);
  std::vector<mailstore::MessageRecordPtr> records;
  for (uint32_t folder : folders) {
    if (store_->ListMessages(folder, 0, &records) != mailstore::Status::kOk) return false;
    for (const auto& r : records) {
      uint32_t doc;
      if (Update(folder, *r, &doc) && doc < seen.size()) seen[doc] = true;
      if (progress && ++done % 1024 == 0) progress(done, std::max(total, done));
      if (builder_ && builder_->memory() > kFlushBytes) Flush();
    }
    records.clear();
  }
  Flush();
  for (size_t s = 0; s < view_->segments().size(); ++s) {
    const ViewSegment& v = view_->segments()[s];
    for (uint32_t i = 0; i < v.segment->doc_count(); ++i) {
      const uint32_t doc = v.segment->base() + i;
      if (doc < seen.size() && !seen[doc] && !v.IsDeleted(i)) view_->Delete(doc);
    }
  }
  if (progress) progress(std::max(total, done), std::max(total, done));
  return true;
}

bool IndexUpdater::Run(bool reconcile, const Progress& progress) {
  if (!store_->Refresh()) return false;
  mailstore::HistoryId history;
  uint64_t cursor = 0;
  if (store_->GetHistory(&history, &cursor) != mailstore::Status::kOk) return false;
  Manifest& meta = view_->meta;
  if (meta.history.low != history.low || meta.history.high != history.high) reconcile = true;
  if (!reconcile) {
    uint64_t after = meta.sequence;
    std::vector<mailstore::HistoryChange> changes;
    while (after < cursor) {
      const auto st = store_->GetChanges(after, kChangesPerRead, &changes);
      if (st == mailstore::Status::kHistoryGone) {
        reconcile = true;
        break;
      }
      if (st != mailstore::Status::kOk) return false;
      if (changes.empty()) break;
      for (const auto& c : changes) {
        if (!ApplyChange(c)) return false;
        after = c.sequence;
      }
      if (builder_ && builder_->memory() > kFlushBytes) Flush();
    }
    meta.sequence = std::max(after, cursor);
  }
  if (reconcile) {
    if (!Reconcile(progress)) return false;
    meta.history = history;
    meta.sequence = cursor;
  }
  Flush();
  if (dir_.empty() || write_failed_) return true;
  Merge();
  for (const auto& v : view_->segments())
    if (v.id == 0) write_failed_ = true;  // held in memory: no manifest can name it
  if (write_failed_) return true;
  meta.generation = std::max(meta.generation, Manifest::ReadGeneration(dir_)) + 1;
  const Manifest manifest = view_->ToManifest();
  if (!manifest.Write(dir_)) {
    write_failed_ = true;
    return true;
  }
  Sweep(dir_, manifest);
  return true;
}

bool IndexUpdater::Flush() {
  if (!builder_) return true;
  uint64_t id = 0;
  auto segment = Store(builder_->Finish(), &id);
  const uint32_t base = builder_->base();
  builder_.reset();
  if (!segment) return false;
  view_->AddSegment(id, segment, pending_deleted_);
  for (const auto& [key, doc] : pending_) view_->Added(static_cast<uint32_t>(key >> 32), static_cast<uint32_t>(key), doc);
  (void)base;
  pending_.clear();
  pending_sums_.clear();
  pending_deleted_.clear();
  return true;
}

std::shared_ptr<Segment> IndexUpdater::Store(std::string bytes, uint64_t* id) {
  std::string problem;
  if (!dir_.empty() && !write_failed_) {
    // Never over a file that exists: another process may still map it (a manifest lost and
    // rebuilt starts the ids over).
    std::string path;
    mailstore::File file;
    do {
      *id = view_->meta.next_segment++;
      path = mailstore::JoinPath(dir_, Manifest::SegmentName(*id));
    } while (file.Open(path, mailstore::File::Mode::kRead));
    if (file.Open(path, mailstore::File::Mode::kReadWrite) && file.Truncate(0) &&
        file.WriteAt(0, bytes.data(), bytes.size()) && file.Sync()) {
      file.Close();
      if (auto segment = Segment::OpenFile(path, &problem)) return segment;
    }
    write_failed_ = true;
  }
  *id = 0;
  return Segment::FromBytes(std::move(bytes), &problem);
}

void IndexUpdater::Merge() {
  // Tiered: kMergeFactor neighbours of like size (within 4x) become one, so a document is
  // rewritten about log8(n) times, whether segments come one message or one batch at a time.
  const auto& segs = view_->segments();
  for (bool again = true; again && !write_failed_;) {
    again = false;
    for (size_t i = 0; i < segs.size() && !again; ++i)
      if (segs[i].deleted_count * 2 > segs[i].segment->doc_count()) again = MergeRange(i, i + 1);
    for (size_t end = segs.size(); !again && end >= kMergeFactor; --end) {
      uint64_t low = UINT64_MAX, high = 0;
      for (size_t i = end - kMergeFactor; i < end; ++i) {
        low = std::min<uint64_t>(low, segs[i].live());
        high = std::max<uint64_t>(high, segs[i].live());
      }
      if (high <= 4 * std::max<uint64_t>(low, 1)) again = MergeRange(end - kMergeFactor, end);
    }
    if (!again && segs.size() > kMaxSegments) again = MergeRange(segs.size() - kMergeFactor, segs.size());
  }
}

bool IndexUpdater::MergeRange(size_t first, size_t last) {
  const auto& segs = view_->segments();
  SegmentBuilder b(segs[first].segment->base());
  std::vector<std::vector<uint32_t>> remap(last - first);
  for (size_t k = first; k < last; ++k) {
    const ViewSegment& v = segs[k];
    const Segment& s = *v.segment;
    remap[k - first].assign(s.doc_count(), kNoDoc);
    for (uint32_t i = 0; i < s.doc_count(); ++i) {
      if (v.IsDeleted(i)) continue;
      DocColumns c;
      c.folder = s.folder(i);
      c.id = s.id(i);
      c.received = s.received(i);
      c.sent = s.sent(i);
      c.size = s.size(i);
      c.checksum = s.checksum(i);
      c.attachments = s.attachments(i);
      remap[k - first][i] = b.AddDocument(c, s.StoredBytes(i));
    }
  }
  if (b.doc_count() == 0) {
    view_->ReplaceSegments(first, last, 0, nullptr);
    return true;
  }
  std::vector<uint32_t> positions;
  for (size_t k = first; k < last; ++k) {
    const Segment& s = *segs[k].segment;
    const auto& map = remap[k - first];
    for (uint32_t t = 0; t < s.term_count(); ++t) {
      const std::string_view name = s.TermAt(t);
      if (!name.empty() && name[0] == kTagPair) continue;  // Finish finds them again in the merged docs
      const uint32_t term = b.InternTerm(name);
      Postings p = s.PostingsAt(t);
      ForEachDoc(p, s.doc_count(), [&](uint32_t local) {
        const uint64_t bytes = p.positions.Varint();
        ByteReader r(p.positions.pos(), p.positions.pos() + std::min<uint64_t>(bytes, p.positions.remaining()));
        p.positions.Skip(bytes);
        positions.clear();
        uint32_t pos = 0;
        while (!r.at_end()) positions.push_back(pos += r.Varint32());
        if (local < map.size() && map[local] != kNoDoc) b.AddPostings(term, map[local], positions);
      });
    }
  }
  uint64_t id = 0;
  auto merged = Store(b.Finish(), &id);
  if (!merged) return false;
  view_->ReplaceSegments(first, last, id, merged);
  return true;
}

void IndexUpdater::Sweep(const std::string& dir, const Manifest& manifest) {
  std::unordered_set<std::string> keep;
  for (const auto& s : manifest.segments) keep.insert(Manifest::SegmentName(s.id));
  for (const auto& name : mailstore::ListDirectory(dir)) {
    const bool segment = name.rfind("seg-", 0) == 0 && name.size() > 4 &&
                         name.compare(name.size() - 4, 4, ".idx") == 0;
    if ((segment && !keep.count(name)) || name == "manifest.new")
      mailstore::RemoveFile(mailstore::JoinPath(dir, name));
  }
}

}  // namespace mailsearch
