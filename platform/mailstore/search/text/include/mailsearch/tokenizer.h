// Text analysis for the search index: words of UTF-8 text, case-folded, with their positions.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace mailsearch {

struct Token {
  std::string_view term;  // case-folded (Unicode full case folding), UTF-8; valid until the next Next()
  uint32_t position;      // word position, counting from the Reset() start position
};

// Words are runs of letters and digits (Unicode categories L*, N*, plus combining marks M*
// inside a word); everything else separates. Han/Hiragana/Katakana/Hangul runs give overlapping
// pairs of characters at consecutive positions ("ABC" -> "AB"@p, "BC"@p+1); a lone CJK
// character gives itself. Invalid UTF-8 bytes and lone surrogates separate words.
// Not thread-safe; one tokenizer per thread. The text given to Reset() must outlive the tokens.
class Tokenizer {
 public:
  // Starts over on |utf8| (not copied: it must stay valid while Next() is called).
  void Reset(std::string_view utf8, uint32_t first_position = 0);
  // Gives the next word in |token| and returns true, or returns false at the end of the text.
  bool Next(Token* token);
  // The position after the last token given (the Reset() position before the first).
  uint32_t next_position() const { return position_; }

 private:
  bool NextCjk(Token* token);

  const unsigned char* cur_ = nullptr;
  const unsigned char* end_ = nullptr;
  uint32_t position_ = 0;
  // A CJK run in progress: the start of the second character of the next pair.
  const unsigned char* cjk_next_ = nullptr;
  bool cjk_first_ = false;  // |cjk_next_| starts the run: alone, it is a token of its own
  std::string buffer_;  // the folded term; reused, so no allocation per token once it has grown
};

// Visible text of an HTML document (UTF-8 in, UTF-8 out): tags dropped, <script>/<style>
// contents and comments dropped, entities decoded (named, decimal, hex), block tags and <br>
// give a space so that words on either side stay apart. Never fails: bad markup is read as text.
std::string HtmlToText(std::string_view html);

// Case-folds a whole string with Unicode full case folding (used for Message-IDs and whole
// addresses). Invalid UTF-8 bytes are kept as they are.
std::string FoldCase(std::string_view utf8);

}  // namespace mailsearch
