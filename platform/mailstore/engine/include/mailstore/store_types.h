// Plain records the store engine hands in and out.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace mailstore {

constexpr uint32_t kRootFolderId = 0;
constexpr uint32_t kInvalidId = 0xFFFFFFFFu;
constexpr int kNotSpecial = -1;
constexpr int kSpecialCount = 5;  // Inbox, Outbox, Sent Items, Deleted Items, Drafts
constexpr int kSpecialDeleted = 3;
constexpr size_t kMaxFolderNameBytes = 255;

// State flag bits, as the interface defines them.
constexpr uint32_t kFlagUnread = 0x2;

enum class Status {
  kOk,
  kNotFound,        // unknown folder or message id
  kInvalidName,     // empty, too long, control characters
  kDuplicateName,   // a sibling has the name (case-insensitive)
  kNotAllowed,      // root/special folder, move under itself, ...
  kInvalidArgument,
  kIoError,         // the disk refused; nothing was changed
  kDamaged,         // part of the store cannot be read: see Store::Open and Store::Check
  kReadOnly,        // the store's files cannot be written (permissions, read-only medium)
  kHistoryGone,     // the changes asked for are older than the history the store keeps
};

const char* StatusText(Status status);

struct FolderInfo {
  uint32_t id = kInvalidId;
  uint32_t parent = kInvalidId;
  int special = kNotSpecial;
  std::string name;
  uint32_t message_count = 0;
  uint32_t unread_count = 0;
  int subfolder_count = 0;
};

// What the caller computed from a source when storing it; the engine never
// parses sources itself.
struct MessageFields {
  std::string subject;
  std::string normalized_subject;
  std::string display_to;
  std::string display_from;
  int priority = 3;
  uint64_t sent_time = 0;  // FILETIME ticks; 0 when the source has no date
};

// The record of one stored message: immutable once published, shared by
// enumerations that still hold it. Its four strings live in one buffer, so a
// record costs two allocations however long they are.
struct MessageRecord {
  uint32_t id = kInvalidId;
  uint32_t flags = 0;
  uint32_t size = 0;
  int priority = 3;
  uint64_t received_time = 0;  // FILETIME ticks
  uint64_t sent_time = 0;      // FILETIME ticks; 0 when the source has no date
  uint64_t offset = 0;         // of the source in the data file
  uint32_t generation = 0;     // of the data file |offset| is in; compaction makes a new one
  bool checked = false;        // |checksum| holds the source's CRC-32 (older stores have none)
  uint32_t checksum = 0;

  std::string_view subject() const { return Part(0); }
  std::string_view normalized_subject() const { return Part(1); }
  std::string_view display_to() const { return Part(2); }
  std::string_view display_from() const { return Part(3); }
  // The Message-ID of the source (no angle brackets), empty when it has none
  // or was stored by a version that did not record it.
  std::string_view message_id() const { return Part(4); }
  void SetText(std::string_view subject, std::string_view normalized, std::string_view to,
               std::string_view from, std::string_view message_id = {}) {
    text_.clear();
    text_.reserve(subject.size() + normalized.size() + to.size() + from.size() + message_id.size());
    std::string_view parts[5] = {subject, normalized, to, from, message_id};
    for (int i = 0; i < 5; ++i) {
      text_.append(parts[i]);
      end_[i] = static_cast<uint32_t>(text_.size());
    }
  }

 private:
  std::string_view Part(int i) const {
    uint32_t begin = i == 0 ? 0 : end_[i - 1];
    return std::string_view(text_).substr(begin, end_[i] - begin);
  }
  std::string text_;
  uint32_t end_[5] = {0, 0, 0, 0, 0};
};
using MessageRecordPtr = std::shared_ptr<const MessageRecord>;

// One change as it was applied, in journal order.
struct Change {
  enum class Kind {
    kFolderCreated,
    kFolderRenamed,
    kFolderMoved,
    kFolderDeleted,   // once per folder of a deleted subtree
    kMessageAdded,
    kMessagesRemoved,
    kUnreadChanged,
  };
  Change(Kind k, uint32_t f) : kind(k), folder(f) {}
  Kind kind;
  uint32_t folder = kInvalidId;
  uint32_t folder2 = 0;        // the new parent of a moved folder
  uint32_t message = kInvalidId;
  std::vector<uint32_t> messages;  // kMessagesRemoved
};

// One entry of the change history (Store::GetChanges). The kinds have the
// numbers the store's interface gives them.
enum class HistoryKind : uint32_t {
  kMessageAdded = 1,
  kMessageRemoved = 2,
  kMessageChanged = 3,  // flags, or the source replaced
  kFolderCreated = 4,
  kFolderDeleted = 5,   // once per folder of a deleted subtree; its messages go with it unreported
  kFolderRenamed = 6,
  kFolderMoved = 7,
};

struct HistoryChange {
  uint64_t sequence = 0;  // store-wide, increasing, the same in every process
  HistoryKind kind = HistoryKind::kMessageAdded;
  uint32_t folder = kInvalidId;
  uint32_t message = kInvalidId;  // kInvalidId for a folder change
  uint64_t time = 0;              // FILETIME ticks of the write; 0 when not recorded
};

// Names one history of a store: a new one starts with a new store or a
// recovered journal. Sixteen bytes, as a GUID.
struct HistoryId {
  uint64_t low = 0, high = 0;
  bool empty() const { return low == 0 && high == 0; }
};

}  // namespace mailstore
