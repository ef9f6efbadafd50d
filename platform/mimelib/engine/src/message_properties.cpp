// Message: properties by name (header fields, "par:" parameters, "att:"
// attributes) and display names.
#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "ascii.h"
#include "media_types.h"
#include "message_impl.h"
#include "mimeengine/codec.h"
#include "mimeengine/summary.h"

namespace mimeengine {
namespace {

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

bool IsValidFieldName(std::string_view name) {
  if (name.empty() || name.size() > 998) return false;
  for (char c : name) {
    if (static_cast<unsigned char>(c) <= 32 || static_cast<unsigned char>(c) >= 127 || c == ':')
      return false;
  }
  return true;
}

// The account a message is sent through is an attribute, yet it has to travel with the message
// into the store (the Outbox copy is read back from its source), so these two live in the header.
const char* PersistentAttributeField(std::string_view attribute) {
  if (ascii::EqualsIgnoreCase(attribute, "athena-account-id")) return "X-Mail-Account-Id";
  if (ascii::EqualsIgnoreCase(attribute, "athena-account-name")) return "X-Mail-Account-Name";
  return nullptr;
}

// The charset the body declares, which raw 8-bit header bytes are read in when they are not UTF-8.
std::string DeclaredCharset(const Body* b) {
  const StructuredValue ct = b->ContentType();
  const std::string* charset = ct.Param("charset");
  return charset ? *charset : std::string();
}

// A file name from mail may hold bytes its declared charset cannot read, or controls it names;
// shown or saved they would be invisible, so each control character becomes U+FFFD, visible and
// allowed in file names.
std::string VisibleFileName(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  for (size_t i = 0; i < name.size(); ++i) {
    const auto c = static_cast<unsigned char>(name[i]);
    const bool c1 = c == 0xC2 && i + 1 < name.size() && static_cast<unsigned char>(name[i + 1]) >= 0x80 &&
                    static_cast<unsigned char>(name[i + 1]) <= 0x9F;
    if (c < 0x20 || c == 0x7F || c1) {
      out += "\xEF\xBF\xBD";
      if (c1) ++i;
    } else {
      out.push_back(name[i]);
    }
  }
  return out;
}

bool IsFileNameParameter(std::string_view param) {
  return ascii::EqualsIgnoreCase(param, "filename") || ascii::EqualsIgnoreCase(param, "name");
}

// The attributes computed from the header, which cannot be stored.
bool IsComputedAttribute(std::string_view att) {
  return att == "normalized-subject" || att == "filename" || att == "generated-filename" ||
         att == "priority";
}

}  // namespace

Status Message::GetProp(BodyHandle h, std::string_view name, std::string* value) const {
  value->clear();
  const Body* b = impl_->bodies.Get(h);
  if (!b) return Status::kInvalidHandle;
  if (ascii::StartsWithIgnoreCase(name, "par:")) {
    std::string_view field, param;
    if (!SplitParameterName(name, &field, &param)) return Status::kInvalidArg;
    bool found = false;
    const std::string charset = DeclaredCharset(b);
    const StructuredValue sv = StructuredValue::Parse(b->header.Get(field, &found), charset);
    const std::string* p = found ? sv.Param(param) : nullptr;
    StructuredValue ct;
    std::string uuencoded;
    if (!p && ascii::EqualsIgnoreCase(field, "content-disposition") && ascii::EqualsIgnoreCase(param, "filename")) {
      ct = StructuredValue::Parse(b->header.Get("Content-Type"), charset);
      p = ct.Param("name");  // many mailers name attachments only in Content-Type
      if (!p && !(uuencoded = b->UuencodedName()).empty()) p = &uuencoded;  // else the begin line names it
    }
    if (!p) return Status::kNotFound;
    *value = IsFileNameParameter(param) ? VisibleFileName(*p) : *p;
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
      *value = normalize_subject(decode_header_words(subject, DeclaredCharset(b)));
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
  *value = decode_header_words(raw, DeclaredCharset(b));
  return Status::kOk;
}

Status Message::SetProp(BodyHandle h, std::string_view name, std::string_view value) {
  Body* b = impl_->bodies.Get(h);
  if (!b) return Status::kInvalidHandle;
  if (ascii::StartsWithIgnoreCase(name, "par:")) {
    std::string_view field, param;
    if (!SplitParameterName(name, &field, &param)) return Status::kInvalidArg;
    if (!IsValidFieldName(field) || param.empty()) return Status::kInvalidArg;
    StructuredValue sv = StructuredValue::Parse(b->header.Get(field));
    if (sv.value().empty()) {
      if (ascii::EqualsIgnoreCase(field, "content-type")) sv.set_value(b->type + "/" + b->subtype);
      if (ascii::EqualsIgnoreCase(field, "content-disposition")) sv.set_value("attachment");
    }
    sv.SetParam(ascii::Lower(param), value);
    b->header.Set(field, sv.ToString(), true);
    b->RefreshType();
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
    if (IsComputedAttribute(att)) return Status::kReadOnly;
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
    if (to_multipart != b->IsMultipart() && !(to_multipart && b->IsEmpty())) {
      return Status::kInvalidArg;  // would orphan children or content
    }
    StructuredValue ct = b->ContentType();
    if (!given.params().empty()) {
      ct = given;
    } else {
      ct.set_value(v);
    }
    if (to_multipart && !ct.Param("boundary")) ct.SetParam("boundary", NewBoundary());
    b->header.Set("Content-Type", ct.ToString(), true);
    b->RefreshType();
    b->opaque = false;
    if (to_multipart && !b->IsMultipart()) b->structure_changed = true;
    return Status::kOk;
  }
  b->header.Set(name, value, false);
  b->RefreshType();
  return Status::kOk;
}

Status Message::DeleteProp(BodyHandle h, std::string_view name) {
  Body* b = impl_->bodies.Get(h);
  if (!b) return Status::kInvalidHandle;
  if (ascii::StartsWithIgnoreCase(name, "par:")) {
    std::string_view field, param;
    if (!SplitParameterName(name, &field, &param)) return Status::kInvalidArg;
    bool found = false;
    StructuredValue sv = StructuredValue::Parse(b->header.Get(field, &found));
    if (!found || !sv.RemoveParam(param)) return Status::kNotFound;
    if (ascii::EqualsIgnoreCase(param, "boundary") && b->IsMultipart()) return Status::kInvalidArg;
    b->header.Set(field, sv.ToString(), true);
    b->RefreshType();
    return Status::kOk;
  }
  if (ascii::StartsWithIgnoreCase(name, "att:")) {
    if (const char* field = PersistentAttributeField(name.substr(4))) return DeleteProp(h, field);
    auto& a = b->attributes;
    const auto it = std::find_if(a.begin(), a.end(),
                                 [&](const auto& p) { return ascii::EqualsIgnoreCase(p.first, name); });
    if (it == a.end()) return Status::kNotFound;
    a.erase(it);
    return Status::kOk;
  }
  if (!IsValidFieldName(name)) return Status::kInvalidArg;
  if (ascii::EqualsIgnoreCase(name, "Content-Type") && (b->IsMultipart() || b->IsContainer())) {
    return Status::kInvalidArg;
  }
  if (!b->header.Remove(name)) return Status::kNotFound;
  b->RefreshType();
  return Status::kOk;
}

std::vector<std::string> Message::PropertyNames(BodyHandle h) const {
  std::vector<std::string> out;
  const Body* b = impl_->bodies.Get(h);
  if (!b) return out;
  std::unordered_set<std::string> seen;  // keeps headers with many fields linear
  for (const auto& f : b->header.fields()) {
    if (seen.insert(ascii::Lower(f.name)).second) out.push_back(f.name);
  }
  for (const auto& a : b->attributes) out.push_back(a.first);
  return out;
}

std::string Message::DisplayName(BodyHandle h) const {
  const Body* b = impl_->bodies.Get(h);
  if (!b) return std::string();
  if (!b->display_name.empty()) return b->display_name;
  std::string name;
  if (GetProp(h, "par:content-disposition:filename", &name) == Status::kOk && !name.empty()) return name;
  if (b->IsContainer()) {
    const Body* inner = b->children[0];
    std::string subject =
        normalize_subject(decode_header_words(inner->header.Get("Subject"), DeclaredCharset(inner)));
    for (auto& c : subject) {
      if (std::strchr("\\/:*?\"<>|", c) || static_cast<unsigned char>(c) < 32) c = '_';
    }
    if (subject.size() > 200) subject.resize(200);
    return (subject.empty() ? std::string("attachment") : subject) + ".eml";
  }
  return "attachment" + ExtensionForType(b->type, b->subtype);
}

Status Message::SetDisplayName(BodyHandle h, std::string_view name) {
  Body* b = impl_->bodies.Get(h);
  if (!b) return Status::kInvalidHandle;
  b->display_name = std::string(name);
  return Status::kOk;
}

}  // namespace mimeengine
