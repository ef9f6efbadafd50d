// Message: the body tree (navigation, insertion, deletion, search, content
// type tests and attachments).
#include <algorithm>
#include <utility>
#include <vector>

#include "ascii.h"
#include "media_types.h"
#include "message_impl.h"

namespace mimeengine {
namespace {

// The sibling after `b`, or nullptr.
Body* NextSibling(const Body* b) {
  if (!b->parent || b->index + 1 >= b->parent->children.size()) return nullptr;
  return b->parent->children[b->index + 1];
}

// The body after `b` in a pre-order walk of the whole tree, or nullptr.
const Body* PreorderNext(const Body* b) {
  if (!b->children.empty()) return b->children.front();
  for (; b->parent; b = b->parent) {
    if (const Body* next = NextSibling(b)) return next;
  }
  return nullptr;
}

int Depth(const Body* b) {
  int d = 0;
  for (; b->parent; b = b->parent) ++d;
  return d;
}

bool TypeMatches(const Body* b, std::string_view pri, std::string_view sub) {
  return (pri.empty() || ascii::EqualsIgnoreCase(pri, b->type)) &&
         (sub.empty() || ascii::EqualsIgnoreCase(sub, b->subtype));
}

// A part read from a source with neither header fields nor content
// ("--b", an empty line, "--b"): it is text/plain only by default and holds
// nothing that a search by type looks for.
bool IsBlankPart(const Body* b) {
  return b->parent && b->raw_part && b->header.empty() && b->children.empty() && b->IsEmpty();
}

// Content-* fields describe a body's content and move with it.
bool IsContentField(std::string_view name) { return ascii::StartsWithIgnoreCase(name, "content-"); }

void RemoveContentFields(Header* header) { header->Take(IsContentField); }

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
  to->Renumber();
}

// Moves b's content, content fields and children into a new first child,
// making b multipart/mixed. An empty b simply becomes multipart/mixed.
void WrapIntoMixed(Body* b, BodyTable* bodies) {
  Body* moved = nullptr;
  if (!b->IsEmpty() || b->header.Find("Content-Type")) {
    moved = bodies->New();
    moved->parent = b;
    for (auto& f : b->header.Take(IsContentField)) moved->header.Append(std::move(f));
    moved->type = b->type;
    moved->subtype = b->subtype;
    moved->transfer_encoding = b->transfer_encoding;
    moved->part_begin = b->body_begin;
    MoveContent(b, moved);
    moved->structure_changed = true;
  }
  b->children.clear();
  if (moved) b->children.push_back(moved);
  b->Renumber();
  b->content.clear();
  b->content_changed = false;
  b->raw_content = false;
  b->opaque = false;
  b->preamble.clear();
  b->epilogue.clear();
  b->header.Remove("Content-Transfer-Encoding");
  b->header.Set("Content-Type", "multipart/mixed; boundary=\"" + NewBoundary() + "\"", true);
  if (!b->header.Find("MIME-Version") && !b->parent) b->header.Set("MIME-Version", "1.0", true);
  b->RefreshType();
  b->structure_changed = true;
}

}  // namespace

Status Message::GetBody(Location loc, BodyHandle pivot, BodyHandle* out) const {
  *out = kNoBody;
  if (loc == Location::kRoot) {
    *out = impl_->bodies.root()->handle;
    return Status::kOk;
  }
  const Body* b = impl_->bodies.Get(pivot);
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
      r = NextSibling(b);
      break;
    case Location::kPrevious:
      if (b->parent && b->index > 0) r = b->parent->children[b->index - 1];
      break;
    default:
      return Status::kInvalidArg;
  }
  if (!r) return Status::kNotFound;
  *out = r->handle;
  return Status::kOk;
}

Status Message::InsertBody(Location loc, BodyHandle pivot, BodyHandle* out) {
  *out = kNoBody;
  BodyTable& bodies = impl_->bodies;
  if (loc == Location::kRoot) {
    if (!bodies.root()->IsEmpty()) return Status::kInvalidArg;
    *out = bodies.root()->handle;
    return Status::kOk;
  }
  Body* p = bodies.Get(pivot);
  if (!p) return Status::kInvalidHandle;
  if (bodies.size() >= kMaxBodies) return Status::kTooDeep;
  Body* parent = nullptr;
  size_t index = 0;
  switch (loc) {
    case Location::kFirst:
    case Location::kLast:
      if (Depth(p) + 2 > kMaxDepth) return Status::kTooDeep;
      if (p->type == "message" && !p->opaque) return Status::kInvalidArg;
      if (!p->IsMultipart()) WrapIntoMixed(p, &bodies);
      parent = p;
      index = loc == Location::kFirst ? 0 : p->children.size();
      break;
    case Location::kNext:
    case Location::kPrevious:
      if (!p->parent || !p->parent->IsMultipart()) return Status::kInvalidArg;
      parent = p->parent;
      index = p->index + (loc == Location::kNext ? 1 : 0);
      break;
    default:
      return Status::kInvalidArg;
  }
  Body* b = bodies.New();
  b->parent = parent;
  b->digest_child = parent->subtype == "digest";
  b->RefreshType();
  b->content_changed = true;  // empty content, written fresh
  parent->children.insert(parent->children.begin() + static_cast<std::ptrdiff_t>(index), b);
  parent->Renumber();
  parent->structure_changed = true;
  *out = b->handle;
  return Status::kOk;
}

Status Message::DeleteBody(BodyHandle h, uint32_t flags) {
  BodyTable& bodies = impl_->bodies;
  Body* b = bodies.Get(h);
  if (!b) return Status::kInvalidHandle;
  if (flags > kDeleteChildrenOnly) return Status::kInvalidArg;
  if (flags == kDeleteChildrenOnly) {
    for (Body* c : b->children) bodies.FreeSubtree(c);
    b->children.clear();
    b->structure_changed = true;
    return Status::kOk;
  }
  if (flags == kDeletePromoteChildren && !b->parent) {
    if (b->children.size() != 1) return Status::kInvalidArg;
    // The only child takes the root's place: its content fields, content
    // and children move up; the root keeps its other fields.
    Body* c = b->children[0];
    RemoveContentFields(&b->header);
    for (const auto& f : c->header.fields()) {
      if (IsContentField(f.name)) b->header.Append(f);
    }
    b->RefreshType();
    MoveContent(c, b);
    c->children.clear();
    bodies.FreeSubtree(c);
    b->structure_changed = true;
    return Status::kOk;
  }
  if (!b->parent) {
    // Deleting the root empties the message but keeps its non-content fields.
    for (Body* c : b->children) bodies.FreeSubtree(c);
    b->children.clear();
    RemoveContentFields(&b->header);
    b->RefreshType();
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
  auto it = parent->children.erase(parent->children.begin() + static_cast<std::ptrdiff_t>(b->index));
  if (flags == kDeletePromoteChildren) {
    for (Body* k : b->children) {
      k->parent = parent;
      k->digest_child = false;
    }
    parent->children.insert(it, b->children.begin(), b->children.end());
    b->children.clear();
  }
  parent->Renumber();
  bodies.FreeSubtree(b);
  parent->structure_changed = true;
  return Status::kOk;
}

BodyHandle Message::FindNext(BodyHandle after, std::string_view pri, std::string_view sub) const {
  const Body* b = impl_->bodies.root();
  if (after != kNoBody) {
    const Body* a = impl_->bodies.Get(after);
    if (!a) return kNoBody;
    b = PreorderNext(a);
  }
  // A blank part is found only when no other body of the type follows: a multipart whose one
  // part is blank still has that (empty) text.
  const bool typed = !pri.empty() || !sub.empty();
  const Body* blank = nullptr;
  for (; b; b = PreorderNext(b)) {
    if (!TypeMatches(b, pri, sub)) continue;
    if (!(typed && IsBlankPart(b))) return b->handle;
    if (!blank) blank = b;
  }
  return blank ? blank->handle : kNoBody;
}

size_t Message::CountBodies(BodyHandle parent, bool recurse) const {
  const Body* b = impl_->bodies.Get(parent);
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
  const Body* b = impl_->bodies.Get(h);
  return b && TypeMatches(b, pri, sub);
}

std::string Message::PrimaryType(BodyHandle h) const {
  const Body* b = impl_->bodies.Get(h);
  return b ? b->type : std::string();
}

std::string Message::SubType(BodyHandle h) const {
  const Body* b = impl_->bodies.Get(h);
  return b ? b->subtype : std::string();
}

bool Message::IsMultipart(BodyHandle h) const {
  const Body* b = impl_->bodies.Get(h);
  return b && b->IsMultipart();
}

bool Message::IsAttachment(BodyHandle h) const {
  const Body* b = impl_->bodies.Get(h);
  if (!b || b->IsMultipart()) return false;
  const StructuredValue disp = StructuredValue::Parse(b->header.Get("Content-Disposition"));
  const std::string kind = ascii::Lower(disp.value());
  if (kind == "attachment") return true;
  const StructuredValue ct = b->ContentType();
  const bool named = (disp.Param("filename") && !disp.Param("filename")->empty()) ||
                     (ct.Param("name") && !ct.Param("name")->empty()) || !b->UuencodedName().empty();
  if (named) return true;
  if (kind == "inline") return b->type != "text" && b->type != "message" && b->type != "multipart";
  if (b->type == "message") return b->parent != nullptr;
  return b->type != "text" && b->type != "multipart";
}

bool Message::IsEmpty(BodyHandle h) const {
  const Body* b = impl_->bodies.Get(h);
  return b && b->IsEmpty();
}

bool Message::HasCharset(BodyHandle h) const {
  const Body* b = impl_->bodies.Get(h);
  return b && b->ContentType().Param("charset") != nullptr;
}

std::vector<BodyHandle> Message::GetAttachments() const {
  std::vector<BodyHandle> out;
  std::vector<const Body*> stack{impl_->bodies.root()};
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
  BodyTable& bodies = impl_->bodies;
  Body* root = bodies.root();
  if (bodies.size() + 2 >= kMaxBodies) return Status::kTooDeep;
  if (!(root->IsMultipart() && root->subtype == "mixed")) WrapIntoMixed(root, &bodies);
  Body* b = bodies.New();
  b->parent = root;
  b->index = root->children.size();
  root->children.push_back(b);
  root->structure_changed = true;
  StructuredValue ct;
  ct.set_value(TypeForFile(file_name));
  if (!file_name.empty()) ct.SetParam("name", file_name);
  b->header.Set("Content-Type", ct.ToString(), true);
  StructuredValue disp;
  disp.set_value("attachment");
  if (!file_name.empty()) disp.SetParam("filename", file_name);
  b->header.Set("Content-Disposition", disp.ToString(), true);
  b->RefreshType();
  b->opaque = b->type == "message" || b->type == "multipart";
  b->content = std::move(data);
  b->content_changed = true;
  *out = b->handle;
  return Status::kOk;
}

}  // namespace mimeengine
