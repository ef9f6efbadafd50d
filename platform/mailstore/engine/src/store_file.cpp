#include "store_file.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace mailstore {

std::vector<uint32_t> StoreFile::Generations(const std::string& directory, std::string (*name_of)(uint32_t)) {
  std::vector<uint32_t> found;
  for (const std::string& name : ListDirectory(directory)) {
    const size_t dot = name.find('.');
    uint32_t g = 0;
    if (name != name_of(0)) {
      if (dot == std::string::npos || !std::isdigit(static_cast<unsigned char>(name[dot + 1]))) continue;
      g = static_cast<uint32_t>(std::strtoul(name.c_str() + dot + 1, nullptr, 10));
    }
    if (name == name_of(g)) found.push_back(g);
  }
  std::sort(found.begin(), found.end());
  return found;
}

}  // namespace mailstore
