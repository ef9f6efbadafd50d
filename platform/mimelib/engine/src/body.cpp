#include "body.h"

#include <atomic>
#include <chrono>
#include <cstdint>

#include "ascii.h"
#include "mimeengine/codec.h"

namespace mimeengine {

void Body::AppendDecodedContent(std::string* out) const {
  const std::string_view raw = RawContent();
  if (transfer_encoding == "base64") {
    base64_decode(raw, out);
  } else if (transfer_encoding == "quoted-printable") {
    qp_decode(raw, out);
  } else if (is_uuencode_label(transfer_encoding)) {
    uu_decode(raw, out);
  } else {
    out->append(raw);
  }
}

std::string Body::UuencodedName() const {
  if (content_changed || !raw_content || !is_uuencode_label(transfer_encoding)) return std::string();
  // Only the lines up to the begin line are read: the name is all that is wanted.
  const std::string_view raw = RawContent();
  size_t at = 0;
  while (at < raw.size()) {
    size_t end = raw.find('\n', at);
    if (end == std::string_view::npos) end = raw.size();
    if (raw.compare(at, 6, "begin ") == 0) {
      std::string name, ignored;
      uu_decode(raw.substr(at, end - at), &ignored, &name);
      return name;
    }
    at = end + 1;
  }
  return std::string();
}

void Body::RefreshType() {
  bool found = false;
  const std::string ct = header.Get("Content-Type", &found);
  type = digest_child ? "message" : "text";
  subtype = digest_child ? "rfc822" : "plain";
  if (found) {
    const StructuredValue sv = StructuredValue::Parse(ct);
    const std::string v = ascii::Lower(sv.value());
    const size_t slash = v.find('/');
    if (slash != std::string::npos && slash > 0 && slash + 1 < v.size()) {
      type = std::string(ascii::Trim(v.substr(0, slash)));
      subtype = std::string(ascii::Trim(v.substr(slash + 1)));
    }
  }
  transfer_encoding = ascii::Lower(ascii::Trim(header.Get("Content-Transfer-Encoding")));
}

StructuredValue Body::ContentType() const { return StructuredValue::Parse(header.Get("Content-Type")); }

bool Body::IsEmpty() const {
  return children.empty() &&
         (content_changed ? content.empty() : (!raw_content || body_begin >= part_end));
}

bool Body::IsUnchanged() const {
  if (header.changed() || content_changed || structure_changed || !raw_part) return false;
  for (const Body* c : children) {
    if (!c->IsUnchanged()) return false;
  }
  return true;
}

void Body::Renumber() {
  for (size_t i = 0; i < children.size(); ++i) {
    children[i]->parent = this;
    children[i]->index = i;
  }
}

std::string NewBoundary() {
  static std::atomic<uint64_t> counter{0};
  const uint64_t seed = static_cast<uint64_t>(
      std::chrono::high_resolution_clock::now().time_since_epoch().count());
  uint64_t x = seed ^ (counter.fetch_add(1) * 0x9E3779B97F4A7C15ull);
  x ^= x >> 33;
  x *= 0xff51afd7ed558ccdull;
  x ^= x >> 33;
  std::string b = "----=_Part_";
  for (int i = 0; i < 16; ++i) b.push_back(ascii::kHexDigits[(x >> (i * 4)) & 15]);
  return b;
}

}  // namespace mimeengine
