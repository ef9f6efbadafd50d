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
  void SetText(std::string_view subject, std::string_view normalized, std::string_view to,
               std::string_view from) {
    text_.clear();
    text_.reserve(subject.size() + normalized.size() + to.size() + from.size());
    std::string_view parts[4] = {subject, normalized, to, from};
    for (int i = 0; i < 4; ++i) {
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
  uint32_t end_[4] = {0, 0, 0, 0};
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

}  // namespace mailstore
