#include "mailsearch/tokenizer.h"

namespace mailsearch {

void Tokenizer::Reset(std::string_view utf8, uint32_t first_position) {
  cur_ = reinterpret_cast<const unsigned char*>(utf8.data());
  end_ = cur_ + utf8.size();
  position_ = first_position;
  cjk_next_ = nullptr;
}

bool Tokenizer::Next(Token*) { return false; }
bool Tokenizer::NextCjk(Token*) { return false; }
std::string HtmlToText(std::string_view html) { return std::string(html); }
std::string FoldCase(std::string_view utf8) { return std::string(utf8); }

}  // namespace mailsearch
