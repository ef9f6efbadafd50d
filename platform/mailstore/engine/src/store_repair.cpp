// Store::Check and Store::Recover: the store's files read without the model
// of a live store, for the maintenance commands.
#include <algorithm>
#include <deque>
#include <set>

#include "crc32.h"
#include "data_file.h"
#include "file_lock.h"
#include "folder_model.h"
#include "journal.h"
#include "mailstore/store.h"
#include "message_id.h"
#include "write_transaction.h"

namespace mailstore {
namespace {

// Replays into a model and notes every source offset an applied entry
// named, so that the data file's records no entry names (or none that
// could be applied: its folder's entry was lost) can be told apart.
class NamingSink final : public OpSink {
 public:
  explicit NamingSink(FolderModel& model) : model_(model) {}
  std::set<uint64_t> named;

  void Apply(const FolderCreateOp& op) override { model_.Apply(op); }
  void Apply(const FolderRenameOp& op) override { model_.Apply(op); }
  void Apply(const FolderMoveOp& op) override { model_.Apply(op); }
  void Apply(const FolderDeleteOp& op) override { model_.Apply(op); }
  void Apply(const ReserveIdOp& op) override { model_.Apply(op); }
  void Apply(const AddMessageOp& op) override {
    model_.Apply(op);
    Took(op.folder, op.id, op.offset);
  }
  void Apply(const ReplaceSourceOp& op) override {
    model_.Apply(op);
    Took(op.folder, op.id, op.offset);
  }
  void Apply(const SetFlagsOp& op) override { model_.Apply(op); }
  void Apply(const RemoveMessagesOp& op) override { model_.Apply(op); }
  void Apply(const SnapshotOp& op) override {
    named.clear();  // the sources are in a new data file now
    model_.Apply(op);
  }
  void Apply(const SnapshotEndOp& op) override { model_.Apply(op); }
  void Apply(const NextMessageIdOp& op) override { model_.Apply(op); }
  void Apply(const MessageIdOp& op) override { model_.Apply(op); }
  void Apply(const EntryTimeOp& op) override { model_.Apply(op); }
  void Apply(const HistoryOp& op) override { model_.Apply(op); }
  void Apply(const KeptChangeOp& op) override { model_.Apply(op); }

 private:
  void Took(uint32_t folder, uint32_t id, uint64_t offset) {
    const FolderModel::Folder* f = model_.Find(folder);
    const MessageRecordPtr* r = f ? f->Find(id) : nullptr;
    if (r && (*r)->offset == offset) named.insert(offset);
  }
  FolderModel& model_;
};

// The store's files, opened for reading (Recover writes its new journal
// through a file of its own) under the store's lock.
struct StoreFiles {
  File lock_file;
  Journal journal;
  DataFile data;
  FolderModel model;
  NamingSink sink{model};
  bool have_journal = false;
  bool have_data = false;

  Status Open(const std::string& directory, bool exclusive) {
    if (!DirectoryExists(directory)) return Status::kNotFound;
    const std::string lock_path = JoinPath(directory, "store.lock");
    if (!(exclusive ? lock_file.Open(lock_path, File::Mode::kReadWrite)
                    : lock_file.Open(lock_path, File::Mode::kRead)))
      return exclusive ? Status::kReadOnly : Status::kIoError;
    directory_ = directory;
    have_journal = journal.Open(directory, File::Mode::kRead);
    return Status::kOk;
  }
  // Replays the journal, then opens the data file it names. When there is no
  // journal, or it lost its first entry (the snapshot), or it names a data
  // file that is gone, or an empty one, the newest data file that holds mail has
  // what the last compaction kept and everything stored after it: the model
  // starts anew from it. False when the journal cannot be read.
  bool Load() {
    if (have_journal && !journal.CatchUp(false, sink)) return false;
    const uint32_t named = model.generation();
    have_data = have_journal && !journal.lost_start() && data.Open(directory_, File::Mode::kRead, named) &&
                (!model.empty() || data.FreeFrom(0) != 0);
    uint32_t newest = 0;
    if (!have_data && DataFile::NewestHoldingMail(directory_, &newest)) {
      sink.Apply(SnapshotOp{newest});  // what the journal named so far is no guide to that file
      sink.Apply(SnapshotEndOp{});
    }
    if (!have_data) have_data = data.Open(directory_, File::Mode::kRead, model.generation());
    return true;
  }

 private:
  std::string directory_;
};

// Checks the bytes of one source and the Message-ID the index has for it;
// empty when sound, else what is wrong.
std::string SourceProblem(const DataFile& data, const MessageRecord& r) {
  std::string buffer(std::min<size_t>(r.size, 1u << 20), '\0');
  std::string message_id;
  uint32_t crc = 0;
  for (uint64_t done = 0; done < r.size;) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(buffer.size(), r.size - done));
    if (data.ReadAt(r.offset + done, &buffer[0], n) != static_cast<int64_t>(n))
      return "its source is cut short (the data file ends inside it)";
    crc = Crc32(reinterpret_cast<const uint8_t*>(buffer.data()), n, crc);
    if (done == 0) message_id = MessageIdOf(std::string_view(buffer.data(), n));
    done += n;
  }
  if (r.checked && crc != r.checksum) return "its source does not match its checksum";
  // A message stored before the index was kept has none yet (compaction gives it one).
  if (!r.message_id().empty() && message_id != r.message_id())
    return "the index has Message-ID '" + std::string(r.message_id()) + "' for it, its header '" + message_id + "'";
  return "";
}

std::string Named(const FolderModel::Folder& f) {
  return "folder " + std::to_string(f.id) + " '" + f.name + "'";
}

}  // namespace

Status Store::Check(const std::string& directory, std::vector<std::string>* findings) {
  StoreFiles files;
  if (Status s = files.Open(directory, false); s != Status::kOk) return s;
  FileLock lock(files.lock_file, false);
  const size_t before = findings->size();
  auto add = [&](const std::string& line) { findings->push_back(line); };
  const std::string journal_path = files.journal.path();
  if (!files.Load()) return Status::kIoError;
  const std::string data_path = files.data.path();
  if (files.journal.pointer_damaged())
    add("journal.cur: missing or damaged; " + journal_path + " was read instead");
  if (!files.have_journal) {
    add(journal_path + ": missing");
  } else {
    for (const auto& [at, length] : files.journal.damage())
      add(journal_path + ": " + std::to_string(length) + " bytes at offset " + std::to_string(at) +
          " are not a readable entry");
    if (files.journal.scanned() > files.journal.applied())
      add(journal_path + ": the last " + std::to_string(files.journal.scanned() - files.journal.applied()) +
          " bytes are not a complete entry");
    if (files.model.SpecialFolderId(0) == kInvalidId) add(journal_path + ": the special folders are missing");
    uint64_t last = files.model.kept_from();
    for (const HistoryChange& c : files.model.changes()) {
      if (c.sequence <= last) {
        add(journal_path + ": change " + std::to_string(c.sequence) + " of the history is out of order");
        break;
      }
      last = c.sequence;
    }
  }
  if (!files.have_data) {
    if (files.model.data_end()) add(data_path + ": missing");
    return findings->size() == before ? Status::kOk : Status::kDamaged;
  }
  const int64_t size = files.data.Size();
  if (size < 0 || static_cast<uint64_t>(size) < files.model.data_end())
    add(data_path + ": cut short at " + std::to_string(size) + " bytes; the journal names bytes up to " +
        std::to_string(files.model.data_end()));
  files.model.ForEachFolder([&](const FolderModel::Folder& f) {
    for (const auto& r : f.messages)
      if (std::string problem = SourceProblem(files.data, *r); !problem.empty())
        add("message " + std::to_string(r->id) + " in " + Named(f) + ": " + problem);
  });
  files.data.ForEachRecord([&](uint64_t at, const DataRecordHeader& h) {
    if (!files.sink.named.count(at + DataRecordHeader::kSize))
      add(data_path + ": the source of message " + std::to_string(h.id) + " of folder " +
          std::to_string(h.folder) + " at offset " + std::to_string(at) +
          " is in no journal entry ('mxstore recover' restores it)");
  });
  return findings->size() == before ? Status::kOk : Status::kDamaged;
}

Status Store::Recover(const std::string& directory, const FieldsOf& fields, std::string* report) {
  StoreFiles files;
  if (Status s = files.Open(directory, true); s != Status::kOk) return s;
  FileLock lock(files.lock_file, true);
  if (!lock.locked()) return Status::kIoError;
  if (!files.Load()) return Status::kIoError;
  FolderModel& model = files.model;

  static const char* const kSpecialNames[kSpecialCount] = {"Inbox", "Outbox", "Sent Items",
                                                           "Deleted Items", "Drafts"};
  for (int i = 0; i < kSpecialCount; ++i) {
    if (model.SpecialFolderId(i) != kInvalidId) continue;
    const uint32_t id = model.Find(static_cast<uint32_t>(i + 1)) ? model.next_folder_id() : i + 1;
    model.Apply(FolderCreateOp{id, kRootFolderId, i, kSpecialNames[i]});
  }

  // Sources no readable entry names go back where their records say.
  uint32_t recovered_folder = kInvalidId;
  size_t restored = 0, unsound = 0;
  if (files.have_data) {
    files.data.ForEachRecord([&](uint64_t at, const DataRecordHeader& h) {
      const uint64_t offset = at + DataRecordHeader::kSize;
      if (files.sink.named.count(offset)) return;
      std::string source(h.size, '\0');
      if (files.data.ReadAt(offset, &source[0], h.size) != static_cast<int64_t>(h.size)) return;
      if (Crc32(reinterpret_cast<const uint8_t*>(source.data()), source.size()) != h.checksum) ++unsound;
      uint32_t folder = h.folder;
      if (folder == kRootFolderId || !model.Find(folder)) {
        if (recovered_folder == kInvalidId) {
          recovered_folder = model.next_folder_id();
          std::string name = "Recovered";
          for (int n = 2; model.NameTaken(kRootFolderId, name, kInvalidId); ++n)
            name = "Recovered " + std::to_string(n);
          model.Apply(FolderCreateOp{recovered_folder, kRootFolderId, kNotSpecial, name});
        }
        folder = recovered_folder;
      }
      const FolderModel::Folder* f = model.Find(folder);
      const MessageFields mf = fields(source);
      AddFramedMessageOp op;
      op.folder = folder;
      op.id = f->IdFree(h.id) ? h.id : f->next_message_id;
      op.flags = h.flags;
      op.size = h.size;
      op.received_time = h.received_time;
      op.offset = offset;
      op.checksum = h.checksum;
      op.text = RecordText(mf);
      model.Apply(op);
      ++restored;
    });
  }

  // The model as a fresh journal of one entry: a new history, and every
  // source's Message-ID read again.
  EntryEncoder e;
  Encode(EntryTimeOp{NowTicks()}, e);
  Encode(SnapshotOp{model.generation()}, e);
  Encode(HistoryOp{NewHistoryId(), model.sequence(), model.sequence()}, e);
  std::deque<std::string> read_ids;  // the views the encoding takes
  model.EncodeAll(e, [&](const MessageRecord& r, AddMessageOp& op) {
    if (!op.framed || !files.have_data) return;
    std::string head(std::min<size_t>(r.size, 64u << 10), '\0');
    const int64_t got = files.data.ReadAt(r.offset, &head[0], head.size());
    head.resize(got > 0 ? static_cast<size_t>(got) : 0);
    read_ids.push_back(MessageIdOf(head));
    op.message_id = read_ids.back();
  });
  Encode(SnapshotEndOp{}, e);
  size_t folders = 0, messages = 0;
  model.ForEachFolder([&](const FolderModel::Folder& f) {
    ++folders;
    messages += f.messages.size();
  });
  const uint32_t generation = files.journal.generation() + 1;
  const std::string journal_path = JoinPath(directory, Journal::Name(generation));
  // The damaged journal is kept as it was, then the new one takes its place.
  if (files.have_journal) {
    File kept;
    const int64_t size = files.journal.Size();
    std::string bytes(static_cast<size_t>(std::max<int64_t>(size, 0)), '\0');
    if (size < 0 || files.journal.ReadAt(0, &bytes[0], bytes.size()) != size ||
        !kept.Open(JoinPath(directory, "journal.damaged"), File::Mode::kReadWrite) || !kept.Truncate(0) ||
        !kept.WriteAt(0, bytes.data(), bytes.size()) || !kept.Sync())
      return Status::kIoError;
  }
  files.journal.Close();
  if (!Journal::Replace(directory, generation, e.payload())) return Status::kIoError;
  if (report)
    *report = "rebuilt " + journal_path + ": " + std::to_string(folders) + " folders, " +
              std::to_string(messages) + " messages, " + std::to_string(restored) +
              " of them restored from the data file" +
              (unsound ? " (" + std::to_string(unsound) + " with sources that fail their checksum)" : "") +
              (files.have_journal ? "; the old journal is kept as journal.damaged" : "");
  return Status::kOk;
}

}  // namespace mailstore
