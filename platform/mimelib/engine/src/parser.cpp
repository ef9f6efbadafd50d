#include "parser.h"

#include <algorithm>
#include <string_view>
#include <utility>
#include <vector>

namespace mimeengine {
namespace {

// A part still to be parsed: [begin, end) of `buffer` goes into `body`.
struct Job {
  Body* body;
  std::shared_ptr<const std::string> buffer;
  size_t begin, end;
  int depth;
};

// Where each part of a multipart's content lies, relative to the content.
struct Range {
  size_t begin, end;
};

class Parser {
 public:
  explicit Parser(BodyTable* bodies) : bodies_(bodies) {}

  void Run(Job first) {
    jobs_.push_back(std::move(first));
    while (!jobs_.empty()) {
      Job job = std::move(jobs_.back());
      jobs_.pop_back();
      ParseOne(job);
    }
  }

 private:
  void ParseOne(const Job& job) {
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
    b->RefreshType();
    if (b->type == "multipart") {
      const StructuredValue ct = b->ContentType();
      const std::string* boundary = ct.Param("boundary");
      if (!boundary || boundary->empty() || job.depth >= kMaxDepth) {
        b->opaque = true;
        return;
      }
      SplitMultipart(b, job, *boundary);
    } else if (b->type == "message" &&
               (b->subtype == "rfc822" || b->subtype == "news" || b->subtype == "global")) {
      if (job.depth >= kMaxDepth || bodies_->size() >= kMaxBodies) {
        b->opaque = true;
        return;
      }
      Body* child = bodies_->New();
      child->parent = b;
      b->children.push_back(child);
      if (b->IsTransferEncoded()) {
        auto decoded = std::make_shared<std::string>();
        b->AppendDecodedContent(decoded.get());
        const size_t n = decoded->size();
        jobs_.push_back(Job{child, std::move(decoded), 0, n, job.depth + 1});
      } else {
        jobs_.push_back(Job{child, job.buffer, b->body_begin, job.end, job.depth + 1});
      }
    }
  }

  void SplitMultipart(Body* b, const Job& job, const std::string& boundary) {
    const std::string_view content = b->RawContent();
    std::vector<Range> parts;
    if (!FindParts(content, "--" + boundary, b, &parts)) return;
    if (bodies_->size() + parts.size() > kMaxBodies) {
      b->opaque = true;
      b->preamble.clear();
      b->epilogue.clear();
      return;
    }
    const bool digest = b->subtype == "digest";
    const size_t base = b->body_begin;
    for (size_t i = 0; i < parts.size(); ++i) {
      Body* child = bodies_->New();
      child->parent = b;
      child->digest_child = digest;
      child->index = i;
      b->children.push_back(child);
    }
    // Push in reverse so that children are parsed in order (handles ascend).
    for (size_t i = parts.size(); i-- > 0;) {
      jobs_.push_back(Job{b->children[i], job.buffer, base + parts[i].begin, base + parts[i].end,
                          job.depth + 1});
    }
  }

  // Splits a multipart's content at its delimiter lines into `parts`,
  // keeping the preamble and epilogue in `b`. Two delimiter lines in a row make no part.
  // False when there is no delimiter at all (the whole content is preamble).
  static bool FindParts(std::string_view content, const std::string& delim, Body* b,
                        std::vector<Range>* parts) {
    bool close = false;
    size_t p = FindDelimiter(content, delim, 0, &close);
    if (p == std::string_view::npos) {
      b->preamble = std::string(content);
      return false;
    }
    b->preamble = std::string(content.substr(0, p));
    b->epilogue.clear();
    while (p != std::string_view::npos) {
      const size_t after = LineEnd(content, p);
      if (close) {
        b->epilogue = std::string(content.substr(after));
        break;
      }
      bool next_close = false;
      const size_t next = FindDelimiter(content, delim, after, &next_close);
      size_t end = next == std::string_view::npos ? content.size() : next;
      if (next != std::string_view::npos && end > after) {
        --end;  // the line break before the delimiter belongs to it
        if (end > after && content[end - 1] == '\r') --end;
      }
      // Two delimiter lines in a row hold no part: an empty phantom would
      // only stand in front of the real ones, and it has no byte to keep.
      if (next != after) parts->push_back(Range{after, std::max(after, end)});
      p = next;
      close = next_close;
    }
    return true;
  }

  // A delimiter line starts with "--boundary" and goes on with blanks, a line
  // end or "--" (`close`); anything else is a longer boundary or text.
  static size_t FindDelimiter(std::string_view content, const std::string& delim, size_t from,
                              bool* close) {
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
  }

  // Just past the line that holds `p`.
  static size_t LineEnd(std::string_view content, size_t p) {
    const size_t e = content.find('\n', p);
    return e == std::string_view::npos ? content.size() : e + 1;
  }

  BodyTable* bodies_;
  std::vector<Job> jobs_;
};

}  // namespace

void ParseTree(std::shared_ptr<const std::string> source, Body* root, BodyTable* bodies) {
  const size_t end = source->size();
  Parser(bodies).Run(Job{root, std::move(source), 0, end, 0});
}

}  // namespace mimeengine
