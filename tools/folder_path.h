// A folder as the command line names it: "#7" is the folder with id 7;
// anything else is a path of names from the top, "/" between names
// ("Archive/2024"). Inside a name "\/" stands for "/", "\\" for "\" and
// "\#" for "#"; any other "\" separates names like "/". Plain C++17, no
// Windows dependency: text in a double-byte code page comes with a test of
// its lead bytes, and the byte after a lead byte is part of the character
// (the second byte of 表 in code page 932 is 0x5C), never a separator.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mxstore {

// True for a byte that opens a two-byte character in the text's code page.
using LeadByteTest = bool (*)(unsigned char);

class FolderPath {
 public:
  // Reads |text|. An empty path (or "/") names the top of the store.
  static FolderPath Parse(std::string_view text, LeadByteTest lead = nullptr);

  // |name| written so that Parse reads it back as one name.
  static std::string Escape(std::string_view name, LeadByteTest lead = nullptr);

  // True for "#" and 1 to 10 digits that fit 32 bits.
  bool is_id() const { return is_id_; }
  uint32_t id() const { return id_; }
  // The names from the top; empty for an id or for the top itself.
  const std::vector<std::string>& names() const { return names_; }
  // True when the path is one name made of digits alone: older versions
  // read such a path as an id, which the store client still does when no
  // top-level folder has that name.
  bool is_bare_number() const;

 private:
  bool is_id_ = false;
  uint32_t id_ = 0;
  std::vector<std::string> names_;
};

}  // namespace mxstore
