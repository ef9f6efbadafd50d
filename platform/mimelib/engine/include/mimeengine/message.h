// A MIME message as a tree of bodies addressed by 32-bit handles: parsed
// from source, changed through the tree and property operations, and
// serialised back with unchanged bodies kept byte for byte.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace mimeengine {

struct Body;

// Body handles are never 0 (no body) and never 0xFFFFFFFF (callers' name
// for the root, which Message accepts as an alias of root()).
using BodyHandle = uint32_t;
constexpr BodyHandle kNoBody = 0;
constexpr BodyHandle kRootAlias = 0xFFFFFFFFu;

enum class Location { kRoot = 0, kParent = 1, kFirst = 2, kLast = 3, kNext = 4, kPrevious = 5 };

// DeleteBody flags: 0 deletes the body with its children.
constexpr uint32_t kDeletePromoteChildren = 1;
constexpr uint32_t kDeleteChildrenOnly = 2;

enum class Status {
  kOk,
  kNotFound,       // no such body, property or location
  kInvalidHandle,  // the handle names no body of this message
  kInvalidArg,     // bad location, flags, name or value
  kReadOnly,       // a computed property that cannot be set
  kTooDeep,        // the operation would nest bodies beyond the limit
};

// Limits that keep hostile input bounded: bodies nested deeper than
// kMaxDepth are kept as opaque leaves, and a message holds at most
// kMaxBodies bodies (further parts stay inside their parent's content).
constexpr int kMaxDepth = 100;
constexpr size_t kMaxBodies = 200000;

class Message {
 public:
  // An empty message: a root body without header or content.
  Message();
  ~Message();
  Message(const Message&) = delete;
  Message& operator=(const Message&) = delete;

  // Replaces the message with the parse of `source` (best effort, never
  // fails). Handles of the previous tree become invalid and are not reused.
  void Load(std::string source);

  // The message's source: what was loaded, or what the last Commit wrote.
  const std::string& source() const;

  // Serialises the current tree. Bodies that nothing changed keep their
  // original bytes; changed ones are encoded (7bit, quoted-printable or
  // base64) with CRLF line ends; new multiparts get unique boundaries.
  std::string Serialize() const;

  // Serialises and makes the result the message's source, so that every
  // body counts as unchanged again. Handles stay valid.
  void Commit();

  // True when anything changed since Load or Commit.
  bool IsDirty() const;

  BodyHandle root() const;
  bool IsValid(BodyHandle h) const;

  // Tree navigation and structure.
  Status GetBody(Location loc, BodyHandle pivot, BodyHandle* out) const;
  // kFirst/kLast insert a child of `pivot` (a pivot that is not multipart
  // becomes multipart/mixed, its content moving into a first child);
  // kNext/kPrevious insert a sibling; kRoot answers the root when it is
  // empty. The new body is empty text/plain.
  Status InsertBody(Location loc, BodyHandle pivot, BodyHandle* out);
  Status DeleteBody(BodyHandle h, uint32_t flags);
  // Pre-order walk over every body (message/rfc822 sub-trees included):
  // the first body after `after` (kNoBody: from the start) whose content
  // type matches; empty type strings match anything. A search by type passes
  // over parts read with neither header nor content when a later body
  // matches, and finds the first of them when none does. kNoBody when none.
  BodyHandle FindNext(BodyHandle after, std::string_view pri, std::string_view sub) const;
  size_t CountBodies(BodyHandle parent, bool recurse) const;

  // Content type tests; empty strings match anything. Case-insensitive.
  bool IsContentType(BodyHandle h, std::string_view pri, std::string_view sub) const;
  std::string PrimaryType(BodyHandle h) const;  // lower case, "" for an unknown handle
  std::string SubType(BodyHandle h) const;
  bool IsMultipart(BodyHandle h) const;
  bool IsAttachment(BodyHandle h) const;
  bool IsEmpty(BodyHandle h) const;
  bool HasCharset(BodyHandle h) const;
  // Attachment bodies in pre-order, not descending into attached messages.
  std::vector<BodyHandle> GetAttachments() const;
  // Adds `data` as an attachment named `file_name` (content type from its
  // extension), making the message multipart/mixed when needed.
  Status AttachFile(std::string_view file_name, std::string data, BodyHandle* out);

  // Content. GetContent gives the decoded bytes (a multipart gives its raw
  // body); GetText gives text bodies converted from their charset to UTF-8
  // (other bodies: the decoded bytes unchanged).
  Status GetContent(BodyHandle h, std::string* out) const;
  Status GetText(BodyHandle h, std::string* utf8) const;
  // Replaces the content with decoded bytes. Empty pri/sub keep the type.
  Status SetContent(BodyHandle h, std::string bytes, std::string_view pri, std::string_view sub);
  // Replaces the content with text, stored in the body's declared charset
  // when that can hold it, else in UTF-8 (and the charset set accordingly).
  Status SetText(BodyHandle h, std::string_view utf8, std::string_view pri, std::string_view sub);
  // Drops content and children; the body becomes empty.
  Status EmptyContent(BodyHandle h);

  // Properties by name: header fields ("Subject"), "par:<field>:<param>"
  // parameters and "att:<name>" attributes (computed: pri-content-type,
  // sub-content-type, normalized-subject, filename, generated-filename,
  // priority; others stored). Values are UTF-8 (header words decoded).
  // GetProp answers kNotFound for an absent property.
  Status GetProp(BodyHandle h, std::string_view name, std::string* value) const;
  Status SetProp(BodyHandle h, std::string_view name, std::string_view value);
  Status DeleteProp(BodyHandle h, std::string_view name);
  // Names of the body's header fields (first spelling, once each, in order)
  // followed by its stored attributes.
  std::vector<std::string> PropertyNames(BodyHandle h) const;

  // The name a user sees for a body: its display name if set, else its file
  // name, else a generated one ("attachment.dat", "<subject>.eml").
  std::string DisplayName(BodyHandle h) const;
  Status SetDisplayName(BodyHandle h, std::string_view name);

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace mimeengine
