#include "line_ends.h"

namespace mxstore {

bool LineEnds::UsesCrlf(std::string_view text) {
  size_t lf = text.find('\n');
  return lf != std::string_view::npos && lf > 0 && text[lf - 1] == '\r';
}

std::string LineEnds::ToCrlf(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 32);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out.push_back('\r');
    out.push_back(text[i]);
  }
  return out;
}

std::string LineEnds::ToLf(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out.push_back(text[i]);
  }
  return out;
}

std::string LineEnds::ForStore(std::string_view message) {
  return UsesCrlf(message) ? std::string(message) : ToCrlf(message);
}

}  // namespace mxstore
