// Media types for file names and file names for media types (private to the
// engine).
#pragma once

#include <string>
#include <string_view>

namespace mimeengine {

// The media type ("image/png") for a file name's extension (any case);
// "application/octet-stream" when the extension is unknown or missing.
std::string TypeForFile(std::string_view file_name);

// The usual extension, dot included, for a lower-case type and subtype;
// ".dat" when there is none.
std::string ExtensionForType(std::string_view type, std::string_view sub);

}  // namespace mimeengine
