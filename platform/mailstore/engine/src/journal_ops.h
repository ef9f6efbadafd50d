// The operations that journal entries hold. An entry carries the operations
// of one call, each an op code byte followed by its fields, and is applied
// whole. Each operation's code and Fields() are the store's on-disk format:
// one list of fields serves encoding and decoding alike. Operations carry no
// length of their own, so a new field needs a new op code.
//
// Fields are little-endian u32 (int too) and u64, strings as a u32 length
// and their bytes, lists as a u32 count and their items.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "entry_encoder.h"
#include "mailstore/store_types.h"

namespace mailstore {

// The text and dates of a message record, as views into a payload, a
// caller's MessageFields or a stored record.
struct RecordText {
  RecordText() = default;
  explicit RecordText(const MessageFields& f);
  explicit RecordText(const MessageRecord& r);

  std::string_view subject;
  std::string_view normalized_subject;
  std::string_view display_to;
  std::string_view display_from;
  int priority = 3;
  uint64_t sent_time = 0;

  template <class F, class Self>
  static void Fields(F& f, Self& t) {
    f(t.subject); f(t.normalized_subject); f(t.display_to); f(t.display_from);
    f(t.priority); f(t.sent_time);
  }
};

struct FolderCreateOp {
  static constexpr uint8_t kCode = 1;
  uint32_t id = kInvalidId;
  uint32_t parent = kInvalidId;
  int special = kNotSpecial;
  std::string_view name;

  template <class F, class Self>
  static void Fields(F& f, Self& op) { f(op.id); f(op.parent); f(op.special); f(op.name); }
};

struct FolderRenameOp {
  static constexpr uint8_t kCode = 2;
  uint32_t id = kInvalidId;
  std::string_view name;

  template <class F, class Self>
  static void Fields(F& f, Self& op) { f(op.id); f(op.name); }
};

struct FolderMoveOp {
  static constexpr uint8_t kCode = 3;
  uint32_t id = kInvalidId;
  uint32_t parent = kInvalidId;

  template <class F, class Self>
  static void Fields(F& f, Self& op) { f(op.id); f(op.parent); }
};

// Deletes the folder with its subtree and their messages.
struct FolderDeleteOp {
  static constexpr uint8_t kCode = 4;
  uint32_t id = kInvalidId;

  template <class F, class Self>
  static void Fields(F& f, Self& op) { f(op.id); }
};

// Takes |id| of |folder| for a later AddMessageOp: no later id is below it.
struct ReserveIdOp {
  static constexpr uint8_t kCode = 5;
  uint32_t folder = kInvalidId;
  uint32_t id = kInvalidId;

  template <class F, class Self>
  static void Fields(F& f, Self& op) { f(op.folder); f(op.id); }
};

struct AddMessageOp {
  static constexpr uint8_t kCode = 6;
  uint32_t folder = kInvalidId;
  uint32_t id = kInvalidId;
  uint32_t flags = 0;
  uint32_t size = 0;  // of the source
  uint64_t received_time = 0;
  uint64_t offset = 0;  // of the source in the data file
  RecordText text;
  bool framed = false;    // the source is a data-file record with a checksum
  uint32_t checksum = 0;  // of the source, when framed
  std::string_view message_id;  // of the source, in AddIndexedMessageOp

  template <class F, class Self>
  static void Fields(F& f, Self& op) {
    f(op.folder); f(op.id); f(op.flags); f(op.size); f(op.received_time); f(op.offset); f(op.text);
  }
};

// AddMessageOp for a source written as a data-file record: with its checksum.
struct AddFramedMessageOp : AddMessageOp {
  static constexpr uint8_t kCode = 10;
  AddFramedMessageOp() { framed = true; }
  explicit AddFramedMessageOp(const AddMessageOp& op) : AddMessageOp(op) { framed = true; }

  template <class F, class Self>
  static void Fields(F& f, Self& op) { AddMessageOp::Fields(f, op); f(op.checksum); }
};

// A new source and text for a stored message; its id, flags and received
// time stay.
struct ReplaceSourceOp {
  static constexpr uint8_t kCode = 7;
  uint32_t folder = kInvalidId;
  uint32_t id = kInvalidId;
  uint32_t size = 0;
  uint64_t offset = 0;
  RecordText text;
  bool framed = false;
  uint32_t checksum = 0;
  std::string_view message_id;  // in ReplaceIndexedSourceOp

  template <class F, class Self>
  static void Fields(F& f, Self& op) { f(op.folder); f(op.id); f(op.size); f(op.offset); f(op.text); }
};

struct ReplaceFramedSourceOp : ReplaceSourceOp {
  static constexpr uint8_t kCode = 11;
  ReplaceFramedSourceOp() { framed = true; }
  explicit ReplaceFramedSourceOp(const ReplaceSourceOp& op) : ReplaceSourceOp(op) { framed = true; }

  template <class F, class Self>
  static void Fields(F& f, Self& op) { ReplaceSourceOp::Fields(f, op); f(op.checksum); }
};

// The framed forms with the source's Message-ID, for the index. A message
// stored without one (an older entry) is indexed when compaction or recovery
// reads its source.
struct AddIndexedMessageOp : AddFramedMessageOp {
  static constexpr uint8_t kCode = 15;
  AddIndexedMessageOp() = default;
  explicit AddIndexedMessageOp(const AddMessageOp& op) : AddFramedMessageOp(op) {}

  template <class F, class Self>
  static void Fields(F& f, Self& op) { AddFramedMessageOp::Fields(f, op); f(op.message_id); }
};

struct ReplaceIndexedSourceOp : ReplaceFramedSourceOp {
  static constexpr uint8_t kCode = 16;
  ReplaceIndexedSourceOp() = default;
  explicit ReplaceIndexedSourceOp(const ReplaceSourceOp& op) : ReplaceFramedSourceOp(op) {}

  template <class F, class Self>
  static void Fields(F& f, Self& op) { ReplaceFramedSourceOp::Fields(f, op); f(op.message_id); }
};

struct SetFlagsOp {
  static constexpr uint8_t kCode = 8;
  uint32_t folder = kInvalidId;
  std::vector<std::pair<uint32_t, uint32_t>> flags;  // (message id, its new flags)

  template <class F, class Self>
  static void Fields(F& f, Self& op) { f(op.folder); f(op.flags); }
};

struct RemoveMessagesOp {
  static constexpr uint8_t kCode = 9;
  uint32_t folder = kInvalidId;
  std::vector<uint32_t> ids;  // in the order the caller named them

  template <class F, class Self>
  static void Fields(F& f, Self& op) { f(op.folder); f(op.ids); }
};

// Begins a snapshot of the whole store, written by compaction as one entry:
// what came before is dropped, the sources are now in data file
// |generation|, and the rest of the entry, up to SnapshotEndOp, holds every
// folder and message again (no changes are reported for them).
struct SnapshotOp {
  static constexpr uint8_t kCode = 12;
  uint32_t generation = 0;

  template <class F, class Self>
  static void Fields(F& f, Self& op) { f(op.generation); }
};

struct SnapshotEndOp {
  static constexpr uint8_t kCode = 13;

  template <class F, class Self>
  static void Fields(F&, Self&) {}
};

// No message of |folder| will take an id below |next| (ids are never used twice).
struct NextMessageIdOp {
  static constexpr uint8_t kCode = 14;
  uint32_t folder = kInvalidId;
  uint32_t next = 1;

  template <class F, class Self>
  static void Fields(F& f, Self& op) { f(op.folder); f(op.next); }
};

// Makes message |id| of |folder| the newest holder of |message_id| in the
// index (and gives it that Message-ID): a snapshot keeps with it which of
// several messages with one Message-ID was stored last.
struct MessageIdOp {
  static constexpr uint8_t kCode = 17;
  uint32_t folder = kInvalidId;
  uint32_t id = kInvalidId;
  std::string_view message_id;

  template <class F, class Self>
  static void Fields(F& f, Self& op) { f(op.folder); f(op.id); f(op.message_id); }
};

// When the entry was written (FILETIME ticks): the time of its changes.
struct EntryTimeOp {
  static constexpr uint8_t kCode = 18;
  uint64_t time = 0;

  template <class F, class Self>
  static void Fields(F& f, Self& op) { f(op.time); }
};

// Names the change history and where it stands: changes after |kept_from|
// up to |sequence| are the ones the KeptChangeOps that follow give (none
// for a history that starts here); what was held before is dropped.
struct HistoryOp {
  static constexpr uint8_t kCode = 19;
  HistoryId history;
  uint64_t kept_from = 0;
  uint64_t sequence = 0;

  template <class F, class Self>
  static void Fields(F& f, Self& op) { f(op.history.low); f(op.history.high); f(op.kept_from); f(op.sequence); }
};

// One change of the history a snapshot keeps.
struct KeptChangeOp {
  static constexpr uint8_t kCode = 20;
  HistoryChange change;

  template <class F, class Self>
  static void Fields(F& f, Self& op) {
    f(op.change.sequence); f(op.change.kind); f(op.change.folder); f(op.change.message); f(op.change.time);
  }
};

// Alone in the last entry of a journal that compaction replaced: the store
// goes on in the journal of generation |generation| (see Journal).
struct JournalSwitchOp {
  static constexpr uint8_t kCode = 21;
  uint32_t generation = 0;

  template <class F, class Self>
  static void Fields(F& f, Self& op) { f(op.generation); }
};

// Receives the operations of an entry, one call per operation, in order
// (the framed and indexed forms arrive as their plain ones, with |framed|
// and |message_id| set; JournalSwitchOp is the Journal's own).
class OpSink {
 public:
  virtual void Apply(const FolderCreateOp& op) = 0;
  virtual void Apply(const FolderRenameOp& op) = 0;
  virtual void Apply(const FolderMoveOp& op) = 0;
  virtual void Apply(const FolderDeleteOp& op) = 0;
  virtual void Apply(const ReserveIdOp& op) = 0;
  virtual void Apply(const AddMessageOp& op) = 0;
  virtual void Apply(const ReplaceSourceOp& op) = 0;
  virtual void Apply(const SetFlagsOp& op) = 0;
  virtual void Apply(const RemoveMessagesOp& op) = 0;
  virtual void Apply(const SnapshotOp& op) = 0;
  virtual void Apply(const SnapshotEndOp& op) = 0;
  virtual void Apply(const NextMessageIdOp& op) = 0;
  virtual void Apply(const MessageIdOp& op) = 0;
  virtual void Apply(const EntryTimeOp& op) = 0;
  virtual void Apply(const HistoryOp& op) = 0;
  virtual void Apply(const KeptChangeOp& op) = 0;

 protected:
  ~OpSink() = default;
};

// Writes each field it is given to an entry.
class FieldWriter {
 public:
  explicit FieldWriter(EntryEncoder& e) : e_(e) {}
  void operator()(uint32_t v) { e_.U32(v); }
  void operator()(int v) { e_.U32(static_cast<uint32_t>(v)); }
  void operator()(uint64_t v) { e_.U64(v); }
  void operator()(std::string_view v) { e_.Str(v); }
  void operator()(const RecordText& t) { RecordText::Fields(*this, t); }
  void operator()(HistoryKind k) { e_.U32(static_cast<uint32_t>(k)); }
  void operator()(const std::vector<uint32_t>& ids) {
    e_.U32(static_cast<uint32_t>(ids.size()));
    for (uint32_t id : ids) e_.U32(id);
  }
  void operator()(const std::vector<std::pair<uint32_t, uint32_t>>& pairs) {
    e_.U32(static_cast<uint32_t>(pairs.size()));
    for (const auto& [a, b] : pairs) {
      e_.U32(a);
      e_.U32(b);
    }
  }

 private:
  EntryEncoder& e_;
};

// Appends |op| to an entry's payload.
template <class Op>
void Encode(const Op& op, EntryEncoder& e) {
  e.U8(Op::kCode);
  FieldWriter w(e);
  Op::Fields(w, op);
}

// Decodes an entry's payload and hands each operation to |sink|; the views
// in an operation point into |payload|. An operation cut short is not
// handed on (but for the flag pairs before the cut) and ends the entry, as
// does an op code this version does not know.
void DecodeOps(const uint8_t* payload, size_t size, OpSink& sink);

}  // namespace mailstore
