// Plain records the store engine hands in and out.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
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
  kDamaged,         // the store's files are not readable as a store
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
// enumerations that still hold it.
struct MessageRecord {
  uint32_t id = kInvalidId;
  uint32_t flags = 0;
  uint32_t size = 0;
  uint64_t received_time = 0;  // FILETIME ticks
  uint64_t offset = 0;         // of the source in the data file
  MessageFields fields;
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
