#include "serializer.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "mimeengine/codec.h"

namespace mimeengine {
namespace {

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
  // A text part written as it is must have CRLF line ends: a bare LF inside a CRLF message is
  // read differently by every reader.
  if (ascii && !nul && !bare_cr && !bare_lf && longest <= 998) return "7bit";
  // Quoted-printable keeps CRLF line breaks as they are; content with bare
  // LFs or CRs or mostly 8-bit bytes goes in base64 so it round-trips exactly.
  if (!bare_lf && !bare_cr && high * 5 < c.size() + 1) return "quoted-printable";
  return "base64";
}

// True when a changed leaf below `b` holds the boundary text, which would
// cut the multipart short on the next parse.
bool BoundaryClash(const Body* b, const std::string& boundary) {
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

// Where a body landed in the output.
struct Placement {
  Body* body;
  size_t part_begin, body_begin, part_end;
  bool verbatim;  // copied from its buffer as it was
};

class Writer {
 public:
  // `placements` (optional) receives where every body landed, each body
  // after the bodies below it.
  explicit Writer(std::vector<Placement>* placements) : placements_(placements) {}

  void Write(Body* b) {
    const size_t at = out_.size();
    if (b->IsUnchanged()) {
      out_.append(*b->buffer, b->part_begin, b->part_end - b->part_begin);
      if (placements_) RecordVerbatim(b, at);
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
    }
    if (b->IsMultipart() || b->IsContainer()) {
      // Bodies with parts are written in the clear.
      if (b->IsTransferEncoded()) {
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
      out_.append(*b->buffer, b->part_begin, b->body_begin - b->part_begin);
    } else {
      header.Serialize(&out_);
    }
    const size_t content_at = out_.size();
    if (b->IsMultipart()) {
      out_.append(b->preamble);
      for (Body* c : b->children) {
        out_.append("--").append(boundary).append("\r\n");
        Write(c);
        out_.append("\r\n");
      }
      out_.append("--").append(boundary).append("--\r\n");
      out_.append(b->epilogue);
    } else if (b->IsContainer()) {
      Write(b->children[0]);
    } else if (!b->content_changed && b->raw_content) {
      out_.append(b->RawContent());
    } else if (encoding == "base64") {
      base64_encode(b->content, &out_);
    } else if (encoding == "quoted-printable") {
      qp_encode(b->content, true, &out_);
    } else {
      out_.append(b->content);
    }
    if (placements_) placements_->push_back(Placement{b, at, content_at, out_.size(), false});
  }

  std::string& out() { return out_; }

 private:
  // Every body of the copied sub-tree that lives in the same buffer moves
  // by the same distance.
  void RecordVerbatim(Body* b, size_t at) {
    const size_t origin = b->part_begin;
    std::vector<Body*> stack{b};
    while (!stack.empty()) {
      Body* x = stack.back();
      stack.pop_back();
      if (x->buffer != b->buffer) continue;
      placements_->push_back(Placement{x, x->part_begin - origin + at, x->body_begin - origin + at,
                                       x->part_end - origin + at, true});
      for (Body* c : x->children) stack.push_back(c);
    }
  }

  std::string out_;
  std::vector<Placement>* placements_;
};

}  // namespace

std::string WriteBody(Body* b) {
  Writer w(nullptr);
  w.Write(b);
  return std::move(w.out());
}

std::string WriteContent(Body* b) {
  std::vector<Placement> placements;
  Writer w(&placements);
  w.Write(b);
  const Placement& top = placements.back();
  return w.out().substr(top.body_begin, top.part_end - top.body_begin);
}

std::shared_ptr<const std::string> CommitTree(Body* root) {
  std::vector<Placement> placements;
  Writer w(&placements);
  w.Write(root);
  auto buffer = std::make_shared<const std::string>(std::move(w.out()));
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
      b->RefreshType();
      if (b->content_changed) b->opaque = b->opaque || b->type == "multipart";
      b->content_changed = false;
      b->structure_changed = false;
      b->content.clear();
      b->content.shrink_to_fit();
      b->raw_part = true;
      b->raw_content = true;
    }
  }
  return buffer;
}

}  // namespace mimeengine
