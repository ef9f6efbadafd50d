// FolderModel: the folders and message records that replaying the journal
// gives, in memory. Every change comes through one Apply per journal
// operation, the same whether the entry is replayed or was just written;
// Apply leaves alone an operation that does not fit the current state (an
// unknown folder, an id out of order), so any sequence of entries replays.
//
// It also keeps the Message-ID index (Message-ID -> the messages that hold
// it, oldest first) and the change history: each change an operation makes
// outside a snapshot takes the next sequence number, so every process that
// replays the same journal numbers the same changes alike.
//
// Not thread-safe: the store's lock guards it.
#pragma once

#include <algorithm>
#include <deque>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "journal_ops.h"
#include "mailstore/store_types.h"

namespace mailstore {

class FolderModel final : public OpSink {
 public:
  struct Folder {
    uint32_t id = kRootFolderId;
    uint32_t parent = kInvalidId;
    int special = kNotSpecial;
    std::string name;
    uint32_t next_message_id = 1;
    uint32_t unread = 0;
    std::vector<uint32_t> children;          // creation (or move-in) order
    std::vector<MessageRecordPtr> messages;  // ascending id
    std::vector<uint32_t> ids;               // messages[i]->id, searched without touching records
    // Ids reserved and not yet stored, ascending. Writers commit in any
    // order, so a reservation stays usable after later ids are stored.
    std::vector<uint32_t> reserved;

    // Is |msg| an id a new message may take: reserved and unused, or never handed out?
    bool IdFree(uint32_t msg) const {
      return msg >= next_message_id || std::binary_search(reserved.begin(), reserved.end(), msg);
    }

    // The record of |msg|, or null.
    const MessageRecordPtr* Find(uint32_t msg) const;
    MessageRecordPtr* Find(uint32_t msg);
    // Index of the first message with an id >= |msg|.
    size_t LowerBound(uint32_t msg) const {
      return static_cast<size_t>(std::lower_bound(ids.begin(), ids.end(), msg) - ids.begin());
    }
    FolderInfo Info() const;
  };

  // Receives each change as it is applied.
  using Listener = std::function<void(const Change&)>;

  FolderModel();  // the root folder alone

  void SetListener(Listener listener) { listener_ = std::move(listener); }

  void Apply(const FolderCreateOp& op) override;
  void Apply(const FolderRenameOp& op) override;
  void Apply(const FolderMoveOp& op) override;
  void Apply(const FolderDeleteOp& op) override;
  void Apply(const ReserveIdOp& op) override;
  void Apply(const AddMessageOp& op) override;
  void Apply(const ReplaceSourceOp& op) override;
  void Apply(const SetFlagsOp& op) override;
  void Apply(const RemoveMessagesOp& op) override;
  void Apply(const SnapshotOp& op) override;
  void Apply(const SnapshotEndOp& op) override;
  void Apply(const NextMessageIdOp& op) override;
  void Apply(const MessageIdOp& op) override;
  void Apply(const EntryTimeOp& op) override { entry_time_ = op.time; }
  void Apply(const HistoryOp& op) override;
  void Apply(const KeptChangeOp& op) override;

  // Appends to |e| the operations that build this state from nothing: every
  // folder, then each folder's messages with its open reservations and next
  // id, then the order of messages that share a Message-ID. |place| may move
  // a message's source (offset, framed, checksum) and give its Message-ID
  // (the view must outlive the encoding).
  void EncodeAll(EntryEncoder& e, const std::function<void(const MessageRecord&, AddMessageOp&)>& place) const;
  // Appends a HistoryOp that keeps the changes after |kept_from| (at least
  // the history's own start), and those changes.
  void EncodeHistory(EntryEncoder& e, uint64_t kept_from) const;

  // The message stored last of those that hold |message_id|: false when none does.
  bool FindMessageId(const std::string& message_id, uint32_t* folder, uint32_t* id) const;
  const HistoryId& history_id() const { return history_id_; }
  // The newest change's sequence number (0 when none).
  uint64_t sequence() const { return sequence_; }
  // Changes after this one are all in changes(); those up to it are gone.
  uint64_t kept_from() const { return kept_from_; }
  const std::deque<HistoryChange>& changes() const { return changes_; }

  const Folder* Find(uint32_t id) const;
  // Calls |each|(folder) for every folder but the root, parents before their children.
  template <class F>
  void ForEachFolder(F each) const {
    std::vector<uint32_t> pending = Find(kRootFolderId)->children;
    for (size_t i = 0; i < pending.size(); ++i) {
      const Folder* f = Find(pending[i]);
      if (!f) continue;
      each(*f);
      pending.insert(pending.end(), f->children.begin(), f->children.end());
    }
  }
  // Holds the root alone: nothing was ever applied.
  bool empty() const { return folders_.size() == 1; }
  // The id of the folder of special type |special|, or kInvalidId.
  uint32_t SpecialFolderId(int special) const;
  // Does a child of |parent| other than |except| have |name|, ignoring ASCII case?
  bool NameTaken(uint32_t parent, std::string_view name, uint32_t except) const;
  // Is |ancestor| the folder |id| or above it?
  bool IsDescendant(uint32_t id, uint32_t ancestor) const;
  uint32_t next_folder_id() const { return next_folder_id_; }
  // The end of the last source any entry refers to: where the next one goes.
  uint64_t data_end() const { return data_end_; }
  // The data file the sources are in (see SnapshotOp).
  uint32_t generation() const { return generation_; }
  // Bytes of the data file that sources of stored messages take, each
  // shared source once and with its record header.
  uint64_t LiveBytes() const;

 private:
  Folder* FindMutable(uint32_t id);
  void Notify(const Change& change);
  void Record(HistoryKind kind, uint32_t folder, uint32_t message = kInvalidId);
  void Index(std::string_view message_id, uint32_t folder, uint32_t id);
  void Unindex(std::string_view message_id, uint32_t folder, uint32_t id);

  std::unordered_map<uint32_t, std::unique_ptr<Folder>> folders_;
  uint32_t next_folder_id_ = 1;
  uint64_t data_end_ = 0;
  uint32_t generation_ = 0;
  bool in_snapshot_ = false;  // between SnapshotOp and SnapshotEndOp: nothing is reported
  Listener listener_;
  // Message-ID -> (folder, id) of the messages holding it, the last stored last.
  std::unordered_map<std::string, std::vector<std::pair<uint32_t, uint32_t>>> index_;
  HistoryId history_id_;
  uint64_t sequence_ = 0;
  uint64_t kept_from_ = 0;
  std::deque<HistoryChange> changes_;
  uint64_t entry_time_ = 0;  // of the entry being applied
};

}  // namespace mailstore
