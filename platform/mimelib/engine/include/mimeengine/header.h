// An RFC 5322 header block: ordered fields whose raw text is kept so that an
// unchanged field is written back byte for byte. Lookups by name go through
// an index of lower-case names, so that headers with hundreds of thousands
// of fields stay linear to parse, walk and copy.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace mimeengine {

struct HeaderField {
  std::string name;       // as written, without the colon
  std::string raw_value;  // bytes after the colon, folding kept, no final line end
  bool changed = false;   // written in generated form on output
};

class Header {
 public:
  // Parses the header at the start of `text` and returns the offset of the
  // first body byte: just past the empty line that ends the header, or
  // text.size() when there is none. Folded lines are joined to their field.
  // A line that is not a field is skipped when a field follows it (a damaged
  // header line, or an mbox "From " line first); otherwise the header ends
  // there without an empty line and the body starts at that line, so no text
  // is lost. When the first line is not a field at all the header is empty
  // and the body starts at 0. Bare LF line ends are accepted. Never fails.
  static size_t Parse(std::string_view text, Header* out);

  // First field called `name` (case-insensitive), or nullptr. Constant time;
  // the pointer lasts until the next change to the header.
  const HeaderField* Find(std::string_view name) const;

  // The first `name` field's value unfolded and trimmed, still encoded;
  // empty when absent. `found` (optional) tells whether it exists.
  std::string Get(std::string_view name, bool* found = nullptr) const;

  // Replaces the first `name` field's value (dropping later ones) or appends
  // the field. `value` is the unencoded value; non-ASCII is encoded with
  // RFC 2047 words on output unless `raw` is set. Constant time unless later
  // `name` fields are dropped, which costs one pass over the header.
  void Set(std::string_view name, std::string_view value, bool raw = false);

  // Removes every `name` field; false when there was none. One pass over
  // the header when something is removed, constant time otherwise.
  bool Remove(std::string_view name);

  const std::vector<HeaderField>& fields() const { return fields_; }

  // For moving fields between bodies. Take removes the fields whose name
  // `match` accepts and returns them in order; Append adds a field at the
  // end. Both count as a change.
  std::vector<HeaderField> Take(bool (*match)(std::string_view name));
  void Append(HeaderField field);

  bool empty() const { return fields_.empty(); }

  // True once any field was set or removed since parsing.
  bool changed() const { return changed_; }

  // Appends the header block (fields and the empty line) with CRLF line ends;
  // unchanged fields keep their raw value text.
  void Serialize(std::string* out) const;

  // Unfolds a raw value: line breaks followed by blanks are removed, the
  // ends trimmed.
  static std::string Unfold(std::string_view raw);

 private:
  struct NameSlot {
    size_t first;  // index in fields_ of the first field of that name
    size_t count;  // how many fields have it
  };
  // Counts the last field in the index.
  void IndexLast();
  void Reindex();

  std::vector<HeaderField> fields_;
  std::unordered_map<std::string, NameSlot> index_;  // lower-case name -> its fields
  bool changed_ = false;
};

// A structured value such as Content-Type: "type/subtype; name=value; ...",
// with RFC 2231 continuations and charsets resolved. Names are lower case;
// values are UTF-8.
struct HeaderParam {
  std::string name;
  std::string value;
};

class StructuredValue {
 public:
  // Parses an unfolded value. Comments are dropped; encoded words in
  // quoted values are decoded, and raw 8-bit bytes read as decode_header_words
  // reads them with `fallback_charset`; never fails.
  static StructuredValue Parse(std::string_view unfolded, std::string_view fallback_charset = {});

  const std::string& value() const { return value_; }
  void set_value(std::string v) { value_ = std::move(v); }

  // Parameter by (case-insensitive) name, or nullptr.
  const std::string* Param(std::string_view name) const;
  void SetParam(std::string_view name, std::string_view value);
  bool RemoveParam(std::string_view name);
  const std::vector<HeaderParam>& params() const { return params_; }

  // The value in header form: quoted or RFC 2231-encoded parameters as needed.
  std::string ToString() const;

 private:
  std::string value_;
  std::vector<HeaderParam> params_;
};

}  // namespace mimeengine
