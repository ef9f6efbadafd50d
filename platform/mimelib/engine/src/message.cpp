// Message: loading, serialising and content. The tree operations are in
// message_tree.cpp, the properties in message_properties.cpp.
#include "mimeengine/message.h"

#include <utility>

#include "ascii.h"
#include "message_impl.h"
#include "mimeengine/charset.h"
#include "parser.h"
#include "serializer.h"

namespace mimeengine {

Message::Message() : impl_(std::make_unique<Impl>()) {}
Message::~Message() = default;

void Message::Load(std::string source) {
  impl_->bodies.Reset();
  impl_->source = std::make_shared<const std::string>(std::move(source));
  ParseTree(impl_->source, impl_->bodies.root(), &impl_->bodies);
}

const std::string& Message::source() const { return *impl_->source; }

std::string Message::Serialize() const { return WriteBody(impl_->bodies.root()); }

void Message::Commit() { impl_->source = CommitTree(impl_->bodies.root()); }

bool Message::IsDirty() const { return !impl_->bodies.root()->IsUnchanged(); }

BodyHandle Message::root() const { return impl_->bodies.root()->handle; }

bool Message::IsValid(BodyHandle h) const { return impl_->bodies.Get(h) != nullptr; }

Status Message::GetContent(BodyHandle h, std::string* out) const {
  out->clear();
  Body* b = impl_->bodies.Get(h);
  if (!b) return Status::kInvalidHandle;
  if (b->IsMultipart() || b->IsContainer()) {
    if (!b->IsUnchanged()) {
      *out = WriteContent(b);
    } else if (b->IsContainer()) {
      b->AppendDecodedContent(out);
    } else {
      out->assign(b->RawContent());
    }
    return Status::kOk;
  }
  if (b->content_changed) {
    *out = b->content;
  } else if (b->raw_content) {
    b->AppendDecodedContent(out);
  }
  return Status::kOk;
}

Status Message::GetText(BodyHandle h, std::string* utf8) const {
  std::string bytes;
  const Status s = GetContent(h, &bytes);
  if (s != Status::kOk) return s;
  const Body* b = impl_->bodies.Get(h);
  if (b->type == "text") {
    const StructuredValue ct = b->ContentType();
    const std::string* cs = ct.Param("charset");
    *utf8 = charset_to_utf8(bytes, cs ? *cs : std::string());
  } else {
    *utf8 = std::move(bytes);
  }
  return Status::kOk;
}

Status Message::SetContent(BodyHandle h, std::string bytes, std::string_view pri, std::string_view sub) {
  Body* b = impl_->bodies.Get(h);
  if (!b) return Status::kInvalidHandle;
  if (ascii::EqualsIgnoreCase(pri, "multipart")) return Status::kInvalidArg;
  if (!pri.empty() && !sub.empty()) {
    StructuredValue ct = b->ContentType();
    ct.set_value(ascii::Lower(pri) + "/" + ascii::Lower(sub));
    ct.RemoveParam("boundary");
    if (!ascii::EqualsIgnoreCase(pri, "text")) ct.RemoveParam("charset");
    b->header.Set("Content-Type", ct.ToString(), true);
    b->RefreshType();
  }
  for (Body* c : b->children) impl_->bodies.FreeSubtree(c);
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
  Body* b = impl_->bodies.Get(h);
  if (!b) return Status::kInvalidHandle;
  const bool text = pri.empty() || sub.empty() ? b->type == "text" : ascii::EqualsIgnoreCase(pri, "text");
  std::string bytes(utf8);
  std::string charset;
  if (text) {
    const StructuredValue ct = b->ContentType();
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
    StructuredValue ct = b->ContentType();
    if (ct.value().empty()) ct.set_value(b->type + "/" + b->subtype);
    ct.SetParam("charset", charset);
    b->header.Set("Content-Type", ct.ToString(), true);
    b->RefreshType();
  }
  return Status::kOk;
}

Status Message::EmptyContent(BodyHandle h) {
  if (!impl_->bodies.Get(h)) return Status::kInvalidHandle;
  return SetContent(h, std::string(), {}, {});
}

}  // namespace mimeengine
