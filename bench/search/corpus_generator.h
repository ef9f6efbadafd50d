// CorpusGenerator: deterministic mail for the search bench. Words follow a Zipf law over a
// synthetic vocabulary (so there are common and rare words), people over a pool of names;
// bodies are plain text (UTF-8 or ISO-8859-1, 8bit or quoted-printable), text and HTML
// alternatives, attachments (base64, named) and CJK text in Shift_JIS, ISO-2022-JP, EUC-JP,
// GB2312 and EUC-KR, with encoded-word subjects.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace searchbench {

class CorpusGenerator {
 public:
  // |small|: shorter bodies (the million-message mode).
  CorpusGenerator(uint64_t seed, bool small);
  std::string Next();
  // The word of Zipf rank |rank| (0: the most common), as written in mail.
  static std::string Word(size_t rank);

 private:
  uint64_t Rand();
  size_t Range(size_t lo, size_t hi) { return lo + static_cast<size_t>(Rand() % (hi - lo + 1)); }
  size_t ZipfRank();
  std::string Person();
  std::string Text(size_t words, bool latin);
  std::string Cjk(size_t words, int language);

  uint64_t state_;
  bool small_;
  uint64_t serial_ = 0;
  std::vector<double> cumulative_;  // Zipf weights
};

}  // namespace searchbench
