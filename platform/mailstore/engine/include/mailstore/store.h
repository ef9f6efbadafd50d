// Store: one on-disk mail store, shared by every process and thread that
// opens the same directory.
//
// On disk:
//   store.lock    an empty file; whole-file locks order writers (exclusive)
//                 against readers that catch up (shared).
//   store.seq     a page mapped by every process: the journal's length after
//                 the last write, so that a reader learns "nothing changed"
//                 without a system call.
//   journal.dat   the index: an append-only sequence of checksummed entries,
//                 each holding the operations of one call. Replaying it gives
//                 the folders and message records, the Message-ID index and
//                 the change history. Compaction replaces it with a shorter
//                 journal.N.dat (a snapshot and the history it keeps), and
//                 journal.cur then names the current one.
//   messages.dat  message sources, appended and never rewritten in place,
//                 each a self-describing record with a checksum (the file
//                 runs ahead of the last source with zeros).
//
// A write appends the source (if any) and syncs it, then appends one journal
// entry and syncs it: the call is durable when it returns, and an entry torn
// by a crash is cut off by the next writer. Every call first catches up with
// entries other processes appended, so their changes are visible at once.
// Inside, Journal reads and appends entries, FolderModel is the state they
// give, DataFile holds the sources and WriteTransaction is one write.
//
// The Message-ID index: each stored source's Message-ID is read from its
// header when it is written and recorded in its entry; messages stored by
// versions that did not record it are indexed at the next compaction or
// recovery, which read their sources. Of several messages with one
// Message-ID the index gives the one stored last that still exists.
//
// The change history: every change an entry makes (a message added,
// removed or changed; a folder created, deleted, renamed or moved; a move of
// messages is a removal and an addition) takes the next store-wide sequence
// number, the same in every process and across reopening and compaction. A
// history id names the history; a new store and a recovered journal start
// a new one. Compaction keeps the last 10,000 changes or those of the last
// 30 days, whichever are more (SetHistorySpan); older ones are gone, and
// asking for them gives kHistoryGone.
//
// Threading: every public function may be called from any thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "mailstore/file.h"
#include "mailstore/store_types.h"

namespace mailstore {

class DataFile;
class FolderModel;
class Journal;
class WriteTransaction;

class Store {
 public:
  // Receives every change applied to this process's view, in journal order,
  // with the store's internal lock held: it must not call back into Store.
  using Listener = std::function<void(const Change&)>;

  ~Store();

  // Opens the store in |directory| (UTF-8). With |create|, a missing
  // directory or an empty store is created with the root and the five
  // special folders. Returns null with |status| set on failure; |report|
  // receives a one-line description of what failed or what was skipped.
  // kDamaged with a store: part of it cannot be read (journal entries
  // skipped, the data file cut short, sources the journal lost); the store
  // serves what it can read, and writes still go after every byte on disk.
  // kDamaged without one: the journal is unreadable or lost while the data
  // file holds mail (Recover rebuilds it). Writes to a store whose files
  // cannot be written give kReadOnly.
  static std::unique_ptr<Store> Open(const std::string& directory, bool create, Status* status,
                                     std::string* report = nullptr);

  // Verifies the store in |directory|: the journal, every source it names
  // (length and checksum) and the data file's records it does not name.
  // Appends one line per finding to |findings|. kOk when nothing was found,
  // kDamaged when something was; kNotFound or kIoError when the store cannot
  // be read at all. Takes the store's shared lock; changes nothing.
  static Status Check(const std::string& directory, std::vector<std::string>* findings);

  // The record fields of a source, for sources restored from the data file.
  using FieldsOf = std::function<MessageFields(const std::string& source)>;
  // Rebuilds the journal of the store in |directory| from what of it can be
  // read and from the data file's records: a source that no readable entry
  // names goes back into its folder (or, when that folder is lost, into a
  // new top-level folder "Recovered"), so no mail the data file holds is
  // lost; mail that readable entries removed stays removed. The new journal
  // is written beside the old one and then replaces it in one step; the old
  // one is kept as journal.damaged. Run it when no other process has the
  // store open (a damaged store is refused to clients anyway). |report|
  // gets a one-line summary. kOk; kReadOnly; kIoError; kNotFound.
  static Status Recover(const std::string& directory, const FieldsOf& fields, std::string* report);

  const std::string& directory() const { return directory_; }
  // Journal bytes skipped as damaged when they were read (0 on a sound store).
  uint64_t damaged_bytes() const;

  void SetListener(Listener listener);
  // With |each_call| false, writes are not flushed to disk until Flush():
  // for bulk loads that are complete only once Flush returns. Default true.
  void SetSyncEachCall(bool each_call);
  bool Flush();
  // Applies what other processes appended since the last call. Returns false
  // when the store's files cannot be read.
  bool Refresh();

  // Folders.
  Status GetFolder(uint32_t id, FolderInfo* info);
  uint32_t SpecialFolderId(int special);  // kInvalidId for an unknown type
  Status ListSubfolders(uint32_t parent, std::vector<FolderInfo>* out);
  Status CreateFolder(uint32_t parent, const std::string& name, uint32_t* id);
  Status RenameFolder(uint32_t id, const std::string& name);
  Status MoveFolder(uint32_t id, uint32_t new_parent);
  Status DeleteFolder(uint32_t id);  // the whole subtree and its messages

  // Messages.
  // Reserves the next id of |folder| for a later AddMessage. Reservations of
  // several writers may be stored in any order; each is used at most once.
  Status ReserveMessageId(uint32_t folder, uint32_t* id);
  // Stores |source| under |id| (a reserved id, or kInvalidId for a new one).
  // kInvalidArgument for an id never reserved or already used.
  Status AddMessage(uint32_t folder, uint32_t id, const std::string& source, uint32_t flags,
                    const MessageFields& fields, uint32_t* new_id);
  // Replaces the source and record fields of a stored message; keeps its id
  // and flags.
  Status ReplaceSource(uint32_t folder, uint32_t id, const std::string& source,
                       const MessageFields& fields);
  Status FindMessage(uint32_t folder, uint32_t id, MessageRecordPtr* record);
  // Records of |folder| with ids >= |first_id|, ascending.
  Status ListMessages(uint32_t folder, uint32_t first_id, std::vector<MessageRecordPtr>* out);
  // new = (old & ~mask) | (state & mask) for each id; unknown ids fail the
  // whole call before anything changes. |new_flags| may be null.
  Status SetFlags(uint32_t folder, const std::vector<uint32_t>& ids, uint32_t state,
                  uint32_t mask, std::vector<uint32_t>* new_flags);
  Status RemoveMessages(uint32_t folder, const std::vector<uint32_t>& ids);
  // Copies (or moves) to |target| under new ids; |clear_flags| are cleared on
  // the copies.
  Status CopyMessages(uint32_t source, uint32_t target, const std::vector<uint32_t>& ids,
                      bool move, uint32_t clear_flags, std::vector<uint32_t>* new_ids);
  // Deletes: moves into "Deleted Items", or removes for good when |folder| is
  // "Deleted Items".
  Status DeleteMessages(uint32_t folder, const std::vector<uint32_t>& ids);

  // Rewrites the data file without the space of mail deleted for good: the
  // live sources go into a new data file, then one journal entry switches
  // the store to it, so a crash before that entry leaves the old store
  // whole and one after it the new. Holds the store's writer lock meanwhile
  // (other processes' writes wait); other processes follow the switch on
  // their next call, and records they hold from before it no longer read
  // (ReadSource gives -1): they list the messages again. An old data file
  // that cannot be removed then (held open without delete sharing, or the
  // process died) goes at a later compaction or writable open. Runs by itself
  // when a delete leaves more than half of a data file of at least
  // kAutoCompactBytes dead. kOk; kDamaged when a live source cannot be read
  // whole (nothing is changed: recover first); kReadOnly; kIoError.
  Status Compact(std::string* report = nullptr);
  static constexpr uint64_t kAutoCompactBytes = 4u << 20;

  // The message stored last of those whose Message-ID is |message_id|
  // (angle brackets and white space are ignored): kOk with its folder and
  // id; kNotFound when none is; kIoError when the store cannot be read.
  Status FindMessageId(std::string_view message_id, uint32_t* folder, uint32_t* id);
  // The history's id and the sequence number of its newest change (0 when
  // none). kOk; kIoError when the store cannot be read.
  Status GetHistory(HistoryId* id, uint64_t* cursor);
  // Replaces |out| with up to |max| changes with sequence numbers above
  // |after|, oldest first (none when |after| is at or past the newest).
  // kOk; kHistoryGone when changes after |after| are no longer kept;
  // kIoError when the store cannot be read.
  Status GetChanges(uint64_t after, size_t max, std::vector<HistoryChange>* out);
  // What compaction in this process keeps of the history: the last
  // |changes| changes, or all of the last |days| days when those are more.
  struct HistorySpan {
    uint64_t changes = 10000;
    uint64_t days = 30;
  };
  void SetHistorySpan(const HistorySpan& span);

  // Reads source bytes of a record (from ListMessages/FindMessage); -1 when
  // the data file no longer holds them, or (for a read of the whole source)
  // when they are not the bytes stored.
  int64_t ReadSource(const MessageRecord& record, uint64_t at, void* buffer, size_t size) const;

  // Reads one source front to back through a file handle of its own: for
  // streaming large sources. Used by one thread at a time.
  class SourceReader {
   public:
    // False when the store's data file cannot be opened.
    bool Open(const Store& store, MessageRecordPtr record);
    int64_t ReadAt(uint64_t at, void* buffer, size_t size);

   private:
    File file_;
    MessageRecordPtr record_;
    uint64_t cursor_ = ~0ull;  // file position, when known
    uint64_t checked_upto_ = 0;  // source bytes read front to back so far
    uint32_t crc_ = 0;           // their checksum
  };

 private:
  Store();
  // The jobs of Open (store_open.cpp). Each gives kOk, or the status Open fails with and |why|.
  // The lock file and the journal, for writing when they can be (writable_), else for reading.
  Status OpenFiles(std::string* why);
  // Under both locks: the journal's entries, the data file they name, and a new store's special
  // folders (with |create|) or an old store's first history entry.
  Status LoadUnderLock(bool create, std::string* why);
  Status StartNewStore(bool create, std::string* why);
  Status StartHistory(std::string* why);
  // What the open found it could not read, one clause each; empty when nothing.
  std::string DamageFound() const;
  // Starts a write: see WriteTransaction.
  WriteTransaction BeginWrite();
  // Writes a source as a record where the next one goes, under a write
  // transaction; gives the source's offset and checksum.
  Status WriteSource(uint32_t folder, uint32_t id, uint32_t flags, uint64_t received,
                     const std::string& source, uint64_t* offset, uint32_t* checksum);
  // Compact() under |tx|; CompactIfDue compacts when a delete left more
  // than half of the data file dead, and returns |committed| either way.
  Status CompactLocked(WriteTransaction& tx, std::string* report);
  Status CompactIfDue(WriteTransaction& tx, Status committed);
  // Where the next record goes: past every byte an entry may name.
  uint64_t WritePosition();
  // The sequence number after which compaction keeps the history.
  uint64_t HistoryKeptFrom() const;

  std::string directory_;
  std::mutex mutex_;  // orders this process's threads over everything below
  File lock_file_;    // store.lock
  std::unique_ptr<Journal> journal_;
  // Opens the data file of the model's generation when it is not the one
  // open (always with |first|). False when it cannot be opened. Under mutex_.
  bool FollowGeneration(bool first);
  // The data file, for readers that hold no lock.
  std::shared_ptr<DataFile> Data() const;

  std::shared_ptr<DataFile> data_;  // replaced under mutex_; read through Data() without it
  std::unique_ptr<FolderModel> model_;
  bool sync_each_call_ = true;
  HistorySpan history_span_;
  bool writable_ = false;
  uint64_t unnamed_records_ = 0;  // sources past the journal's last, when opened
  int64_t data_size_seen_ = -1;   // the data file's size and end of data when last looked at
  int64_t data_end_seen_ = 0;
};

}  // namespace mailstore
