#include "journal.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <memory>

#include "crc32.h"
#include "entry_decoder.h"
#include "entry_encoder.h"

namespace mailstore {
namespace {

constexpr uint32_t kEntryMagic = 0x314A4B50;  // "PKJ1"
constexpr size_t kEntryHeaderSize = 12;
constexpr uint32_t kMaxEntryPayload = 64u << 20;
constexpr size_t kCounterSize = 4096;

// The size of the complete entry with a valid checksum at |p| of |buf|, or 0.
size_t EntryAt(const uint8_t* buf, size_t size, size_t p) {
  if (size - p < kEntryHeaderSize) return 0;
  if (LoadU32(buf + p) != kEntryMagic) return 0;
  uint32_t len = LoadU32(buf + p + 4);
  if (len > kMaxEntryPayload || size - p - kEntryHeaderSize < len) return 0;
  if (Crc32(buf + p + kEntryHeaderSize, len) != LoadU32(buf + p + 8)) return 0;
  return kEntryHeaderSize + len;
}

// Is the entry at |p| (of |size| bytes, header included) a switch to the
// journal of a later generation? Gives that generation.
bool SwitchEntry(const uint8_t* p, size_t size, uint32_t* generation) {
  if (size != kEntryHeaderSize + 5 || p[kEntryHeaderSize] != JournalSwitchOp::kCode) return false;
  *generation = LoadU32(p + kEntryHeaderSize + 1);
  return true;
}

constexpr char kPointerName[] = "journal.cur";

// The generation journal.cur names, as WritePointer wrote it; false when it is missing or unreadable.
bool ReadPointer(const std::string& directory, uint32_t* generation) {
  File f;
  char text[16] = {};
  if (!f.Open(JoinPath(directory, kPointerName), File::Mode::kRead)) return false;
  const int64_t n = f.ReadAt(0, text, sizeof(text) - 1);
  char* end = nullptr;
  *generation = static_cast<uint32_t>(std::strtoul(text, &end, 10));
  return n > 1 && std::isdigit(static_cast<unsigned char>(text[0])) && end == text + n - 1 && *end == '\n';
}

// The generation of the oldest journal in |directory|; 0 when there is none.
uint32_t OldestJournal(const std::string& directory) {
  const std::vector<uint32_t> journals = StoreFile::Generations(directory, &Journal::Name);
  return journals.empty() ? 0 : journals.front();
}

// The generation of the current journal to read from: the one journal.cur names or, without a
// readable journal.cur, the oldest journal in |directory| (none: 0), whose switch entry, if it was
// committed, leads on to the next. |unnamed| then says whether that is damage: journal.cur is there
// but unreadable, or journal.dat is gone (only a compaction removes it, after naming the next).
uint32_t CurrentGeneration(const std::string& directory, bool* unnamed = nullptr) {
  uint32_t named = 0;
  if (unnamed) *unnamed = false;
  if (ReadPointer(directory, &named)) return named;
  const uint32_t oldest = OldestJournal(directory);
  File pointer;
  if (unnamed) *unnamed = pointer.Open(JoinPath(directory, kPointerName), File::Mode::kRead) || oldest != 0;
  return oldest;
}

bool WritePointer(const std::string& directory, uint32_t generation) {
  const std::string path = JoinPath(directory, kPointerName), fresh = path + ".new";
  const std::string text = std::to_string(generation) + "\n";
  File f;
  if (!f.Open(fresh, File::Mode::kReadWrite) || !f.Truncate(0) || !f.WriteAt(0, text.data(), text.size()) ||
      !f.Sync())
    return false;
  f.Close();
  if (!RenameOver(fresh, path)) return false;
  SyncDirectory(directory);
  return true;
}

// Writes journal |name| in |directory| as the one entry |payload|, synced.
bool WriteWhole(const std::string& directory, const std::string& name, std::string_view payload) {
  const std::string path = JoinPath(directory, name);
  const std::string entry = Journal::Frame(payload);
  File f;
  if (f.Open(path, File::Mode::kReadWrite) && f.Truncate(0) && f.WriteAt(0, entry.data(), entry.size()) &&
      f.Sync()) {
    SyncDirectory(directory);
    return true;
  }
  f.Close();
  RemoveFile(path);
  return false;
}

// Are the |rest| bytes at |p| the start of one entry that was never finished?
bool TornEntry(const uint8_t* p, size_t rest) {
  static const uint8_t kMagicBytes[4] = {'P', 'K', 'J', '1'};
  if (rest < 4) return std::equal(p, p + rest, kMagicBytes);
  if (LoadU32(p) != kEntryMagic) return false;
  if (rest < kEntryHeaderSize) return true;
  uint32_t len = LoadU32(p + 4);
  // All of its bytes there but a checksum that fails is damage, not a write
  // cut short: it is kept and reported.
  return len <= kMaxEntryPayload && rest < kEntryHeaderSize + len;
}

}  // namespace

bool Journal::Open(const std::string& directory, File::Mode mode) {
  directory_ = directory;
  mode_ = mode;
  auto take = [&](uint32_t generation) {
    File file;
    generation_ = generation;
    if (!OpenGeneration(file, generation)) return false;
    Adopt(std::move(file), JoinPath(directory, Name(generation)));
    return true;
  };
  // A compaction may remove the journal journal.cur named a moment ago: ask again.
  for (int attempt = 0; attempt < 5; ++attempt) {
    if (take(CurrentGeneration(directory, &pointer_damaged_))) return true;
    if (CurrentGeneration(directory) == generation_) break;
  }
  // journal.cur names a journal that is gone: the oldest one there is, or a new journal.dat.
  if (const uint32_t oldest = OldestJournal(directory); oldest != generation_) {
    pointer_damaged_ = true;
    if (take(oldest)) return true;
  }
  Adopt(File(), JoinPath(directory, Name(generation_)));  // for its path in a report
  return false;
}

bool Journal::OpenGeneration(File& file, uint32_t generation) const {
  const std::string path = JoinPath(directory_, Name(generation));
  if (generation != 0 && mode_ == File::Mode::kReadWrite && !file.Open(path, File::Mode::kRead)) return false;
  file.Close();
  return file.Open(path, mode_);
}

bool Journal::Follow(uint32_t generation, bool exclusive) {
  File file;
  if (!OpenGeneration(file, generation)) {
    generation = CurrentGeneration(directory_);
    if (generation <= generation_ || !OpenGeneration(file, generation)) return false;
  }
  const std::string old_path = path();
  const uint32_t old_generation = generation_;
  generation_ = generation;
  Adopt(std::move(file), JoinPath(directory_, Name(generation)));
  applied_ = scanned_ = 0;
  damaged_bytes_ = 0;
  damage_.clear();
  if (exclusive && mode_ == File::Mode::kReadWrite) {
    uint32_t named = 0;
    if (!ReadPointer(directory_, &named) || named < generation) WritePointer(directory_, generation);
    if (old_generation < generation) RemoveFile(old_path);
  }
  return true;
}

Status Journal::Switch(std::string_view payload, OpSink& sink) {
  const uint32_t next = generation_ + 1;
  if (!WriteWhole(directory_, Name(next), payload)) return Status::kIoError;
  EntryEncoder seal;
  Encode(JournalSwitchOp{next}, seal);
  const std::string entry = Frame(seal.payload());
  const int64_t size = file_.Size();
  if (size < 0 || static_cast<uint64_t>(size) < applied_ ||
      !file_.WriteAt(static_cast<uint64_t>(size), entry.data(), entry.size()) || !file_.Sync()) {
    if (size >= 0) file_.Truncate(static_cast<uint64_t>(size));
    RemoveFile(JoinPath(directory_, Name(next)));
    return Status::kIoError;
  }
  // Committed: the store is the new journal's now. Should following it fail
  // here, the next catch-up meets the switch entry and tries again.
  if (Follow(next, true)) CatchUp(true, sink);
  return Status::kOk;
}

bool Journal::Replace(const std::string& directory, uint32_t generation, std::string_view payload) {
  if (!WriteWhole(directory, Name(generation), payload) || !WritePointer(directory, generation)) return false;
  if (generation > 0) RemoveFile(JoinPath(directory, Name(generation - 1)));
  return true;
}

std::string Journal::Frame(std::string_view payload) {
  std::string out;
  out.reserve(kEntryHeaderSize + payload.size());
  auto put = [&out](uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(v >> (8 * i)));
  };
  put(kEntryMagic);
  put(static_cast<uint32_t>(payload.size()));
  put(Crc32(reinterpret_cast<const uint8_t*>(payload.data()), payload.size()));
  out += payload;
  return out;
}

void Journal::MapCounter(const std::string& directory, bool writable) {
  // Memory of its own where the platform has it: a view of store.seq dies
  // with a fault when another program cuts the file short.
  if ((counter_ = static_cast<std::atomic<uint64_t>*>(
           counter_file_.MapSharedMemoryFor(JoinPath(directory, "store.seq"), kCounterSize)))) {
    counter_writable_ = writable;
    return;
  }
  if (!counter_file_.Open(JoinPath(directory, "store.seq"), writable ? File::Mode::kReadWrite
                                                                       : File::Mode::kRead))
    return;
  int64_t size = counter_file_.Size();
  if (size >= 0 && static_cast<uint64_t>(size) < kCounterSize && writable)
    size = counter_file_.Truncate(kCounterSize) ? static_cast<int64_t>(kCounterSize) : size;
  if (size >= static_cast<int64_t>(kCounterSize)) {
    counter_ = static_cast<std::atomic<uint64_t>*>(counter_file_.MapShared(kCounterSize, writable));
    counter_writable_ = writable;
  }
}

Journal::Freshness Journal::Check() const {
  if (counter_ && counter_->load(std::memory_order_acquire) == Stamp()) return Freshness::kCurrent;
  int64_t size = file_.Size();
  if (size < 0) return Freshness::kUnreadable;
  return static_cast<uint64_t>(size) == scanned_ ? Freshness::kCurrent : Freshness::kBehind;
}

bool Journal::CatchUp(bool exclusive, OpSink& sink) {
  uint32_t next = 0;  // the generation a switch entry leads to
  int64_t size = file_.Size();
  if (size < 0) return false;
  const uint64_t end = static_cast<uint64_t>(size);
  if (end < scanned_) return false;  // cut short under us: nothing read may be trusted to follow
  if (end <= applied_) return true;
  // Uninitialised on purpose: opening a large store reads megabytes here.
  const size_t want = static_cast<size_t>(end - applied_);
  std::unique_ptr<uint8_t[]> storage(new uint8_t[want]);
  int64_t got = file_.ReadAt(applied_, storage.get(), want);
  if (got < 0) return false;
  const uint8_t* buf = storage.get();
  size_t n = static_cast<size_t>(got);

  size_t p = 0;
  while (p < n) {
    size_t entry = EntryAt(buf, n, p);
    if (entry == 0) {
      // Damage in the middle is skipped; anything after the last good entry
      // is a write that never completed.
      size_t q = p + 1;
      while (q < n && !EntryAt(buf, n, q)) ++q;
      if (q >= n) break;
      damaged_bytes_ += q - p;
      damage_.emplace_back(applied_ + p, q - p);
      p = q;
      continue;
    }
    if (SwitchEntry(buf + p, entry, &next) && next > generation_) {
      p = n;  // nothing after it counts
      break;
    }
    DecodeOps(buf + p + kEntryHeaderSize, entry - kEntryHeaderSize, sink);
    p += entry;
  }
  if (next > generation_) return Follow(next, exclusive) && CatchUp(exclusive, sink);
  // A writer that died mid-append leaves one incomplete entry: cut it so the
  // next entry follows the last complete one. Anything else that does not
  // read as entries is left alone (never destroy what might be data); later
  // entries are appended after it and readers skip it.
  if (p < n && exclusive && TornEntry(buf + p, n - p)) {
    if (!file_.Truncate(applied_ + p)) return false;
    n = p;
  }
  applied_ += p;
  scanned_ = applied_ + (n - p);
  if (exclusive) Publish();
  return true;
}

Status Journal::Append(std::string_view payload, bool sync, OpSink& sink) {
  int64_t size = file_.Size();
  if (size < 0 || static_cast<uint64_t>(size) < applied_) return Status::kIoError;
  const uint64_t end = static_cast<uint64_t>(size);
  const std::string entry = Frame(payload);
  if (!file_.WriteAt(end, entry.data(), entry.size()) || (sync && !file_.Sync())) {
    // Leave no half entry behind for the next reader to puzzle over.
    file_.Truncate(end);
    return Status::kIoError;
  }
  DecodeOps(reinterpret_cast<const uint8_t*>(payload.data()), payload.size(), sink);
  if (end > applied_) {  // unreadable bytes before the new entry
    damaged_bytes_ += end - applied_;
    damage_.emplace_back(applied_, end - applied_);
  }
  applied_ = scanned_ = end + entry.size();
  Publish();
  return Status::kOk;
}

void Journal::Publish() {
  if (counter_ && counter_writable_) counter_->store(Stamp(), std::memory_order_release);
}

}  // namespace mailstore
