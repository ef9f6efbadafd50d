#include "mimeengine/message.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <unordered_set>

#include "ascii.h"
#include "body.h"
#include "mimeengine/charset.h"
#include "mimeengine/codec.h"
#include "mimeengine/summary.h"

namespace mimeengine {
namespace {

struct ExtensionType {
  const char* ext;
  const char* type;
};

const ExtensionType kExtensionTypes[] = {
    {"txt", "text/plain"},        {"text", "text/plain"},       {"log", "text/plain"},
    {"htm", "text/html"},         {"html", "text/html"},        {"csv", "text/csv"},
    {"xml", "text/xml"},          {"css", "text/css"},          {"rtf", "application/rtf"},
    {"js", "application/javascript"}, {"json", "application/json"}, {"jpg", "image/jpeg"},
    {"jpeg", "image/jpeg"},       {"jpe", "image/jpeg"},        {"gif", "image/gif"},
    {"png", "image/png"},         {"bmp", "image/bmp"},         {"tif", "image/tiff"},
    {"tiff", "image/tiff"},       {"ico", "image/x-icon"},      {"svg", "image/svg+xml"},
    {"webp", "image/webp"},       {"pdf", "application/pdf"},   {"zip", "application/zip"},
    {"gz", "application/gzip"},   {"tar", "application/x-tar"}, {"7z", "application/x-7z-compressed"},
    {"doc", "application/msword"},
    {"docx", "application/vnd.openxmlformats-officedocument.wordprocessingml.document"},
    {"xls", "application/vnd.ms-excel"},
    {"xlsx", "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet"},
    {"ppt", "application/vnd.ms-powerpoint"},
    {"pptx", "application/vnd.openxmlformats-officedocument.presentationml.presentation"},
    {"eml", "message/rfc822"},    {"nws", "message/rfc822"},    {"mp3", "audio/mpeg"},
    {"wav", "audio/wav"},         {"mid", "audio/midi"},        {"mp4", "video/mp4"},
    {"mpg", "video/mpeg"},        {"mpeg", "video/mpeg"},       {"avi", "video/x-msvideo"},
    {"mov", "video/quicktime"},   {"vcf", "text/x-vcard"},      {"ics", "text/calendar"},
};

std::string TypeForFile(std::string_view file_name) {
  const size_t dot = file_name.rfind('.');
  if (dot != std::string_view::npos) {
    const std::string ext = ascii::Lower(file_name.substr(dot + 1));
    for (const auto& e : kExtensionTypes) {
      if (ext == e.ext) return e.type;
    }
  }
  return "application/octet-stream";
}

std::string ExtensionForType(std::string_view type, std::string_view sub) {
  const std::string full = std::string(type) + "/" + std::string(sub);
  if (full == "text/plain") return ".txt";
  if (full == "text/html") return ".htm";
  for (const auto& e : kExtensionTypes) {
    if (full == e.type) return std::string(".") + e.ext;
  }
  return ".dat";
}

std::string NewBoundary() {
  static std::atomic<uint64_t> counter{0};
  const uint64_t seed = static_cast<uint64_t>(
      std::chrono::high_resolution_clock::now().time_since_epoch().count());
  uint64_t x = seed ^ (counter.fetch_add(1) * 0x9E3779B97F4A7C15ull);
  x ^= x >> 33;
  x *= 0xff51afd7ed558ccdull;
  x ^= x >> 33;
  static const char kHex[] = "0123456789ABCDEF";
  // "=_" cannot occur in base64 or quoted-printable output.
  std::string b = "----=_Part_";
  for (int i = 0; i < 16; ++i) b.push_back(kHex[(x >> (i * 4)) & 15]);
  return b;
}

// Refreshes the children's positions after the list changed, so that
// sibling steps stay O(1) even in multiparts with 100,000 parts.
void Renumber(Body* parent) {
  for (size_t i = 0; i < parent->children.size(); ++i) {
    parent->children[i]->parent = parent;
    parent->children[i]->index = i;
  }
}

// Hands from's content (kept source span, replaced bytes, preamble, epilogue
// and children) to `to`; the part's own header span stays where it was.
void MoveContent(Body* from, Body* to) {
  to->opaque = from->opaque;
  to->buffer = from->buffer;
  to->body_begin = from->body_begin;
  to->part_end = from->part_end;
  to->raw_content = from->raw_content;
  to->raw_part = false;
  to->content_changed = from->content_changed;
  to->content = std::move(from->content);
  to->preamble = std::move(from->preamble);
  to->epilogue = std::move(from->epilogue);
  to->children = std::move(from->children);
  Renumber(to);
}

// The sibling after `b`, or nullptr.
Body* NextSibling(const Body* b) {
  if (!b->parent || b->index + 1 >= b->parent->children.size()) return nullptr;
  return b->parent->children[b->index + 1];
}

// "par:<field>:<parameter>" names a parameter of a structured field; the field is everything up
// to the last colon. False when there is no second colon.
bool SplitParameterName(std::string_view name, std::string_view* field, std::string_view* param) {
  const std::string_view rest = name.substr(4);
  const size_t colon = rest.rfind(':');
  if (colon == std::string_view::npos) return false;
  *field = rest.substr(0, colon);
  *param = rest.substr(colon + 1);
  return true;
}

bool IsContentField(std::string_view name) { return ascii::StartsWithIgnoreCase(name, "content-"); }

bool IsValidFieldName(std::string_view name) {
  if (name.empty() || name.size() > 998) return false;
  for (char c : name) {
    if (static_cast<unsigned char>(c) <= 32 || static_cast<unsigned char>(c) >= 127 || c == ':')
      return false;
  }
  return true;
}

// How changed content is written: "7bit", "8bit", "quoted-printable" or "base64".
std::string ChooseEncoding(const Body& b) {
  const std::string& c = b.content;
  const bool textual = b.type == "text" || b.type == "message";
  if (!textual) return "base64";
  bool ascii = true, nul = false, bare_cr = false, bare_lf = false;
  size_t line = 0, longest = 0, high = 0;
  for (size_t i = 0; i < c.size(); ++i) {
    const auto ch = static_cast<unsigned char>(c[i]);
    if (ch == '\n') {
      if (i == 0 || c[i - 1] != '\r') bare_lf = true;
      longest = std::max(longest, line);
      line = 0;
      continue;
    }
    if (ch == '\r' && (i + 1 >= c.size() || c[i + 1] != '\n')) bare_cr = true;
    if (ch == 0) nul = true;
    if (ch >= 0x80) {
      ascii = false;
      ++high;
    }
    ++line;
  }
  longest = std::max(longest, line);
  if (b.type == "message") return ascii ? "7bit" : "8bit";
  if (ascii && !nul && !bare_cr && longest <= 998) return "7bit";
  // Quoted-printable keeps CRLF line breaks as they are; content with bare
  // LFs or CRs or mostly 8-bit bytes goes in base64 so it round-trips exactly.
  if (!bare_lf && !bare_cr && high * 5 < c.size() + 1) return "quoted-printable";
  return "base64";
}

void DecodeTransfer(std::string_view raw, const std::string& cte, std::string* out) {
  if (cte == "base64") {
    base64_decode(raw, out);
  } else if (cte == "quoted-printable") {
    qp_decode(raw, out);
  } else {
    out->append(raw);
  }
}


// The account a message is sent through is an attribute, yet it has to travel with the message
// into the store (the Outbox copy is read back from its source), so these two live in the header.
const char* PersistentAttributeField(std::string_view attribute) {
  if (ascii::EqualsIgnoreCase(attribute, "athena-account-id")) return "X-Mail-Account-Id";
  if (ascii::EqualsIgnoreCase(attribute, "athena-account-name")) return "X-Mail-Account-Name";
  return nullptr;
}

}  // namespace

class Message::Impl {
 public:
  Impl() { Reset(); }

  // ---- handles -----------------------------------------------------------

  Body* Get(BodyHandle h) const {
    if (h == kRootAlias) return root_;
    if (h < base_ || h - base_ >= slots_.size()) return nullptr;
    return slots_[h - base_].get();
  }

  Body* NewBody() {
    auto b = std::make_unique<Body>();
    b->handle = base_ + static_cast<BodyHandle>(slots_.size());
    slots_.push_back(std::move(b));
    ++live_;
    return slots_.back().get();
  }

  void FreeSubtree(Body* b) {
    std::vector<Body*> stack{b};
    while (!stack.empty()) {
      Body* x = stack.back();
      stack.pop_back();
      for (Body* c : x->children) stack.push_back(c);
      slots_[x->handle - base_].reset();
      --live_;
    }
  }

  void Reset() {
    // New handles never repeat old ones; wrap long before 0xFFFFFFFF.
    uint64_t next = static_cast<uint64_t>(base_) + slots_.size() + 1;
    if (next > 0xF0000000ull) next = 1;
    base_ = static_cast<BodyHandle>(next);
    slots_.clear();
    live_ = 0;
    root_ = NewBody();
    source_ = std::make_shared<const std::string>();
  }

  // ---- parsing -----------------------------------------------------------

  static void Refresh(Body* b) {
    bool found = false;
    const std::string ct = b->header.Get("Content-Type", &found);
    b->type = b->digest_child ? "message" : "text";
    b->subtype = b->digest_child ? "rfc822" : "plain";
    if (found) {
      const StructuredValue sv = StructuredValue::Parse(ct);
      const std::string v = ascii::Lower(sv.value());
      const size_t slash = v.find('/');
      if (slash != std::string::npos && slash > 0 && slash + 1 < v.size()) {
        b->type = std::string(ascii::Trim(v.substr(0, slash)));
        b->subtype = std::string(ascii::Trim(v.substr(slash + 1)));
      }
    }
    b->transfer_encoding = ascii::Lower(ascii::Trim(b->header.Get("Content-Transfer-Encoding")));
  }

  static std::string Boundary(const Body* b) {
    const StructuredValue sv = StructuredValue::Parse(b->header.Get("Content-Type"));
    const std::string* p = sv.Param("boundary");
    return p ? *p : std::string();
  }

  struct Job {
    Body* body;
    std::shared_ptr<const std::string> buffer;
    size_t begin, end;
    int depth;
  };

  void Parse(Body* root, std::shared_ptr<const std::string> buffer, size_t begin, size_t end,
             int depth) {
    std::vector<Job> jobs{{root, std::move(buffer), begin, end, depth}};
    while (!jobs.empty()) {
      Job job = std::move(jobs.back());
      jobs.pop_back();
      ParseOne(job, &jobs);
    }
  }

  void ParseOne(const Job& job, std::vector<Job>* jobs) {
    Body* b = job.body;
    const std::string& buf = *job.buffer;
    const std::string_view part(buf.data() + job.begin, job.end - job.begin);
    const size_t header_len = Header::Parse(part, &b->header);
    b->buffer = job.buffer;
    b->part_begin = job.begin;
    b->body_begin = job.begin + header_len;
    b->part_end = job.end;
    b->raw_part = true;
    b->raw_content = true;
    Refresh(b);
    const std::string_view content = part.substr(header_len);
    if (b->type == "multipart") {
      const std::string boundary = Boundary(b);
      if (boundary.empty() || job.depth >= kMaxDepth) {
        b->opaque = true;
        return;
      }
      SplitMultipart(b, job, content, boundary, jobs);
    } else if (b->type == "message" &&
               (b->subtype == "rfc822" || b->subtype == "news" || b->subtype == "global")) {
      if (job.depth >= kMaxDepth || live_ >= kMaxBodies) {
        b->opaque = true;
        return;
      }
      Body* child = NewBody();
      child->parent = b;
      b->children.push_back(child);
      if (b->transfer_encoding == "base64" || b->transfer_encoding == "quoted-printable") {
        auto decoded = std::make_shared<std::string>();
        DecodeTransfer(content, b->transfer_encoding, decoded.get());
        const size_t n = decoded->size();
        jobs->push_back(Job{child, std::move(decoded), 0, n, job.depth + 1});
      } else {
        jobs->push_back(Job{child, job.buffer, b->body_begin, job.end, job.depth + 1});
      }
    }
  }

  void SplitMultipart(Body* b, const Job& job, std::string_view content, const std::string& boundary,
                      std::vector<Job>* jobs) {
    const std::string delim = "--" + boundary;
    // A delimiter line starts with "--boundary" and goes on with blanks, a
    // line end or "--"; anything else is a longer boundary or text.
    auto find_delim = [&](size_t from, bool* close) -> size_t {
      while (from <= content.size()) {
        const size_t p = content.find(delim, from);
        if (p == std::string_view::npos) return p;
        if (p == 0 || content[p - 1] == '\n') {
          const size_t q = p + delim.size();
          if (q >= content.size() || content[q] == ' ' || content[q] == '\t' || content[q] == '\r' ||
              content[q] == '\n') {
            *close = false;
            return p;
          }
          if (q + 1 < content.size() && content[q] == '-' && content[q + 1] == '-') {
            *close = true;
            return p;
          }
        }
        from = p + 1;
      }
      return std::string_view::npos;
    };
    auto line_end = [&](size_t p) {
      const size_t e = content.find('\n', p);
      return e == std::string_view::npos ? content.size() : e + 1;
    };
    struct Range {
      size_t begin, end;
    };
    std::vector<Range> parts;
    bool close = false;
    size_t p = find_delim(0, &close);
    if (p == std::string_view::npos) {
      b->preamble = std::string(content);  // no parts at all
      return;
    }
    b->preamble = std::string(content.substr(0, p));
    size_t epilogue_begin = content.size();
    bool closed = false;
    while (p != std::string_view::npos) {
      const size_t after = line_end(p);
      if (close) {
        epilogue_begin = after;
        closed = true;
        break;
      }
      bool next_close = false;
      const size_t next = find_delim(after, &next_close);
      size_t end = next == std::string_view::npos ? content.size() : next;
      if (next != std::string_view::npos && end > after) {
        --end;  // the line break before the delimiter belongs to it
        if (end > after && content[end - 1] == '\r') --end;
      }
      parts.push_back(Range{after, std::max(after, end)});
      p = next;
      close = next_close;
    }
    if (closed) {
      b->epilogue = std::string(content.substr(epilogue_begin));
    } else {
      b->epilogue.clear();
    }
    if (live_ + parts.size() > kMaxBodies) {
      b->opaque = true;
      b->preamble.clear();
      b->epilogue.clear();
      return;
    }
    const bool digest = b->subtype == "digest";
    const size_t base = b->body_begin;
    for (size_t i = 0; i < parts.size(); ++i) {
      Body* child = NewBody();
      child->parent = b;
      child->digest_child = digest;
      child->index = i;
      b->children.push_back(child);
    }
    // Push in reverse so that children are parsed in order (handles ascend).
    for (size_t i = parts.size(); i-- > 0;) {
      jobs->push_back(Job{b->children[i], job.buffer, base + parts[i].begin, base + parts[i].end,
                          job.depth + 1});
    }
  }

  // ---- serialisation ------------------------------------------------------

  static bool Clean(const Body* b) {
    if (b->header.changed() || b->content_changed || b->structure_changed || !b->raw_part) return false;
    for (const Body* c : b->children) {
      if (!Clean(c)) return false;
    }
    return true;
  }

  struct Placement {
    Body* body;
    size_t part_begin, body_begin, part_end;
    bool verbatim;
  };

  struct Writer {
    std::string out;
    std::vector<Placement>* placements = nullptr;  // filled by Commit
  };

  static void RecordVerbatim(Body* b, const std::shared_ptr<const std::string>& buffer, size_t at,
                             Writer& w) {
    // Every body of the copied sub-tree that lives in the same buffer moves
    // by the same distance.
    const size_t origin = b->part_begin;
    std::vector<Body*> stack{b};
    while (!stack.empty()) {
      Body* x = stack.back();
      stack.pop_back();
      if (x->buffer != buffer) continue;
      w.placements->push_back(Placement{x, x->part_begin - origin + at, x->body_begin - origin + at,
                                        x->part_end - origin + at, true});
      for (Body* c : x->children) stack.push_back(c);
    }
  }

  void Write(Body* b, Writer& w) const {
    const size_t at = w.out.size();
    if (Clean(b)) {
      w.out.append(*b->buffer, b->part_begin, b->part_end - b->part_begin);
      if (w.placements) RecordVerbatim(b, b->buffer, at, w);
      return;
    }
    Header header = b->header;
    bool header_edited = b->header.changed() || !b->raw_part;
    std::string encoding;
    std::string boundary;
    if (b->IsMultipart()) {
      StructuredValue ct = StructuredValue::Parse(header.Get("Content-Type"));
      const std::string* old = ct.Param("boundary");
      boundary = old ? *old : std::string();
      if (boundary.empty() || BoundaryClash(b, boundary)) {
        boundary = NewBoundary();
        if (ct.value().empty()) ct.set_value(b->type + "/" + b->subtype);
        ct.SetParam("boundary", boundary);
        header.Set("Content-Type", ct.ToString(), true);
        header_edited = true;
      }
      if (b->transfer_encoding == "base64" || b->transfer_encoding == "quoted-printable") {
        header.Remove("Content-Transfer-Encoding");
        header_edited = true;
      }
    } else if (b->IsContainer()) {
      if (b->transfer_encoding == "base64" || b->transfer_encoding == "quoted-printable") {
        header.Remove("Content-Transfer-Encoding");
        header_edited = true;
      }
    } else if (b->content_changed) {
      encoding = ChooseEncoding(*b);
      if (encoding == "7bit" && b->transfer_encoding.empty()) {
        // 7bit is the default; leave the header as it is.
      } else if (encoding != b->transfer_encoding) {
        header.Set("Content-Transfer-Encoding", encoding, true);
        header_edited = true;
      }
    }
    if (!b->parent && header_edited && header.Find("Content-Type") && !header.Find("MIME-Version")) {
      header.Set("MIME-Version", "1.0", true);  // a message that declares MIME says so
    }
    if (!header_edited) {
      w.out.append(*b->buffer, b->part_begin, b->body_begin - b->part_begin);
    } else {
      header.Serialize(&w.out);
    }
    const size_t content_at = w.out.size();
    if (b->IsMultipart()) {
      w.out.append(b->preamble);
      for (Body* c : b->children) {
        w.out.append("--").append(boundary).append("\r\n");
        Write(c, w);
        w.out.append("\r\n");
      }
      w.out.append("--").append(boundary).append("--\r\n");
      w.out.append(b->epilogue);
    } else if (b->IsContainer()) {
      Write(b->children[0], w);
    } else if (!b->content_changed && b->raw_content) {
      w.out.append(*b->buffer, b->body_begin, b->part_end - b->body_begin);
    } else if (encoding == "base64") {
      base64_encode(b->content, &w.out);
    } else if (encoding == "quoted-printable") {
      qp_encode(b->content, true, &w.out);
    } else {
      w.out.append(b->content);
    }
    if (w.placements) {
      w.placements->push_back(Placement{b, at, content_at, w.out.size(), false});
    }
  }

  // True when a changed leaf below `b` holds the boundary text, which would
  // cut the multipart short on the next parse.
  static bool BoundaryClash(const Body* b, const std::string& boundary) {
    const std::string delim = "--" + boundary;
    std::vector<const Body*> stack(b->children.begin(), b->children.end());
    while (!stack.empty()) {
      const Body* x = stack.back();
      stack.pop_back();
      if (x->content_changed && x->content.find(delim) != std::string::npos) return true;
      for (const Body* c : x->children) stack.push_back(c);
    }
    return false;
  }

  std::string Serialize() const {
    Writer w;
    Write(root_, w);
    return std::move(w.out);
  }

  void Commit() {
    std::vector<Placement> placements;
    Writer w;
    w.placements = &placements;
    Write(root_, w);
    auto buffer = std::make_shared<const std::string>(std::move(w.out));
    for (const Placement& p : placements) {
      Body* b = p.body;
      b->buffer = buffer;
      b->part_begin = p.part_begin;
      b->body_begin = p.body_begin;
      b->part_end = p.part_end;
      if (!p.verbatim) {
        // Re-read the header as written so raw values match the new bytes.
        const std::string_view head(buffer->data() + p.part_begin, p.body_begin - p.part_begin);
        Header::Parse(head, &b->header);
        Refresh(b);
        if (b->content_changed) b->opaque = b->opaque || b->type == "multipart";
        b->content_changed = false;
        b->structure_changed = false;
        b->content.clear();
        b->content.shrink_to_fit();
        b->raw_part = true;
        b->raw_content = true;
      }
    }
    source_ = std::move(buffer);
  }

  // ---- tree helpers --------------------------------------------------------

  static int Depth(const Body* b) {
    int d = 0;
    for (; b->parent; b = b->parent) ++d;
    return d;
  }

  static bool IsEmptyBody(const Body* b) {
    return b->children.empty() && (b->content_changed ? b->content.empty()
                                                       : (!b->raw_content || b->body_begin >= b->part_end));
  }

  // Moves b's content, content fields and children into a new first child,
  // making b multipart/mixed. An empty b simply becomes multipart/mixed.
  Body* WrapIntoMixed(Body* b) {
    const bool had_type = b->header.Find("Content-Type") != nullptr;
    Body* moved = nullptr;
    if (!IsEmptyBody(b) || had_type) {
      moved = NewBody();
      moved->parent = b;
      auto& fields = b->header.mutable_fields();
      std::vector<HeaderField> keep;
      auto& mf = moved->header.mutable_fields();
      for (auto& f : fields) {
        (IsContentField(f.name) ? mf : keep).push_back(std::move(f));
      }
      fields = std::move(keep);
      moved->type = b->type;
      moved->subtype = b->subtype;
      moved->transfer_encoding = b->transfer_encoding;
      moved->part_begin = b->body_begin;
      MoveContent(b, moved);
      moved->structure_changed = true;
    }
    b->children.clear();
    if (moved) b->children.push_back(moved);
    Renumber(b);
    b->content.clear();
    b->content_changed = false;
    b->raw_content = false;
    b->opaque = false;
    b->preamble.clear();
    b->epilogue.clear();
    b->header.Remove("Content-Transfer-Encoding");
    b->header.Set("Content-Type", "multipart/mixed; boundary=\"" + NewBoundary() + "\"", true);
    if (!b->header.Find("MIME-Version") && !b->parent) b->header.Set("MIME-Version", "1.0", true);
    Refresh(b);
    b->structure_changed = true;
    return moved;
  }

  Body* root_ = nullptr;
  BodyHandle base_ = 0;
  std::vector<std::unique_ptr<Body>> slots_;
  size_t live_ = 0;
  std::shared_ptr<const std::string> source_;
};

// ---- Message ---------------------------------------------------------------

Message::Message() : impl_(std::make_unique<Impl>()) {}
Message::~Message() = default;

void Message::Load(std::string source) {
  impl_->Reset();
  auto buffer = std::make_shared<const std::string>(std::move(source));
  impl_->source_ = buffer;
  impl_->Parse(impl_->root_, buffer, 0, buffer->size(), 0);
}

const std::string& Message::source() const { return *impl_->source_; }

std::string Message::Serialize() const { return impl_->Serialize(); }

void Message::Commit() { impl_->Commit(); }

bool Message::IsDirty() const { return !Impl::Clean(impl_->root_); }

BodyHandle Message::root() const { return impl_->root_->handle; }

bool Message::IsValid(BodyHandle h) const { return impl_->Get(h) != nullptr; }

Status Message::GetBody(Location loc, BodyHandle pivot, BodyHandle* out) const {
  *out = kNoBody;
  if (loc == Location::kRoot) {
    *out = impl_->root_->handle;
    return Status::kOk;
  }
  const Body* b = impl_->Get(pivot);
  if (!b) return Status::kInvalidHandle;
  const Body* r = nullptr;
  switch (loc) {
    case Location::kParent:
      r = b->parent;
      break;
    case Location::kFirst:
      r = b->children.empty() ? nullptr : b->children.front();
      break;
    case Location::kLast:
      r = b->children.empty() ? nullptr : b->children.back();
      break;
    case Location::kNext:
    case Location::kPrevious: {
      if (!b->parent) break;
      if (loc == Location::kNext) r = NextSibling(b);
      if (loc == Location::kPrevious && b->index > 0) r = b->parent->children[b->index - 1];
      break;
    }
    default:
      return Status::kInvalidArg;
  }
  if (!r) return Status::kNotFound;
  *out = r->handle;
  return Status::kOk;
}

Status Message::InsertBody(Location loc, BodyHandle pivot, BodyHandle* out) {
  *out = kNoBody;
  if (loc == Location::kRoot) {
    if (!Impl::IsEmptyBody(impl_->root_)) return Status::kInvalidArg;
    *out = impl_->root_->handle;
    return Status::kOk;
  }
  Body* p = impl_->Get(pivot);
  if (!p) return Status::kInvalidHandle;
  if (impl_->live_ >= kMaxBodies) return Status::kTooDeep;
  Body* parent = nullptr;
  size_t index = 0;
  switch (loc) {
    case Location::kFirst:
    case Location::kLast:
      if (Impl::Depth(p) + 2 > kMaxDepth) return Status::kTooDeep;
      if (p->type == "message" && !p->opaque) return Status::kInvalidArg;
      if (!p->IsMultipart()) impl_->WrapIntoMixed(p);
      parent = p;
      index = loc == Location::kFirst ? 0 : p->children.size();
      break;
    case Location::kNext:
    case Location::kPrevious: {
      if (!p->parent || !p->parent->IsMultipart()) return Status::kInvalidArg;
      parent = p->parent;
      index = p->index + (loc == Location::kNext ? 1 : 0);
      break;
    }
    default:
      return Status::kInvalidArg;
  }
  Body* b = impl_->NewBody();
  b->parent = parent;
  b->digest_child = parent->subtype == "digest";
  Impl::Refresh(b);
  b->content_changed = true;  // empty content, written fresh
  parent->children.insert(parent->children.begin() + static_cast<std::ptrdiff_t>(index), b);
  Renumber(parent);
  parent->structure_changed = true;
  *out = b->handle;
  return Status::kOk;
}

Status Message::DeleteBody(BodyHandle h, uint32_t flags) {
  Body* b = impl_->Get(h);
  if (!b) return Status::kInvalidHandle;
  if (flags > kDeleteChildrenOnly) return Status::kInvalidArg;
  if (flags == kDeleteChildrenOnly) {
    for (Body* c : b->children) impl_->FreeSubtree(c);
    b->children.clear();
    b->structure_changed = true;
    return Status::kOk;
  }
  if (flags == kDeletePromoteChildren) {
    if (!b->parent) {
      if (b->children.size() != 1) return Status::kInvalidArg;
      // The only child takes the root's place: its content fields, content
      // and children move up; the root keeps its other fields.
      Body* c = b->children[0];
      auto& fields = b->header.mutable_fields();
      fields.erase(std::remove_if(fields.begin(), fields.end(),
                                  [](const HeaderField& f) { return IsContentField(f.name); }),
                   fields.end());
      for (const auto& f : c->header.fields()) {
        if (IsContentField(f.name)) fields.push_back(f);
      }
      Impl::Refresh(b);
      MoveContent(c, b);
      c->children.clear();
      impl_->FreeSubtree(c);
      b->structure_changed = true;
      return Status::kOk;
    }
    Body* parent = b->parent;
    auto it = parent->children.begin() + static_cast<std::ptrdiff_t>(b->index);
    std::vector<Body*> kids = std::move(b->children);
    b->children.clear();
    for (Body* k : kids) {
      k->parent = parent;
      k->digest_child = false;
    }
    it = parent->children.erase(it);
    parent->children.insert(it, kids.begin(), kids.end());
    Renumber(parent);
    impl_->FreeSubtree(b);
    parent->structure_changed = true;
    return Status::kOk;
  }
  if (!b->parent) {
    // Deleting the root empties the message but keeps its non-content fields.
    for (Body* c : b->children) impl_->FreeSubtree(c);
    b->children.clear();
    auto& fields = b->header.mutable_fields();
    fields.erase(std::remove_if(fields.begin(), fields.end(),
                                [](const HeaderField& f) { return IsContentField(f.name); }),
                 fields.end());
    Impl::Refresh(b);
    b->opaque = false;
    b->content.clear();
    b->content_changed = true;
    b->raw_content = false;
    b->preamble.clear();
    b->epilogue.clear();
    b->structure_changed = true;
    return Status::kOk;
  }
  Body* parent = b->parent;
  parent->children.erase(parent->children.begin() + static_cast<std::ptrdiff_t>(b->index));
  Renumber(parent);
  impl_->FreeSubtree(b);
  parent->structure_changed = true;
  return Status::kOk;
}

BodyHandle Message::FindNext(BodyHandle after, std::string_view pri, std::string_view sub) const {
  const Body* b;
  if (after == kNoBody) {
    b = impl_->root_;
  } else {
    const Body* a = impl_->Get(after);
    if (!a) return kNoBody;
    // Pre-order successor of `a`.
    if (!a->children.empty()) {
      b = a->children.front();
    } else {
      b = nullptr;
      while (a->parent) {
        if ((b = NextSibling(a)) != nullptr) break;
        a = a->parent;
      }
    }
  }
  while (b) {
    if ((pri.empty() || ascii::EqualsIgnoreCase(pri, b->type)) && (sub.empty() || ascii::EqualsIgnoreCase(sub, b->subtype))) {
      return b->handle;
    }
    if (!b->children.empty()) {
      b = b->children.front();
      continue;
    }
    const Body* next = nullptr;
    while (b->parent && !next) {
      next = NextSibling(b);
      if (!next) b = b->parent;
    }
    b = next;
  }
  return kNoBody;
}

size_t Message::CountBodies(BodyHandle parent, bool recurse) const {
  const Body* b = impl_->Get(parent);
  if (!b) return 0;
  if (!recurse) return b->children.size();
  size_t n = 0;
  std::vector<const Body*> stack{b};
  while (!stack.empty()) {
    const Body* x = stack.back();
    stack.pop_back();
    ++n;
    for (const Body* c : x->children) stack.push_back(c);
  }
  return n;
}

bool Message::IsContentType(BodyHandle h, std::string_view pri, std::string_view sub) const {
  const Body* b = impl_->Get(h);
  if (!b) return false;
  return (pri.empty() || ascii::EqualsIgnoreCase(pri, b->type)) && (sub.empty() || ascii::EqualsIgnoreCase(sub, b->subtype));
}

std::string Message::PrimaryType(BodyHandle h) const {
  const Body* b = impl_->Get(h);
  return b ? b->type : std::string();
}

std::string Message::SubType(BodyHandle h) const {
  const Body* b = impl_->Get(h);
  return b ? b->subtype : std::string();
}

bool Message::IsMultipart(BodyHandle h) const {
  const Body* b = impl_->Get(h);
  return b && b->IsMultipart();
}

bool Message::IsAttachment(BodyHandle h) const {
  const Body* b = impl_->Get(h);
  if (!b || b->IsMultipart()) return false;
  const StructuredValue disp = StructuredValue::Parse(b->header.Get("Content-Disposition"));
  const std::string kind = ascii::Lower(disp.value());
  if (kind == "attachment") return true;
  const StructuredValue ct = StructuredValue::Parse(b->header.Get("Content-Type"));
  const bool named = (disp.Param("filename") && !disp.Param("filename")->empty()) ||
                     (ct.Param("name") && !ct.Param("name")->empty());
  if (named) return true;
  if (kind == "inline") return b->type != "text" && b->type != "message" && b->type != "multipart";
  if (b->type == "message") return b->parent != nullptr;
  return b->type != "text" && b->type != "multipart";
}

bool Message::IsEmpty(BodyHandle h) const {
  const Body* b = impl_->Get(h);
  return b && Impl::IsEmptyBody(b);
}

bool Message::HasCharset(BodyHandle h) const {
  const Body* b = impl_->Get(h);
  if (!b) return false;
  const StructuredValue ct = StructuredValue::Parse(b->header.Get("Content-Type"));
  return ct.Param("charset") != nullptr;
}

std::vector<BodyHandle> Message::GetAttachments() const {
  std::vector<BodyHandle> out;
  std::vector<const Body*> stack{impl_->root_};
  while (!stack.empty()) {
    const Body* b = stack.back();
    stack.pop_back();
    if (IsAttachment(b->handle)) {
      out.push_back(b->handle);
      continue;  // an attached message is one attachment
    }
    for (size_t i = b->children.size(); i-- > 0;) stack.push_back(b->children[i]);
  }
  return out;
}

Status Message::AttachFile(std::string_view file_name, std::string data, BodyHandle* out) {
  *out = kNoBody;
  Body* root = impl_->root_;
  if (impl_->live_ + 2 >= kMaxBodies) return Status::kTooDeep;
  if (!(root->IsMultipart() && root->subtype == "mixed")) impl_->WrapIntoMixed(root);
  Body* b = impl_->NewBody();
  b->parent = root;
  b->index = root->children.size();
  root->children.push_back(b);
  root->structure_changed = true;
  const std::string type = TypeForFile(file_name);
  StructuredValue ct;
  ct.set_value(type);
  if (!file_name.empty()) ct.SetParam("name", file_name);
  b->header.Set("Content-Type", ct.ToString(), true);
  StructuredValue disp;
  disp.set_value("attachment");
  if (!file_name.empty()) disp.SetParam("filename", file_name);
  b->header.Set("Content-Disposition", disp.ToString(), true);
  Impl::Refresh(b);
  b->opaque = b->type == "message" || b->type == "multipart";
  b->content = std::move(data);
  b->content_changed = true;
  *out = b->handle;
  return Status::kOk;
}

Status Message::GetContent(BodyHandle h, std::string* out) const {
  out->clear();
  const Body* b = impl_->Get(h);
  if (!b) return Status::kInvalidHandle;
  if (b->IsMultipart() || b->IsContainer()) {
    if (Impl::Clean(b)) {
      const std::string_view raw(b->buffer->data() + b->body_begin, b->part_end - b->body_begin);
      if (b->IsContainer()) {
        DecodeTransfer(raw, b->transfer_encoding, out);
      } else {
        out->assign(raw);
      }
      return Status::kOk;
    }
    // Changed: serialise the body and take what follows its header.
    Impl::Writer w;
    std::vector<Impl::Placement> placements;
    w.placements = &placements;
    impl_->Write(const_cast<Body*>(b), w);
    const Impl::Placement& top = placements.back();
    out->assign(w.out, top.body_begin, top.part_end - top.body_begin);
    return Status::kOk;
  }
  if (b->content_changed) {
    *out = b->content;
  } else if (b->raw_content) {
    const std::string_view raw(b->buffer->data() + b->body_begin, b->part_end - b->body_begin);
    DecodeTransfer(raw, b->transfer_encoding, out);
  }
  return Status::kOk;
}

Status Message::GetText(BodyHandle h, std::string* utf8) const {
  std::string bytes;
  const Status s = GetContent(h, &bytes);
  if (s != Status::kOk) return s;
  const Body* b = impl_->Get(h);
  if (b->type == "text") {
    const StructuredValue ct = StructuredValue::Parse(b->header.Get("Content-Type"));
    const std::string* cs = ct.Param("charset");
    *utf8 = charset_to_utf8(bytes, cs ? *cs : std::string());
  } else {
    *utf8 = std::move(bytes);
  }
  return Status::kOk;
}

Status Message::SetContent(BodyHandle h, std::string bytes, std::string_view pri, std::string_view sub) {
  Body* b = impl_->Get(h);
  if (!b) return Status::kInvalidHandle;
  if (ascii::EqualsIgnoreCase(pri, "multipart")) return Status::kInvalidArg;
  if (!pri.empty() && !sub.empty()) {
    StructuredValue ct = StructuredValue::Parse(b->header.Get("Content-Type"));
    ct.set_value(ascii::Lower(pri) + "/" + ascii::Lower(sub));
    ct.RemoveParam("boundary");
    if (!ascii::EqualsIgnoreCase(pri, "text")) ct.RemoveParam("charset");
    b->header.Set("Content-Type", ct.ToString(), true);
    Impl::Refresh(b);
  }
  for (Body* c : b->children) impl_->FreeSubtree(c);
  if (!b->children.empty()) b->structure_changed = true;
  b->children.clear();
  b->preamble.clear();
  b->epilogue.clear();
  // Content set as bytes is kept as it is, even for multipart or message types.
  b->opaque = b->type == "multipart" || b->type == "message";
  b->content = std::move(bytes);
  b->content_changed = true;
  b->raw_content = false;
  return Status::kOk;
}

Status Message::SetText(BodyHandle h, std::string_view utf8, std::string_view pri, std::string_view sub) {
  Body* b = impl_->Get(h);
  if (!b) return Status::kInvalidHandle;
  const bool text = pri.empty() || sub.empty() ? b->type == "text" : ascii::EqualsIgnoreCase(pri, "text");
  std::string bytes(utf8);
  std::string charset;
  if (text) {
    const StructuredValue ct = StructuredValue::Parse(b->header.Get("Content-Type"));
    const std::string* declared = ct.Param("charset");
    std::string converted;
    if (declared && b->type == "text" && utf8_to_charset(utf8, *declared, &converted)) {
      bytes = std::move(converted);
      charset = *declared;
    } else {
      charset = "utf-8";
    }
  }
  const Status s = SetContent(h, std::move(bytes), pri, sub);
  if (s != Status::kOk) return s;
  if (text) {
    StructuredValue ct = StructuredValue::Parse(b->header.Get("Content-Type"));
    if (ct.value().empty()) ct.set_value(b->type + "/" + b->subtype);
    ct.SetParam("charset", charset);
    b->header.Set("Content-Type", ct.ToString(), true);
    Impl::Refresh(b);
  }
  return Status::kOk;
}

Status Message::EmptyContent(BodyHandle h) {
  Body* b = impl_->Get(h);
  if (!b) return Status::kInvalidHandle;
  return SetContent(h, std::string(), {}, {});
}

Status Message::GetProp(BodyHandle h, std::string_view name, std::string* value) const {
  value->clear();
  const Body* b = impl_->Get(h);
  if (!b) return Status::kInvalidHandle;
  if (ascii::StartsWithIgnoreCase(name, "par:")) {
    std::string_view field, param;
    if (!SplitParameterName(name, &field, &param)) return Status::kInvalidArg;
    bool found = false;
    const StructuredValue sv = StructuredValue::Parse(b->header.Get(field, &found));
    const std::string* p = found ? sv.Param(param) : nullptr;
    if (!p && ascii::EqualsIgnoreCase(field, "content-disposition") && ascii::EqualsIgnoreCase(param, "filename")) {
      // Many mailers name attachments only in Content-Type.
      const StructuredValue ct = StructuredValue::Parse(b->header.Get("Content-Type"));
      p = ct.Param("name");
      if (p) {
        *value = *p;
        return Status::kOk;
      }
    }
    if (!p) return Status::kNotFound;
    *value = *p;
    return Status::kOk;
  }
  if (ascii::StartsWithIgnoreCase(name, "att:")) {
    const std::string att = ascii::Lower(name.substr(4));
    if (const char* field = PersistentAttributeField(att)) return GetProp(h, field, value);
    if (att == "pri-content-type") {
      *value = b->type;
      return Status::kOk;
    }
    if (att == "sub-content-type") {
      *value = b->subtype;
      return Status::kOk;
    }
    for (const auto& [n, v] : b->attributes) {
      if (ascii::EqualsIgnoreCase(n, name)) {
        *value = v;
        return Status::kOk;
      }
    }
    if (att == "normalized-subject") {
      bool found = false;
      const std::string subject = b->header.Get("Subject", &found);
      if (!found) return Status::kNotFound;
      *value = normalize_subject(decode_header_words(subject));
      return Status::kOk;
    }
    if (att == "filename") {
      if (GetProp(h, "par:content-disposition:filename", value) == Status::kOk && !value->empty()) {
        return Status::kOk;
      }
      return Status::kNotFound;
    }
    if (att == "generated-filename") {
      *value = DisplayName(h);
      return Status::kOk;
    }
    if (att == "priority") {
      *value = std::to_string(priority_from_fields(b->header.Get("X-Priority"),
                                                   b->header.Get("X-MSMail-Priority"),
                                                   b->header.Get("Importance")));
      return Status::kOk;
    }
    return Status::kNotFound;
  }
  if (!IsValidFieldName(name)) return Status::kInvalidArg;
  if (ascii::EqualsIgnoreCase(name, "Content-Type")) {
    *value = b->type + "/" + b->subtype;
    return Status::kOk;
  }
  bool found = false;
  const std::string raw = b->header.Get(name, &found);
  if (!found) return Status::kNotFound;
  if (ascii::EqualsIgnoreCase(name, "Content-Disposition")) {
    *value = StructuredValue::Parse(raw).value();
    return Status::kOk;
  }
  // Raw 8-bit text in a field is most likely in the body's charset.
  const StructuredValue ct = StructuredValue::Parse(b->header.Get("Content-Type"));
  const std::string* charset = ct.Param("charset");
  *value = decode_header_words(raw, charset ? *charset : std::string());
  return Status::kOk;
}

Status Message::SetProp(BodyHandle h, std::string_view name, std::string_view value) {
  Body* b = impl_->Get(h);
  if (!b) return Status::kInvalidHandle;
  if (ascii::StartsWithIgnoreCase(name, "par:")) {
    std::string_view field, param;
    if (!SplitParameterName(name, &field, &param)) return Status::kInvalidArg;
    if (!IsValidFieldName(field) || param.empty()) return Status::kInvalidArg;
    bool found = false;
    StructuredValue sv = StructuredValue::Parse(b->header.Get(field, &found));
    if (sv.value().empty()) {
      if (ascii::EqualsIgnoreCase(field, "content-type")) sv.set_value(b->type + "/" + b->subtype);
      if (ascii::EqualsIgnoreCase(field, "content-disposition")) sv.set_value("attachment");
    }
    sv.SetParam(ascii::Lower(param), value);
    b->header.Set(field, sv.ToString(), true);
    Impl::Refresh(b);
    return Status::kOk;
  }
  if (ascii::StartsWithIgnoreCase(name, "att:")) {
    const std::string att = ascii::Lower(name.substr(4));
    if (const char* field = PersistentAttributeField(att)) return SetProp(h, field, value);
    if (att == "pri-content-type" || att == "sub-content-type") {
      const std::string v = ascii::Lower(ascii::Trim(value));
      if (v.empty() || v.find('/') != std::string::npos) return Status::kInvalidArg;
      const std::string full = att[0] == 'p' ? v + "/" + b->subtype : b->type + "/" + v;
      return SetProp(h, "Content-Type", full);
    }
    if (att == "normalized-subject" || att == "filename" || att == "generated-filename" ||
        att == "priority") {
      return Status::kReadOnly;
    }
    for (auto& [n, v] : b->attributes) {
      if (ascii::EqualsIgnoreCase(n, name)) {
        v = std::string(value);
        return Status::kOk;
      }
    }
    b->attributes.emplace_back(std::string(name), std::string(value));
    return Status::kOk;
  }
  if (!IsValidFieldName(name)) return Status::kInvalidArg;
  {
    // Writing back the value a field already has changes nothing: copying
    // properties from one message to another must not collapse repeated
    // fields (Received) or mark bodies as changed.
    std::string current;
    if (GetProp(h, name, &current) == Status::kOk && current == value) return Status::kOk;
  }
  if (ascii::EqualsIgnoreCase(name, "Content-Type")) {
    StructuredValue given = StructuredValue::Parse(value);
    const std::string v = ascii::Lower(given.value());
    const size_t slash = v.find('/');
    if (slash == std::string::npos || slash == 0 || slash + 1 >= v.size()) return Status::kInvalidArg;
    const bool to_multipart = v.compare(0, slash, "multipart") == 0;
    if (to_multipart != b->IsMultipart() && !(to_multipart && Impl::IsEmptyBody(b))) {
      return Status::kInvalidArg;  // would orphan children or content
    }
    StructuredValue ct = StructuredValue::Parse(b->header.Get("Content-Type"));
    if (!given.params().empty()) {
      ct = given;
    } else {
      ct.set_value(v);
    }
    if (to_multipart && !ct.Param("boundary")) ct.SetParam("boundary", NewBoundary());
    b->header.Set("Content-Type", ct.ToString(), true);
    Impl::Refresh(b);
    b->opaque = false;
    if (to_multipart && !b->IsMultipart()) b->structure_changed = true;
    return Status::kOk;
  }
  b->header.Set(name, value, false);
  Impl::Refresh(b);
  return Status::kOk;
}

Status Message::DeleteProp(BodyHandle h, std::string_view name) {
  Body* b = impl_->Get(h);
  if (!b) return Status::kInvalidHandle;
  if (ascii::StartsWithIgnoreCase(name, "par:")) {
    const std::string_view rest = name.substr(4);
    const size_t colon = rest.rfind(':');
    if (colon == std::string_view::npos) return Status::kInvalidArg;
    const std::string_view field = rest.substr(0, colon);
    bool found = false;
    StructuredValue sv = StructuredValue::Parse(b->header.Get(field, &found));
    if (!found || !sv.RemoveParam(rest.substr(colon + 1))) return Status::kNotFound;
    if (ascii::EqualsIgnoreCase(rest.substr(colon + 1), "boundary") && b->IsMultipart()) {
      return Status::kInvalidArg;
    }
    b->header.Set(field, sv.ToString(), true);
    Impl::Refresh(b);
    return Status::kOk;
  }
  if (ascii::StartsWithIgnoreCase(name, "att:")) {
    if (const char* field = PersistentAttributeField(name.substr(4))) return DeleteProp(h, field);
    auto& a = b->attributes;
    const auto it = std::find_if(a.begin(), a.end(), [&](const auto& p) { return ascii::EqualsIgnoreCase(p.first, name); });
    if (it == a.end()) return Status::kNotFound;
    a.erase(it);
    return Status::kOk;
  }
  if (!IsValidFieldName(name)) return Status::kInvalidArg;
  if (ascii::EqualsIgnoreCase(name, "Content-Type") && (b->IsMultipart() || b->IsContainer())) {
    return Status::kInvalidArg;
  }
  if (!b->header.Remove(name)) return Status::kNotFound;
  Impl::Refresh(b);
  return Status::kOk;
}

std::vector<std::string> Message::PropertyNames(BodyHandle h) const {
  std::vector<std::string> out;
  const Body* b = impl_->Get(h);
  if (!b) return out;
  std::unordered_set<std::string> seen;  // keeps headers with many fields linear
  for (const auto& f : b->header.fields()) {
    if (seen.insert(ascii::Lower(f.name)).second) out.push_back(f.name);
  }
  for (const auto& a : b->attributes) out.push_back(a.first);
  return out;
}

std::string Message::DisplayName(BodyHandle h) const {
  const Body* b = impl_->Get(h);
  if (!b) return std::string();
  if (!b->display_name.empty()) return b->display_name;
  std::string name;
  if (GetProp(h, "par:content-disposition:filename", &name) == Status::kOk && !name.empty()) return name;
  if (b->IsContainer()) {
    std::string subject;
    const Body* inner = b->children[0];
    subject = normalize_subject(decode_header_words(inner->header.Get("Subject")));
    for (auto& c : subject) {
      if (std::strchr("\\/:*?\"<>|", c) || static_cast<unsigned char>(c) < 32) c = '_';
    }
    if (subject.size() > 200) subject.resize(200);
    return (subject.empty() ? std::string("attachment") : subject) + ".eml";
  }
  return "attachment" + ExtensionForType(b->type, b->subtype);
}

Status Message::SetDisplayName(BodyHandle h, std::string_view name) {
  Body* b = impl_->Get(h);
  if (!b) return Status::kInvalidHandle;
  b->display_name = std::string(name);
  return Status::kOk;
}

}  // namespace mimeengine
