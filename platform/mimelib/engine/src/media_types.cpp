#include "media_types.h"

#include "ascii.h"

namespace mimeengine {
namespace {

// Extension -> media type. The first extension of a type is the one
// ExtensionForType gives.
const ascii::NamePair kExtensionTypes[] = {
#include "media_types.inc"
};

}  // namespace

std::string TypeForFile(std::string_view file_name) {
  const size_t dot = file_name.rfind('.');
  if (dot != std::string_view::npos) {
    if (const char* type = ascii::ValueOf(kExtensionTypes, ascii::Lower(file_name.substr(dot + 1)))) return type;
  }
  return "application/octet-stream";
}

std::string ExtensionForType(std::string_view type, std::string_view sub) {
  const std::string full = std::string(type) + "/" + std::string(sub);
  if (const char* ext = ascii::NameOf(kExtensionTypes, full)) return std::string(".") + ext;
  return ".dat";
}

}  // namespace mimeengine
