// One body of a Message's tree (private to the engine).
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "mimeengine/codec.h"
#include "mimeengine/header.h"
#include "mimeengine/message.h"

namespace mimeengine {

struct Body {
  BodyHandle handle = kNoBody;
  Body* parent = nullptr;
  std::vector<Body*> children;  // owned by the Message's BodyTable
  size_t index = 0;             // position in parent->children (kept by Renumber)
  Header header;

  // Effective content type (lower case), refreshed from the header.
  std::string type = "text";
  std::string subtype = "plain";
  std::string transfer_encoding;  // lower case, "" when absent
  bool digest_child = false;      // default type message/rfc822
  // A multipart or message body kept as a leaf (depth or count limit, no
  // boundary, or content set through SetContent).
  bool opaque = false;

  // Where the body's bytes are in `buffer`: the whole part (header and
  // content) is [part_begin, part_end), its content [body_begin, part_end).
  std::shared_ptr<const std::string> buffer;
  size_t part_begin = 0;
  size_t body_begin = 0;
  size_t part_end = 0;
  bool raw_part = false;     // the part range is this body exactly
  bool raw_content = false;  // the content range holds its encoded content

  std::string preamble;  // multipart: text before the first delimiter line
  std::string epilogue;  // multipart: text after the closing delimiter line

  bool content_changed = false;    // `content` holds the decoded bytes
  bool structure_changed = false;  // children added, removed or replaced
  std::string content;

  std::vector<std::pair<std::string, std::string>> attributes;  // stored "att:" values
  std::string display_name;

  bool IsMultipart() const { return type == "multipart" && !opaque; }
  bool IsContainer() const { return type == "message" && !opaque && children.size() == 1; }
  // Base64, quoted-printable and uuencode; the identity encodings need no decoding.
  bool IsTransferEncoded() const {
    return transfer_encoding == "base64" || transfer_encoding == "quoted-printable" ||
           is_uuencode_label(transfer_encoding);
  }

  // The content range of `buffer`, still transfer-encoded.
  std::string_view RawContent() const {
    return std::string_view(buffer->data() + body_begin, part_end - body_begin);
  }
  // Appends RawContent() decoded from the body's transfer encoding.
  void AppendDecodedContent(std::string* out) const;

  // The file name on the begin line of uuencoded content that nothing
  // changed; empty otherwise.
  std::string UuencodedName() const;

  // Re-reads type, subtype and transfer encoding from the header; a missing
  // or malformed Content-Type gives the default (text/plain, or
  // message/rfc822 in a digest).
  void RefreshType();

  // The parsed Content-Type field (empty when absent).
  StructuredValue ContentType() const;

  // No children and no content.
  bool IsEmpty() const;

  // Nothing in the sub-tree changed since it was parsed or committed, so
  // its part range can be copied as it is.
  bool IsUnchanged() const;

  // Refreshes the children's parent links and positions after the list
  // changed, so that sibling steps stay O(1) even with 100,000 parts.
  void Renumber();
};

// A fresh multipart boundary ("----=_Part_" and 16 hex digits); "=_" cannot
// occur in base64 or quoted-printable output.
std::string NewBoundary();

}  // namespace mimeengine
