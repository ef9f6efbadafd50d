#include "folder_path.h"

namespace mxstore {
namespace {

bool AllDigits(std::string_view s) {
  return !s.empty() && s.size() <= 10 && s.find_first_not_of("0123456789") == std::string_view::npos;
}

}  // namespace

FolderPath FolderPath::Parse(std::string_view text, LeadByteTest lead) {
  FolderPath path;
  if (text.size() > 1 && text[0] == '#' && AllDigits(text.substr(1))) {
    uint64_t id = std::stoull(std::string(text.substr(1)));
    if (id <= UINT32_MAX) {
      path.is_id_ = true;
      path.id_ = static_cast<uint32_t>(id);
      return path;
    }
  }
  std::string name;
  auto end_name = [&]() {
    if (!name.empty()) path.names_.push_back(std::move(name));
    name.clear();
  };
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (lead && lead(static_cast<unsigned char>(c)) && i + 1 < text.size()) {
      name.push_back(c);
      name.push_back(text[++i]);
    } else if (c == '\\' && i + 1 < text.size() &&
        (text[i + 1] == '/' || text[i + 1] == '\\' || text[i + 1] == '#')) {
      name.push_back(text[++i]);
    } else if (c == '/' || c == '\\') {
      end_name();
    } else {
      name.push_back(c);
    }
  }
  end_name();
  return path;
}

std::string FolderPath::Escape(std::string_view name, LeadByteTest lead) {
  std::string out;
  for (size_t i = 0; i < name.size(); ++i) {
    if (lead && lead(static_cast<unsigned char>(name[i])) && i + 1 < name.size()) {
      out.push_back(name[i]);
      out.push_back(name[++i]);
      continue;
    }
    if (name[i] == '/' || name[i] == '\\' || (i == 0 && name[i] == '#')) out.push_back('\\');
    out.push_back(name[i]);
  }
  return out;
}

bool FolderPath::is_bare_number() const { return names_.size() == 1 && AllDigits(names_[0]); }

}  // namespace mxstore
