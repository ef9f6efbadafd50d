#include "media_types.h"

#include "ascii.h"

namespace mimeengine {
namespace {

// Extension -> media type. The first extension of a type is the one
// ExtensionForType gives.
const ascii::NamePair kExtensionTypes[] = {
    {"txt", "text/plain"},        {"text", "text/plain"},       {"log", "text/plain"},
    {"htm", "text/html"},         {"html", "text/html"},        {"csv", "text/csv"},
    {"xml", "text/xml"},          {"css", "text/css"},          {"rtf", "application/rtf"},
    {"js", "application/javascript"}, {"json", "application/json"}, {"jpg", "image/jpeg"},
    {"jpeg", "image/jpeg"},       {"jpe", "image/jpeg"},        {"gif", "image/gif"},
    {"png", "image/png"},         {"bmp", "image/bmp"},         {"tif", "image/tiff"},
    {"tiff", "image/tiff"},       {"ico", "image/x-icon"},      {"svg", "image/svg+xml"},
    {"webp", "image/webp"},       {"pdf", "application/pdf"},   {"zip", "application/zip"},
    {"gz", "application/gzip"},   {"tar", "application/x-tar"}, {"7z", "application/x-7z-compressed"},
    {"doc", "application/msword"},
    {"docx", "application/vnd.openxmlformats-officedocument.wordprocessingml.document"},
    {"xls", "application/vnd.ms-excel"},
    {"xlsx", "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet"},
    {"ppt", "application/vnd.ms-powerpoint"},
    {"pptx", "application/vnd.openxmlformats-officedocument.presentationml.presentation"},
    {"eml", "message/rfc822"},    {"nws", "message/rfc822"},    {"mp3", "audio/mpeg"},
    {"wav", "audio/wav"},         {"mid", "audio/midi"},        {"mp4", "video/mp4"},
    {"mpg", "video/mpeg"},        {"mpeg", "video/mpeg"},       {"avi", "video/x-msvideo"},
    {"mov", "video/quicktime"},   {"vcf", "text/x-vcard"},      {"ics", "text/calendar"},
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
